#!/usr/bin/env bash
# Builds everything, lists the payload embedded in setup.exe, then starts setup.exe under Wine
# (extra arguments go to setup.exe, e.g. -S for a silent install or -DC:\Apps\Quorvale).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
if [ -z "${QV_RUN_INSIDE_DISPLAY:-}" ]; then
  bash scripts/build.sh
  if [ -z "${DISPLAY:-}" ]; then
    QV_RUN_INSIDE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
  fi
fi
# A prefix of its own, so that trying the installer leaves the tests' prefix untouched.
export WINEPREFIX="$top/build/runprefix"
bash "$top/scripts/wineprefix.sh" "$WINEPREFIX"
"$top/scripts/wine.sh" "$top/build/win/listpayload.exe" "$top/build/win/setup.exe"
set +e
"$top/scripts/wine.sh" "$top/build/win/setup.exe" "$@"
rc=$?
echo "setup.exe exit code: $rc"
exit $rc
