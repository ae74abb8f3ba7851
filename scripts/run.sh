#!/usr/bin/env bash
# Builds everything, then runs setup.exe under Wine.
#   With a display (DISPLAY set): the wizard in a window, in the prefix build/runprefix (kept between runs).
#   Without one, or with --silent first: a silent install into a throwaway prefix, then a short report of what
#   was installed (files, registry values, shortcuts) and the exit code.
# Further arguments go to setup.exe (e.g. -DC:\Apps\Quorvale).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
silent=
if [ "${1:-}" == "--silent" ]; then
  silent=1
  shift
fi
[ -n "${DISPLAY:-}" ] || silent=1
if [ -z "${QV_RUN_BUILT:-}" ]; then
  bash scripts/build.sh
fi
export WINEDEBUG=-all WINEARCH=win32 LC_ALL=${LC_ALL:-C.UTF-8}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

if [ -z "$silent" ]; then
  export WINEPREFIX="$top/build/runprefix"
  bash scripts/wineprefix.sh "$WINEPREFIX"
  set +e
  bash scripts/wine.sh build/win/setup.exe "$@"
  rc=$?
  echo "setup.exe exit code: $rc"
  exit $rc
fi

if [ -z "${QV_RUN_INSIDE_DISPLAY:-}" ]; then
  QV_RUN_BUILT=1 QV_RUN_INSIDE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --silent "$@"
fi
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/qv-run.XXXXXX")
export WINEPREFIX
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
cp -a build/wineprefix/. "$WINEPREFIX"/
probe() { wine build/win/probe.exe "$@" 2>/dev/null | tr -d '\r'; }
set +e
wine build/win/setup.exe /S "$@"
rc=$?
set -e
echo "== setup.exe /S $* : exit code $rc"
main=$(probe reg HKCU 'Software\Quorvale Word Processor\Install' | awk -F'\t' '$1 == "MAINDIR" {print $5}')
echo "== remembered settings (HKCU\\Software\\Quorvale Word Processor\\Install)"
probe reg HKCU 'Software\Quorvale Word Processor\Install' | cut -f1,2,5 || true
echo "== uninstall entry (HKLM\\...\\Uninstall\\Quorvale Word Processor)"
probe reg HKLM 'Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvale Word Processor' | cut -f1,2,5 || true
if [ -n "$main" ]; then
  echo "== program folder $main"
  probe tree "$main" | cut -f1-3
  log="$WINEPREFIX/drive_$(tr 'A-Z' 'a-z' <<<"${main:0:1}")$(tr '\\' / <<<"${main:2}")/Install.log"
  [ -f "$log" ] && log_lines=$(wc -l <"$log") || log_lines=0
  echo "   Install.log: $log_lines lines"
fi
folders=$(probe folder 35 23 25)
shared="$(sed -n 1p <<<"$folders")\\Quorvale"
echo "== shared data $shared: $(probe tree "$shared" | wc -l) files"
for dir in "$(sed -n 2p <<<"$folders")" "$(sed -n 3p <<<"$folders")"; do
  for link in "$WINEPREFIX/drive_c$(tr '\\' / <<<"${dir:2}")"/*.lnk; do
    [ -e "$link" ] || continue
    name="$dir\\$(basename "$link")"
    echo "== shortcut ${name//\//\\}"
    probe lnk "${name//\//\\}" | sed 's/^/   /'
  done
done
exit $rc
