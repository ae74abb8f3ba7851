#!/usr/bin/env bash
# The wizard as a person uses it, in English: the six pages in order with their titles and buttons, the
# licence text and its check, the quit question, the destination rules, the portable box, and a complete
# installation whose Finish starts the program in the wizard's language. Screenshots of every page.
source "$(dirname "$0")/lib.sh"
new_prefix
install_folders
SETUP_WIN="Z:${SETUP_EXE//\//\\}"
PF=$PROGRAM_FILES
MAIN='C:\QV Test'
mkdir -p "$(unix_path 'C:\PortCopy')"
: >"$(unix_path 'C:\PortCopy\Quorvale.ini')"

out=$(drive "run $SETUP_WIN" wait-form \
  "tag p0" state "shot page0" "colours LftPanel" \
  "tag p1" "click NextBtn" "wait-page 1" state "get LicMemo" "shot page1" \
  "tag unaccepted" "check LicChkBx 0" "click NextBtn" box "answer 1" state "check LicChkBx 1" \
  "tag quit-no" "click CancelBtn" box "answer 7" state \
  "tag p2" "click NextBtn" "wait-page 2" state "shot page2" \
  "tag blanks" "settext DestEdt   C:\\Apps\\  " "click NextBtn" "wait-page 3" "get DestEdt" "click BackBtn" "wait-page 2" \
  "tag empty" "settext DestEdt " "click NextBtn" "wait-page 3" "get DestEdt" "click BackBtn" "wait-page 2" \
  "tag relative" "settext DestEdt Apps\\Word" "click NextBtn" "wait-page 3" "get DestEdt" "click BackBtn" "wait-page 2" \
  "tag root" "settext DestEdt C:\\" "click NextBtn" "wait-page 3" "get DestEdt" "click BackBtn" "wait-page 2" \
  "tag pf" "settext DestEdt $PF" "click NextBtn" "wait-page 3" "get DestEdt" "click BackBtn" "wait-page 2" \
  "tag refused" "check PortChkBx 1" "settext DestEdt $PF\\Quorvale" "click NextBtn" box "answer 1" state \
  "check PortChkBx 0" \
  "tag locked" "settext DestEdt C:\\PortCopy" "click NextBtn" "wait-page 3" "info Inst2AllChkBx" "click BackBtn" \
  "wait-page 2" "info PortChkBx" \
  "tag unlocked" "settext DestEdt C:\\Apps" "click NextBtn" "wait-page 3" "click BackBtn" "wait-page 2" \
  "info PortChkBx" "check PortChkBx 0" \
  "tag p3" "settext DestEdt $MAIN" "click NextBtn" "wait-page 3" state "info Inst2AllChkBx" "shot page3" \
  "tag p5" "click NextBtn" "wait-page 5" state "shot page5" \
  "tag end" "click NextBtn" wait-exit qvw)
echo "$out"

# Pages in order, each with its own title; Back hidden on the first page, Cancel off on the last.
declare -A titles
for p in 0 1 2 3 5; do
  expect_eq "$(field "$out" "p$p state" page)" "$p" "page after step $p"
  titles[$p]=$(field "$out" "p$p state" title)
  expect_eq "$(field "$out" "p$p state" caption)" "Quorvale Word Processor - Setup" "window title on page $p"
