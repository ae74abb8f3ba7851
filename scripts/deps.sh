#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; fast when all are present.
set -euo pipefail
pkgs=(cmake ninja-build g++ make g++-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev
      zlib1g-dev libzopfli-dev googletest wine wine32:i386 xvfb xauth x11-utils imagemagick locales clang libclang-rt-14-dev
      fonts-wqy-microhei)  # the last so that Chinese captions in screenshots are legible
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
# Some kernels run no 32-bit code (Exec format error): then Wine's i386 processes run through qemu's user-mode
# emulation, registered for i386 programs here (the F flag keeps the interpreter open across chroots).
# qemu before 8 ignores MAP_FIXED_NOREPLACE, and Wine's start-up then probes the address space 64 KB at a
# time: 40 s of processor time for every Wine process. Newer qemu comes from the release's backports.
qemu_major() { /usr/bin/qemu-i386 --version 2>/dev/null | sed -n '1s/.*version \([0-9]*\).*/\1/p'; }
binfmt=/proc/sys/fs/binfmt_misc
mountpoint -q $binfmt || mount -t binfmt_misc binfmt_misc $binfmt 2>/dev/null || true
if [ -e $binfmt/qemu-i386 ] || ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  if [ "$(qemu_major)" = "" ] || [ "$(qemu_major)" -lt 8 ]; then
    echo "deps: this kernel runs no 32-bit programs; installing qemu-user from backports"
    . /etc/os-release
    echo "deb http://deb.debian.org/debian ${VERSION_CODENAME}-backports main" \
      >/etc/apt/sources.list.d/qv-backports.list
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      -t "${VERSION_CODENAME}-backports" qemu-user >/dev/null
    installed=1
  fi
  # Register again unless the entry already holds the installed file (F keeps the file it opened).
  if [ -e $binfmt/qemu-i386 ] && [ -z "${installed:-}" ] \
     && grep -qx 'interpreter /usr/bin/qemu-i386' $binfmt/qemu-i386; then
    echo 1 >$binfmt/qemu-i386
  else
    [ -e $binfmt/qemu-i386 ] && echo -1 >$binfmt/qemu-i386
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      >$binfmt/register
  fi
  /usr/lib/wine/wineserver32 --version >/dev/null 2>&1 || { echo "deps: cannot run 32-bit Wine" >&2; exit 1; }
fi
# Locales the tests run Wine under.
gen=0
for l in de_AT zh_TW zh_HK zh_CN ja_JP fr_FR en_US; do
  locale -a 2>/dev/null | grep -qi "^${l}\.utf-\?8$" || { localedef -i "$l" -f UTF-8 "$l.UTF-8" 2>/dev/null || true; }
done
exit 0
