#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/*_fuzz.cpp, with clang) in build/fuzz and runs each for SECONDS on its
# seeds in fuzz/seeds/<name>/. New inputs go to a scratch corpus under the build folder, so the seeds in the
# tree stay as they are. Exits non-zero when any target finds a crash, a leak or a hang; the input that did it
# is kept as build/fuzz/findings/<name>-*.
# Usage: bash scripts/fuzz.sh SECONDS    (FUZZ_BUILD_DIR=... builds elsewhere)
set -euo pipefail
secs=${1:?usage: fuzz.sh SECONDS}
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
out=${FUZZ_BUILD_DIR:-build/fuzz}
cmake -S . -B "$out" -G Ninja -DQV_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$out" -j "$(nproc)" >/dev/null
mkdir -p "$out/findings"
failed=()
for src in fuzz/*_fuzz.cpp; do
  target=$(basename "$src" .cpp)
  name=${target%_fuzz}
  corpus="$out/corpus/$name"
  mkdir -p "$corpus" "fuzz/seeds/$name"
  log="$out/$name.log"
  # -timeout: one input that takes this long is a hang; the scratch corpus comes first, so it gets the new inputs.
  if "$out/$target" -max_total_time="$secs" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$out/findings/$name-" "$corpus" "fuzz/seeds/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $name: ${runs:-?} runs in ${secs}s, nothing found"
  else
    echo "fuzz: $name: FOUND A FAULT (log $log)"
    grep -m 8 -E '^(==[0-9]+==ERROR|SUMMARY|Test unit written|.*deadly signal)' "$log" || tail -n 20 "$log"
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: faults found by: ${failed[*]}"
  exit 1
fi
