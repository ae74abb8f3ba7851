#!/usr/bin/env bash
# The uninstall entry's command, "qvw.exe -ui": refuses while the word processor runs; removes the program
# files, the shortcuts, the uninstall entry and the remembered settings; keeps what the user changed or saved
# and names it; never touches what a hostile Install.log names outside the installation; the program folder
# goes at the end when nothing is left in it. The confirmation and closing boxes in three languages.
source "$(dirname "$0")/lib.sh"
new_prefix
install_folders
MAIN='C:\QV'
QVW="$MAIN\\qvw.exe"
uninstall() {  # args; prints the exit code
  local rc=0
  wine "$QVW" -ui "$@" || rc=$?
  echo "$rc"
}
entry_listed() { wine uninstaller --list 2>/dev/null | grep -c "Quorvale Word Processor" || true; }
program_tree() { (cd "$(unix_path "$MAIN")" 2>/dev/null && find . | LC_ALL=C sort) || true; }
shortcut_folders
links() {
  local n=0 f
  for f in "$USER_PROGRAMS" "$USER_DESKTOP" "$COMMON_PROGRAMS" "$COMMON_DESKTOP"; do
    [ ! -e "$(unix_path "$f\\Quorvale Word Processor.lnk")" ] || n=$((n + 1))
  done
  echo "$n"
}

# The prefix as a person would compare it: every file and folder outside the Windows and temporary folders,
# the installed-programs list and this user's software keys.
snapshot() {
  (cd "$PREFIX/drive_c" && find . -path ./windows -prune -o -iname temp -prune -o -print | LC_ALL=C sort)
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null | tr -d '\r'
  wine reg query 'HKCU\Software' 2>/dev/null | tr -d '\r'
}
before=$(snapshot)

# A running word processor: 1 and nothing removed.
expect_eq "$(run_setup /S "/D$MAIN")" 0 "install"
expect_eq "$(entry_listed)" 1 "entry listed after the install"
[ "$(links)" -ge 1 ] || fail "no shortcuts after the install"
installed=$(snapshot)
start_word_processor
expect_eq "$(uninstall /S)" 1 "uninstall while the word processor runs"
stop_prefix_programs
expect_eq "$(snapshot)" "$installed" "the prefix after the refused uninstall"

# The system's own uninstall client runs the entry's command: after Yes, the prefix is as before the install.
wine uninstaller --remove "Quorvale Word Processor" &
BACKGROUND_PIDS+=("$!")
wait_box "confirm-en"
expect_eq "$BOX_TEXT" "Do you want to remove Quorvale Word Processor and all of its components?" "confirmation"
click_box yes
wait_box "closing-en"
click_box ok
for i in $(seq 1 50); do [ -e "$(unix_path "$MAIN")" ] || break; sleep 0.2; done
[ ! -e "$(unix_path "$MAIN")" ] || fail "program folder left: $(program_tree | tr '\n' ' ')"
expect_eq "$(links)" 0 "shortcuts after the uninstall"
expect_eq "$(entry_listed)" 0 "entry listed after the uninstall"
diff <(echo "$before") <(snapshot) >&2 || fail "the prefix differs from before the installation"

# The user's work stays and is named: a changed licence file, a changed template and a saved document; the
# rest goes, silently with 0.
expect_eq "$(run_setup /S "/D$MAIN")" 0 "second install"
sleep 3
TEMPLATE=$(find "$(unix_path "$PUBLIC\\Templates")" -type f | head -1)
[ -n "$TEMPLATE" ] || fail "no template installed"
echo "my notes" >>"$(unix_path "$MAIN\\License.txt")"
echo "changed" >>"$TEMPLATE"
echo "{\\rtf1 letter}" >"$(unix_path "$MAIN\\Letter.rtf")"
wine "$QVW" -ui &
BACKGROUND_PIDS+=("$!")
wait_box "confirm-again"
click_box yes
wait_box "closing-kept"
[[ $BOX_TEXT == *'C:\QV\License.txt'* ]] || fail "the closing box does not name the changed file: $BOX_TEXT"
[[ $BOX_TEXT == *"$(basename "$TEMPLATE")"* ]] || fail "the closing box does not name the changed template: $BOX_TEXT"
click_box ok
sleep 2
expect_file "$MAIN\\License.txt"
expect_file "$MAIN\\Letter.rtf"
[ -f "$TEMPLATE" ] || fail "the changed template was removed"
expect_no_file "$QVW"
expect_eq "$(entry_listed)" 0 "entry after an uninstall that kept the user's files"

