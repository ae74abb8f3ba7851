# Shared by the end-to-end tests (sourced): a fresh copy of the booted Wine prefix per test, the installer
# and the probe run inside it, paths between Windows and the prefix, the payload manifest and assertions.
# Needs SOURCE_DIR and BUILD_DIR (set by CTest); runs itself under an Xvfb display of its own, so that the
# windows, message boxes, focus and screenshots of tests running side by side never mix.
set -euo pipefail

: "${SOURCE_DIR:?SOURCE_DIR must name the source tree}"
: "${BUILD_DIR:?BUILD_DIR must name the Windows build}"
if [ -z "${QV_E2E_OWN_DISPLAY:-}" ]; then
  QV_E2E_OWN_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

SETUP_EXE=$BUILD_DIR/setup.exe
PROBE_EXE=$BUILD_DIR/probe.exe
QVW_EXE=$BUILD_DIR/payload/qvw.exe
MANIFEST=$SOURCE_DIR/payload/manifest.txt
PAYLOAD_FILES=$SOURCE_DIR/payload/files
ARTIFACTS=$BUILD_DIR/artifacts
BASE_PREFIX=$SOURCE_DIR/build/wineprefix
TEST_NAME=$(basename "$0" .sh)

export WINEDEBUG=-all WINEARCH=win32 LC_ALL=C.UTF-8
# Local times away from UTC, so that a missing local/UTC step shows; a zone without daylight saving, so that
# times the tests set from the host mean the same local time to Wine, which converts with today's offset.
export TZ=${QV_E2E_TZ:-Asia/Kolkata}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

INSTALL_KEY='Software\Quorvale Word Processor\Install'
UNINSTALL_KEY='Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvale Word Processor'

PREFIX=
BACKGROUND_PIDS=()

fail() {
  echo "FAIL [$TEST_NAME]: $*" >&2
  exit 1
}

expect_eq() {  # actual expected message
  [ "$1" == "$2" ] || fail "$3: expected [$2], got [$1]"
}

cleanup() {
  local pid
  for pid in "${BACKGROUND_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ -n "$PREFIX" ]; then
    WINEPREFIX=$PREFIX wineserver -k 2>/dev/null || true
    rm -rf "$PREFIX"
  fi
}

# A private copy of the booted prefix; the user's shell folders become real folders in it (the booted
# prefix links them to the host's home, which the tests must not touch).
new_prefix() {
  [ -f "$BASE_PREFIX/.booted" ] || fail "no booted Wine prefix at $BASE_PREFIX (run scripts/build.sh)"
  PREFIX=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
  trap cleanup EXIT
  cp -a "$BASE_PREFIX"/{dosdevices,drive_c,system.reg,user.reg,userdef.reg,.update-timestamp,.booted} "$PREFIX/"
  local link
  for link in "$PREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
  done
  export WINEPREFIX=$PREFIX
  # One server for the test's many short runs.
  wineserver -p 60
  mkdir -p "$ARTIFACTS"
}

