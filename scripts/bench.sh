#!/usr/bin/env bash
# Benchmarks that print figures (no pass or fail): the sizes of the shipped programs by section, silent
# installs timed beside a do-nothing GUI program with the same imports (Wine's own start-up, to subtract),
# the time to the wizard's first window, and the logo resampler's time per call. Builds what it needs.
#   bash scripts/bench.sh [ROUNDS]     (default 11 rounds)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
rounds=${1:-11}
bash scripts/build.sh >/dev/null
echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(wine --version)"

echo "== sizes (bytes)"
for f in build/win/setup.exe build/win/payload/qvw.exe; do
  printf '%-28s %9d\n' "$(basename "$f")" "$(stat -c %s "$f")"
  i686-w64-mingw32-size -A "$f" | awk 'NR > 2 && $2 > 0 && $1 != "Total" { printf "    %-24s %9d\n", $1, $2 }'
done
printf '%-28s %9d\n' "payload stream (zlib)" "$(stat -c %s build/win/payload.bin)"

# Rounds interleave the programs in one private prefix with a warm Wine server.
export WINEPREFIX="$top/build/benchprefix" WINEDEBUG=-all WINEARCH=win32 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
rm -rf "$WINEPREFIX"
cp -a build/wineprefix "$WINEPREFIX"
cat >"$WINEPREFIX/rounds.sh" <<EOF
set -e
wineserver -p 120
wine build/win/plant_control.exe >/dev/null 2>&1 || true  # warm-up
t() { local s=\$(date +%s.%N); "\$@" >/dev/null 2>&1 || true; echo "\$(date +%s.%N) - \$s" | bc; }
for i in \$(seq 1 $rounds); do
  echo "control \$(t wine build/win/plant_control.exe)"
  echo "setup \$(t wine build/win/setup.exe /S "/DC:\\\\bench\\\\\$i")"
  echo "window \$(wine build/win/wizdrv.exe 'Z:$top/build/benchprefix/firstwindow.txt' 'C:\\\\out.txt' >/dev/null 2>&1;
    tr -d '\\r' <"$WINEPREFIX/drive_c/out.txt" | sed -n 's/^firstwindow ms=//p')"
done
wineserver -k
EOF
printf 'run Z:%s\nfirstwindow\nclose\nbox\nanswer 6\nwait-exit\n' "${top//\//\\}\\build\\win\\setup.exe" \
  >"$WINEPREFIX/firstwindow.txt"
results=$(xvfb-run -a -s "-screen 0 1280x1024x24" bash "$WINEPREFIX/rounds.sh")
stats() {  # name: median, min and max of that series
  grep "^$1 " <<<"$results" | cut -d' ' -f2 | grep -v '^$' | sort -n |
    awk '{ v[NR] = $1 } END { if (NR) printf "%.3f (%.3f to %.3f, %d runs)", v[int((NR + 1) / 2)], v[1], v[NR], NR }'
}
median() { grep "^$1 " <<<"$results" | cut -d' ' -f2 | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "== silent install, seconds: median (min to max)"
echo "do-nothing GUI program   $(stats control)"
echo "setup.exe /S             $(stats setup)"
echo "setup.exe beyond start-up $(echo "$(median setup) - $(median control)" | bc) s"
echo "== wizard: process start to its first window with every control, ms: $(stats window)"
if command -v makensis >/dev/null; then
  echo "== NSIS: makensis is installed, but no NSIS script of the payload is part of this benchmark yet"
else
  echo "== NSIS: makensis not installed; no NSIS rounds"
fi
rm -rf "$WINEPREFIX"

# Optimised as the program is, in a build folder of its own.
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target bench_resample >/dev/null
echo "== ResampleRows on the 120x260 logo (sharpened, as every paint does)"
build/bench/bench_resample
