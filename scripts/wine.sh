#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix (booted by scripts/build.sh).
# Output goes through a file: Wine's helper processes (services, desktop) outlive the program and would
# otherwise hold the caller's pipe open, so ctest would wait for them until its time-out.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/unitprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"winemenubuilder.exe=d;mscoree=d;mshtml=d"}
export WINEARCH=win32
export LC_ALL=${LC_ALL:-C.UTF-8}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
exit $rc
