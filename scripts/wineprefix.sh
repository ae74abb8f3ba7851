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
# Windows links its dialog font (Tahoma here) to Chinese faces for the characters it lacks, and Arial (which
# Wine draws with DejaVu Sans) to them as well; here both link to Debian's Chinese font, by its file name, the
# only form Wine resolves for a face it does not ship.
for face in Tahoma Arial "DejaVu Sans"; do
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" /t REG_MULTI_SZ \
    /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
done
wineserver -w || true
touch "$prefix/.booted"
