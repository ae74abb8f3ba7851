#!/usr/bin/env bash
# A DLL planted under system names beside a downloaded setup.exe never runs: not in a silent install, not
# while the wizard is up. Names the platform loads before the program's first instruction (seen under a
# control program with the same imports and the same start-up restriction) are not the installer's doing.
source "$(dirname "$0")/lib.sh"
new_prefix

# Not version, shlwapi or imm32: Wine's own shell32 and user32 import them before the program's first
# instruction, and a copy without their exports aborts the process there.
NAMES=(uxtheme msimg32 comctl32 riched20 riched32 shfolder dwmapi propsys profapi cryptbase userenv wintrust
  oleacc winmm secur32 netapi32 mpr oleaut32 comdlg32 winspool.drv sxs apphelp)
DOWNLOADS='C:\Downloads'
dl=$(unix_path "$DOWNLOADS")
mkdir -p "$dl" "$PREFIX/drive_c/plant"
cp "$SETUP_EXE" "$BUILD_DIR/plant_control.exe" "$dl/"
overrides=()
for name in "${NAMES[@]}"; do
  file=$name
  [[ $file == *.* ]] || file=$name.dll
  cp "$BUILD_DIR/planted.dll" "$dl/$file"
  overrides+=("$name")
done
# Native first for every planted name, as Windows loads any library outside its known list.
export WINEDLLOVERRIDES="$(IFS=,; echo "${overrides[*]}")=n,b;winedbg.exe=d;winemenubuilder.exe=d;mscoree=d;mshtml=d"

# Runs a program from the downloads folder (also the current folder) with its own log.
run_planted() {  # log program args...
  local log=$1 program=$2
  shift 2
  (cd "$dl" && QV_PLANT_LOG="C:\\plant\\$log" wine "$DOWNLOADS\\$program" "$@") || true
}

# Lower-case file names of the planted copies that ran, one a line, sorted.
ran() {
  local f=$PREFIX/drive_c/plant/$1
  [ -f "$f" ] || return 0
  tr -d '\r' <"$f" | sed 's|.*\\||' | tr 'A-Z' 'a-z' | LC_ALL=C sort -u
}

# The planted DLL does run when a program loads a system name without the restriction.
run_planted proof.log plant_control.exe plain
grep -qx uxtheme.dll <(ran proof.log) || fail "the planted uxtheme.dll did not run under a bare-name load"

run_planted control.log plant_control.exe
echo "loaded before the first instruction: $(ran control.log | tr '\n' ' ')"

run_planted silent.log setup.exe /S '/D=C:\Target'
[ -e "$PREFIX/drive_c/Target" ] || fail "the silent install did not run"

# The wizard: wait for its window (or for a run without one to end), let it sit, then end it.
(cd "$dl" && QV_PLANT_LOG='C:\plant\wizard.log' exec wine "$DOWNLOADS\\setup.exe") &
SETUP_PID=$!
BACKGROUND_PIDS+=("$SETUP_PID")
window=no
for _ in $(seq 1 120); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Quorvale Word Processor - Setup"'; then window=yes; break; fi
  kill -0 "$SETUP_PID" 2>/dev/null || break
  sleep 0.5
done
if [ "$window" == yes ]; then
  sleep 4
  snap wizard
fi
echo "wizard window: $window"
wineserver -k 2>/dev/null || true
wait "$SETUP_PID" 2>/dev/null || true
wineserver -p 60

control=$(ran control.log)
for run in silent wizard; do
  extra=$(comm -23 <(ran "$run.log") <(printf '%s\n' "$control" | grep -v '^$' || true))
  [ -z "$extra" ] || fail "planted DLLs ran under setup.exe ($run): $(tr '\n' ' ' <<<"$extra")"
done
echo "PASS [$TEST_NAME]"
