#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix (booted by scripts/build.sh).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"winemenubuilder.exe=d;mscoree=d;mshtml=d"}
export WINEARCH=win32
export LC_ALL=${LC_ALL:-C.UTF-8}
exec wine "$@"
