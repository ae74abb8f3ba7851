#!/usr/bin/env bash
# Builds everything and runs every test (host tests, Windows unit tests and end-to-end tests under Wine).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash scripts/build.sh
# Every fuzz target a few seconds on its seeds, so that they keep building and the seeds stay harmless.
bash scripts/fuzz.sh 5
export WINEPREFIX="$top/build/unitprefix"
export QV_TEST_TIMEOUT=600
# One display and one Wine server for the whole run.
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  WINEDEBUG=-all wineserver -p 60 || true
  cd build/win && ctest --output-on-failure -j 2 --timeout $QV_TEST_TIMEOUT; rc=$?
  wineserver -k 2>/dev/null || true
  exit $rc'
