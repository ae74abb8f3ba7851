#!/usr/bin/env bash
# Silent runs go through the same wizard without showing it: every spelling of the switch, the destination
# switch with a new folder and bare; the Installing page on screen before the first file of an interactive
# installation; the quit question leaving nothing behind.
source "$(dirname "$0")/lib.sh"
new_prefix
install_folders
SETUP_WIN="Z:${SETUP_EXE//\//\\}"

# Runs setup.exe with the switches and fails when it shows any window; prints the exit code.
silent_run() {
  local out
  out=$(drive "run $SETUP_WIN $*" watch)
  grep -q '^window' <<<"$out" && fail "a window showed in the silent run $*: $out"
  field "$out" exit exit
}
expect_eq "$(silent_run '-s "-DC:\New Folder\Deep"')" 0 "-s with a new folder"
expect_payload 'C:\New Folder\Deep' "$PUBLIC"
expect_eq "$(silent_run '/Silent /D')" 0 "/Silent with a bare /D"
expect_file "$PROGRAM_FILES\\Quorvale\\qvw.exe"
expect_eq "$(silent_run '/S "/DC:\Third"')" 0 "/S"
expect_file 'C:\Third\License.txt'
# A program folder that cannot be written: exit code 2 and still no window.
mkdir -p "$(unix_path 'C:\Blocked\qvw.exe')"
expect_eq "$(silent_run '/S "/DC:\Blocked"')" 2 "/S into a folder that cannot be written"

# Interactively the Installing page is painted before the first file is written: the box about the blocked
# file shows over it, with the title in its navy ink on screen.
out=$(drive "run $SETUP_WIN \"/DC:\\Blocked\"" wait-form "next-until 3" "click NextBtn" "tag box" box state \
  "ink TopLbl 000080" "info IPanel" "shot installing" "answer 3" "tag end" wait-exit)
echo "$out"
expect_eq "$(field "$out" "box state" page)" 4 "page behind the error box"
expect_eq "$(field "$out" "box state" title)" "Installing" "title behind the error box"
expect_eq "$(field "$out" "box IPanel" visible)" 1 "installing panel"
[ "$(field "$out" "box ink" TopLbl)" -gt 20 ] || fail "the Installing title is not painted on screen"
expect_eq "$(field "$out" "end exit" exit)" 2 "exit code after Abort"

# Ignore skips the blocked file: the box closes, the window is painted again and the rest installs.
out=$(drive "run $SETUP_WIN \"/DC:\\Blocked\"" wait-form "next-until 3" "click NextBtn" box "answer 5" \
  "tag after" "wait-page 5" state "ink TopLbl 000080" "shot after-ignore" "check FinChkBx 0" "click NextBtn" wait-exit)
echo "$out"
expect_eq "$(field "$out" "after state" title)" "Installation Complete" "title after Ignore"
[ "$(field "$out" "after ink" TopLbl)" -gt 20 ] || fail "the window was not painted again after the box closed"
expect_file 'C:\Blocked\License.txt'

# Cancel and the close box ask the quit question; No stays, Yes leaves with nothing written.
rm -rf "$(unix_path 'C:\Blocked')"
MAIN='C:\Blocked'
before=$(reg_dump HKLM "$UNINSTALL_KEY")
out=$(drive "run $SETUP_WIN \"/D$MAIN\"" wait-form "next-until 3" "tag close" close box "answer 7" state \
  "tag cancel" "click CancelBtn" box "answer 6" "tag end" wait-exit)
echo "$out"
expect_eq "$(field "$out" "close state" page)" 3 "page after No"
expect_eq "$(field "$out" "close box" caption)" "Quorvale Word Processor - Setup" "quit question"
expect_eq "$(field "$out" "end exit" exit)" 0 "exit code after Yes"
[ ! -e "$(unix_path "$MAIN")" ] || fail "the cancelled wizard created the program folder"
expect_eq "$(reg_dump HKLM "$UNINSTALL_KEY")" "$before" "uninstall entry after a cancelled wizard"
echo "PASS [$TEST_NAME]"