# A listed file that cannot be removed: 2, the rest goes, the entry stays for a second try, which finishes.
expect_eq "$(run_setup /S "/D$MAIN")" 0 "install before the locked file"
lock_file "$MAIN\\License.txt"
expect_eq "$(uninstall /S)" 2 "silent uninstall with a locked file"
expect_file "$MAIN\\License.txt"
expect_eq "$(links)" 0 "shortcuts after the failed uninstall"
expect_eq "$(entry_listed)" 1 "entry after the failed uninstall"
release_lock
expect_eq "$(uninstall /S)" 0 "second try"
expect_eq "$(entry_listed)" 0 "entry after the second try"
expect_no_file "$MAIN\\License.txt"

# A hostile log: nothing outside the installation goes, and the closing box says so (German, then French).
for lang in de fr; do
  expect_eq "$(run_setup /S "/D$MAIN")" 0 "install ($lang)"
  wine reg add "HKCU\\$INSTALL_KEY" /v UILANG /d "$lang" /f >/dev/null 2>&1
  echo keep >"$(unix_path 'C:\victim.txt')"
  printf 'File Copy: C:\\victim.txt\r\nFile Copy: C:\\QV\\..\\victim.txt\r\nFile Copy: C:\\windows\\win.ini\r\nMade Dir: C:\\windows\\\r\nFile Copy: C:\\QV\\qvw.exe\r\n' \
    >"$(unix_path "$MAIN\\Install.log")"
  wine "$QVW" -ui &
  BACKGROUND_PIDS+=("$!")
  wait_box "confirm-$lang"
  [[ $BOX_TEXT != *"Do you want"* ]] || fail "confirmation not in $lang"
  click_box yes
  wait_box "closing-$lang"
  [[ $BOX_TEXT == *Install.log* ]] || fail "the closing box does not mention the log ($lang): $BOX_TEXT"
  click_box ok
  sleep 2
  expect_file 'C:\victim.txt'
  expect_file 'C:\windows\win.ini'
done

# A log that does not record the installation (empty, binary, missing, not naming the program itself, naming
# only places outside): nothing goes, 2, and the box says why; the entry stays for an uninstall after a
# reinstallation.
expect_eq "$(run_setup /S "/D$MAIN")" 0 "install before the unusable logs"
LOG=$(unix_path "$MAIN\\Install.log")
for kind in empty binary missing no-program outside; do
  case $kind in
    empty) : >"$LOG" ;;
    no-program) printf 'Made Dir: C:\\QV\\\r\nMade Dir: %s\r\nFile Copy: C:\\QV\\License.txt\r\n' "$SHARED" >"$LOG" ;;
    outside) printf 'File Copy: C:\\victim.txt\r\nMade Dir: C:\\windows\\\r\n' >"$LOG" ;;
    binary) { printf 'File Copy: C:\\QV\\License.txt\0\r\n'; head -c 4096 /dev/urandom | tr -d '\n'; } >"$LOG" ;;
    missing) rm -f "$LOG" ;;
  esac
  state=$(snapshot)
  expect_eq "$(uninstall /S)" 2 "silent uninstall with a $kind Install.log"
  expect_eq "$(snapshot)" "$state" "the prefix after an uninstall with a $kind Install.log"
done
wine "$QVW" -ui &
BACKGROUND_PIDS+=("$!")
wait_box "confirm-no-log"
click_box yes
wait_box "closing-no-log"
[[ $BOX_TEXT == *"Install.log"*"nothing was removed"* ]] || fail "the box does not say why nothing went: $BOX_TEXT"
click_box ok
expect_file "$QVW"
expect_eq "$(entry_listed)" 1 "entry after an uninstall without a log"
echo "PASS [$TEST_NAME]"