# C:\a\b -> the file in the prefix.
unix_path() {
  local p=${1//\\//}
  local drive=${p:0:1}
  echo "$PREFIX/drive_${drive,,}${p:2}"
}

probe() { wine "$PROBE_EXE" "$@"; }

# Runs the installer to its end; prints its exit code.
run_setup() {
  local rc=0
  wine "$SETUP_EXE" "$@" || rc=$?
  echo "$rc"
}

# Starts the installer in the background; SETUP_PID names it.
start_setup() {
  wine "$SETUP_EXE" "$@" &
  SETUP_PID=$!
  BACKGROUND_PIDS+=("$SETUP_PID")
}

# Waits for the background installer (not in a subshell: it must be this shell's child); SETUP_RC is its
# exit code. Fails after a timeout.
wait_setup() {
  local i
  for i in $(seq 1 300); do
    if ! kill -0 "$SETUP_PID" 2>/dev/null; then
      SETUP_RC=0
      wait "$SETUP_PID" || SETUP_RC=$?
      return 0
    fi
    sleep 0.1
  done
  fail "setup.exe did not end"
}

# Starts the stand-in word processor and waits for its window.
start_word_processor() {
  wine "$QVW_EXE" "$@" &
  BACKGROUND_PIDS+=("$!")
  probe waitprop 30 >/dev/null || fail "qvw.exe did not open its window"
}

# Ends every program running in the test's prefix (the word processor, say), then starts a new server.
stop_prefix_programs() {
  wineserver -k 2>/dev/null || true
  wineserver -p 60
}

# Screenshot of the virtual screen into the artifacts; optional.
snap() { import -window root "$ARTIFACTS/$TEST_NAME-$1.png" 2>/dev/null || true; }

# Waits for a message box; sets BOX_CAPTION and BOX_TEXT.
wait_box() {
  local out
  out=$(probe waitbox 30) || fail "no message box appeared ($1)"
  BOX_CAPTION=$(sed -n 's/^caption=//p' <<<"$out")
  BOX_TEXT=$(sed -n '/^text=/,$p' <<<"$out" | sed '1s/^text=//')
  snap "$1"
}

click_box() { probe click "$1" 30 >/dev/null || fail "could not click $1"; }

# Fails when a message box is open.
expect_no_box() {
  if probe waitbox 0 >/dev/null; then fail "unexpected message box: $1"; fi
}

# ---- payload ----

# Manifest lines as "time TAB name", in archive order.
manifest_entries() { grep -v '^#' "$MANIFEST" | grep -v '^$'; }

# The source of an entry's bytes.
payload_source() {
  if [ "$1" == "qvw.exe" ]; then echo "$QVW_EXE"; else echo "$PAYLOAD_FILES/${1//\\//}"; fi
}

# Loads "probe tree" of a Windows folder into the associative array TREE (relative path -> size TAB time).
declare -A TREE
load_tree() {
  TREE=()
  local rel size time
  while IFS=$'\t' read -r rel size time; do
    TREE[$rel]="$size"$'\t'"$time"
  done < <(probe tree "$1")
}

# Every payload entry is installed with the entry's bytes and stored time: the program and the licence in
# the first folder, the templates and the clip library in the second.
expect_payload() {
  local main=$1 public=$2 count=0 time name folder rel
  declare -A main_tree public_tree
  load_tree "$main"
  for rel in "${!TREE[@]}"; do main_tree[$rel]=${TREE[$rel]}; done
  load_tree "$public"
  for rel in "${!TREE[@]}"; do public_tree[$rel]=${TREE[$rel]}; done
  while IFS=$'\t' read -r time name; do
    if [ "$name" == "qvw.exe" ] || [ "$name" == "License.txt" ]; then
      folder=$main
      [ -n "${main_tree[$name]:-}" ] || fail "$name missing from $main"
      expect_eq "${main_tree[$name]#*$'\t'}" "$time" "time of $name"
    else
      folder=$public
      [ -n "${public_tree[$name]:-}" ] || fail "$name missing from $public"
      expect_eq "${public_tree[$name]#*$'\t'}" "$time" "time of $name"
    fi
    cmp -s "$(payload_source "$name")" "$(unix_path "$folder\\$name")" || fail "content of $folder\\$name"
    count=$((count + 1))
  done < <(manifest_entries)
  expect_eq "$count" 100 "payload entries checked"
}

# ---- files and registry ----

# A file's lines without the CR of CR LF.
file_lines() { tr -d '\r' <"$(unix_path "$1")"; }

expect_file() { [ -f "$(unix_path "$1")" ] || fail "missing file $1"; }
expect_no_file() { [ ! -e "$(unix_path "$1")" ] || fail "unexpected $1"; }

# "probe reg" output of a key, or "nokey".
reg_dump() { probe reg "$1" "$2" || true; }

# The line of one value in a reg_dump: name TAB type TAB wide size TAB ANSI size TAB data.
reg_value() { grep -P "^\Q$2\E\t" <<<"$1" || true; }

# Shortcut fields as "probe lnk" prints them.
expect_shortcut() {  # link target workdir description
  local out
  out=$(probe lnk "$1") || fail "cannot read shortcut $1"
  expect_eq "$(sed -n 's/^target=//p' <<<"$out")" "$2" "target of $1"
  expect_eq "$(sed -n 's/^workdir=//p' <<<"$out")" "$3" "working folder of $1"
  expect_eq "$(sed -n 's/^desc=//p' <<<"$out")" "$4" "description of $1"
  expect_eq "$(sed -n 's/^args=//p' <<<"$out")" "" "arguments of $1"
}

# The four shortcut folders of this prefix: per-user programs, per-user desktop, common programs, common desktop.
shortcut_folders() {
  local folders
  folders=$(probe folder 2 16 23 25)
  USER_PROGRAMS=$(sed -n 1p <<<"$folders")
  USER_DESKTOP=$(sed -n 2p <<<"$folders")
  COMMON_PROGRAMS=$(sed -n 3p <<<"$folders")
  COMMON_DESKTOP=$(sed -n 4p <<<"$folders")
}

# The program-files folder and the installer's shared data folders of this prefix.
install_folders() {
  local folders
  folders=$(probe folder 38 35)
  PROGRAM_FILES=$(sed -n 1p <<<"$folders")
  SHARED="$(sed -n 2p <<<"$folders")\\Quorvale"
  PUBLIC="$SHARED\\Public"
}

# Nothing of an installation into MAIN exists: no program or shared data folder, no remembered settings,
# no uninstall entry, no shortcut (needs shortcut_folders and install_folders).
expect_nothing_written() {
  [ ! -e "$(unix_path "$MAIN")" ] || fail "$1: the program folder was created"
  [ ! -e "$(unix_path "$SHARED")" ] || fail "$1: the shared data folder was created"
  expect_eq "$(reg_dump HKCU "$INSTALL_KEY")" "nokey" "$1: remembered settings"
  expect_eq "$(reg_dump HKLM "$UNINSTALL_KEY")" "nokey" "$1: uninstall entry"
  local folder
  for folder in "$USER_PROGRAMS" "$USER_DESKTOP" "$COMMON_PROGRAMS" "$COMMON_DESKTOP"; do
    expect_eq "$(find "$(unix_path "$folder")" -maxdepth 1 -name 'Quorvale*.lnk' | wc -l)" 0 "$1: shortcuts"
  done
}

# The value of one registry value as reg_dump prints it (the data field only).
reg_data() { reg_value "$(reg_dump "$1" "$2")" "$3" | cut -f5; }

DESCRIPTION_EN="Compact, fast-loading, but still powerful and efficient word processor"

# Holds a file open without sharing, so that the installer cannot write it, until release_lock.
LOCK_SERIAL=0
lock_file() {
  LOCK_SERIAL=$((LOCK_SERIAL + 1))
  LOCK_FLAG="C:\\release-$LOCK_SERIAL"
  local out="$PREFIX/lock-$LOCK_SERIAL.out" i
  wine "$PROBE_EXE" lock "$1" "$LOCK_FLAG" >"$out" &
  LOCK_PID=$!
  BACKGROUND_PIDS+=("$LOCK_PID")
  for i in $(seq 1 300); do
    grep -q '^locked' "$out" 2>/dev/null && return 0
    grep -q '^cannot lock' "$out" 2>/dev/null && fail "cannot lock $1"
    sleep 0.1
  done
  fail "lock on $1 not taken"
}

release_lock() {
  touch "$(unix_path "$LOCK_FLAG")"
  wait "$LOCK_PID" || fail "lock holder failed"
}

# ---- the wizard ----

WIZDRV_EXE=$BUILD_DIR/wizdrv.exe

# Runs the wizard driver (wizdrv.cpp) on the given command lines and prints what it saw. Screenshots it asks
# for are taken of the wizard's rectangle on the virtual screen and kept in the artifacts.
drive() {
  local dir=$PREFIX/drive_c/drive
  rm -rf "$dir"
  mkdir -p "$dir/shots"
  { echo 'shotdir C:\drive\shots'; printf '%s\n' "$@"; } >"$dir/script.txt"
  wine "$WIZDRV_EXE" 'C:\drive\script.txt' 'C:\drive\out.txt' &
  local pid=$! req name x y w h
  while kill -0 "$pid" 2>/dev/null; do
    for req in "$dir"/shots/*.req; do
      [ -e "$req" ] || continue
      name=$(basename "$req" .req)
      read -r x y w h <"$req"
      import -window root -crop "${w}x${h}+${x}+${y}" +repage "$ARTIFACTS/$TEST_NAME-$name.png" 2>/dev/null || true
      rm -f "$req"
      touch "$dir/shots/$name.done"
    done
    sleep 0.2
  done
  local rc=0
  wait "$pid" || rc=$?
  cat "$dir/out.txt" 2>/dev/null || true
  [ "$rc" -eq 0 ] || fail "wizard driver stopped with $rc: $(tail -4 "$dir/out.txt" 2>/dev/null | tr "\n" "|")"
}

# The value of key=... or key="..." on the driver's line that starts with `prefix`.
field() {  # output prefix key
  local line
  line=$(grep -m1 "^$2" <<<"$1") || fail "no line $2 in driver output"
  if [[ $line =~ (^|[[:space:]])$3=\"([^\"]*)\" ]]; then
    local value=${BASH_REMATCH[2]}
    echo "${value//\\x22/\"}"
  elif [[ $line =~ (^|[[:space:]])$3=([^[:space:]]*) ]]; then
    echo "${BASH_REMATCH[2]}"
  else
    fail "no $3 in: $line"
  fi
}

# Walks a started installer (start_setup) from the first page to the Ready page and presses Next there.
wizard_install() { drive attach "next-until 3" "click NextBtn" >/dev/null; }

# Cancels the wizard of a started installer, answering Yes to the quit question.
wizard_cancel() { drive attach "click CancelBtn" box "answer 6" >/dev/null; }