done
expect_eq "${titles[0]}" "Welcome to the Quorvale Word Processor Setup" "welcome title"
expect_eq "${titles[1]}" "License Agreement" "licence title"
expect_eq "${titles[2]}" "Choose Destination Folder" "destination title"
expect_eq "${titles[3]}" "Ready to Install" "ready title"
expect_eq "${titles[5]}" "Installation Complete" "finish title"
expect_eq "$(field "$out" "p0 state" back)" "ve" "Back on the welcome page"
# The logo shows in its column: a picture of many colours, where the bare column has its background and line.
logo_colours=$(field "$out" "p0 colours" LftPanel)
[ "$logo_colours" -gt 40 ] || fail "the logo column shows $logo_colours colours, not the logo"
for p in 1 2 3; do expect_eq "$(field "$out" "p$p state" back)" "VE" "Back on page $p"; done
expect_eq "$(field "$out" "p5 state" back)" "Ve" "Back on the finish page"
expect_eq "$(field "$out" "p3 state" next)$(field "$out" "p3 state" nextcap)" 'E&Next >' "Next on the ready page"
expect_eq "$(field "$out" "p5 state" next)$(field "$out" "p5 state" nextcap)" 'E&Finish' "Next on the finish page"
expect_eq "$(field "$out" "p3 state" cancel)" "E" "Cancel on the ready page"
expect_eq "$(field "$out" "p5 state" cancel)" "e" "Cancel on the finish page"

# The licence text is the payload's License.txt.
memo=$(field "$out" "p1 LicMemo" LicMemo)
expected=$(tr -d '\r' <"$PAYLOAD_FILES/License.txt" | sed ':a;N;$!ba;s/\n/\\n/g')
[ "${memo%\\n}" == "${expected%\\n}" ] || fail "licence memo differs from License.txt"

# An unaccepted licence keeps the wizard on the licence page with the message; No to the quit question too.
expect_eq "$(field "$out" "unaccepted box" text)" \
  "To install this program, you need to agree to all the terms of the License Agreement." "unaccepted message"
expect_eq "$(field "$out" "unaccepted state" page)" 1 "page after the unaccepted licence"
expect_eq "$(field "$out" "quit-no box" caption)" "Quorvale Word Processor - Setup" "quit question caption"
expect_eq "$(field "$out" "quit-no state" page)" 1 "page after No"

# Destination rules.
expect_eq "$(field "$out" "blanks DestEdt" DestEdt)" 'C:\Apps' "blanks and trailing backslash"
expect_eq "$(field "$out" "empty DestEdt" DestEdt)" "$PF\\Quorvale" "empty destination"
expect_eq "$(field "$out" "relative DestEdt" DestEdt)" "$PF\\Quorvale" "relative destination"
expect_eq "$(field "$out" "root DestEdt" DestEdt)" 'C:\Quorvale' "drive root"
expect_eq "$(field "$out" "pf DestEdt" DestEdt)" "$PF\\Quorvale" "the program-files folder itself"

# Portable: refused below the program-files folder, locked on by an existing portable copy, unlocked (but
# still checked) elsewhere; the shortcut options are hidden for a portable copy.
[ -n "$(field "$out" "refused box" text)" ] || fail "no refusal text"
expect_eq "$(field "$out" "refused state" page)" 2 "page after the portable refusal"
expect_eq "$(field "$out" "locked Inst2AllChkBx" visible)" 0 "all-users option for a portable copy"
expect_eq "$(field "$out" "locked PortChkBx" checked)$(field "$out" "locked PortChkBx" enabled)" 10 \
  "portable box at a portable copy"
expect_eq "$(field "$out" "unlocked PortChkBx" checked)$(field "$out" "unlocked PortChkBx" enabled)" 11 \
  "portable box elsewhere"
expect_eq "$(field "$out" "p3 Inst2AllChkBx" visible)" 1 "all-users option for a normal install"

# The installation itself, and Finish starting the program in English.
expect_eq "$(field "$out" "end exit" exit)" 0 "exit code"
expect_eq "$(field "$out" "end qvw" title)" "Untitled - Quorvale Word Processor" "started program"
expect_payload "$MAIN" "$PUBLIC"
expect_file "$MAIN\\Install.log"
expect_eq "$(reg_data HKCU "$INSTALL_KEY" MAINDIR)" "$MAIN" "remembered folder"
for d in 'C:\Apps' 'C:\Quorvale' "$PF\\Quorvale"; do expect_no_file "$d"; done
echo "PASS [$TEST_NAME]"
