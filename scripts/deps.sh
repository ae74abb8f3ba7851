#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; fast when all are present.
set -euo pipefail
pkgs=(cmake ninja-build g++ make g++-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev
      zlib1g-dev googletest wine wine32:i386 xvfb xauth x11-utils imagemagick locales clang libclang-rt-14-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
elif [ -n "${need_update:-}" ]; then
  apt-get update -qq
fi
# The posix thread model gives std::thread and friends; pick it once.
if [ -x /usr/bin/i686-w64-mingw32-g++-posix ]; then
  update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-posix >/dev/null 2>&1 || true
  update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
fi
# Locales the tests run Wine under.
gen=0
for l in de_AT zh_TW zh_HK zh_CN ja_JP fr_FR en_US; do
  locale -a 2>/dev/null | grep -qi "^${l}\.utf-\?8$" || { localedef -i "$l" -f UTF-8 "$l.UTF-8" 2>/dev/null || true; }
done
exit 0
