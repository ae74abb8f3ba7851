#!/usr/bin/env bash
# Boots a 32-bit Wine prefix once; later calls return at once. Safe when several builds call it together.
set -euo pipefail
prefix=$(realpath -m "$1")
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.booted" ] && exit 0
rm -rf "$prefix"
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
xvfb-run -a wineboot -i >/dev/null 2>&1 || true
wineserver -w || true
[ -f "$prefix/system.reg" ] || { echo "wineprefix: boot failed" >&2; exit 1; }
touch "$prefix/.booted"
