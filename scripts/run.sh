#!/usr/bin/env bash
# Builds everything and starts the setup program under Wine (extra arguments go to setup.exe).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash scripts/build.sh
display_args=()
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$top/scripts/wine.sh" "$top/build/win/setup.exe" "$@"
fi
exec "$top/scripts/wine.sh" "$top/build/win/setup.exe" "$@"
