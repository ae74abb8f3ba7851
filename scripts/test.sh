#!/usr/bin/env bash
# Builds everything and runs every test (host tests, Windows unit tests and end-to-end tests under Wine).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash scripts/build.sh
# Every fuzz target a few seconds on its seeds, so that they keep building and the seeds stay harmless.
bash scripts/fuzz.sh 5
export WINEPREFIX="$top/build/wineprefix"
timeout=300
if bash scripts/emulated.sh; then
  # Every 32-bit process is emulated here: each Wine start costs about a minute of processor time, so the
  # end-to-end tests (a fresh Wine session and dozens of processes each) skip themselves and the unit tests
  # get more time.
  echo "test: this kernel runs no 32-bit code; Wine runs under qemu's emulation, end-to-end tests are skipped"
  timeout=1800
fi
export QV_TEST_TIMEOUT=$timeout
# One display and one Wine server for the whole run.
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  WINEDEBUG=-all wineserver -p 60 || true
  cd build/win && ctest --output-on-failure -j 2 --timeout $QV_TEST_TIMEOUT; rc=$?
  wineserver -k 2>/dev/null || true
  exit $rc'
