#!/usr/bin/env bash
# Benchmarks that print figures: the logo resampler's time per call (native build; the Windows build runs
# the same code under Wine). Builds what it needs first.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
# Optimised as the program is (Release), in a build folder of its own.
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target bench_resample >/dev/null
echo "== ResampleRows on the 120x260 logo (sharpened, as every paint does)"
build/bench/bench_resample
