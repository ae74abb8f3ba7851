#!/usr/bin/env bash
# A payload file that cannot be written (another program holds it open without sharing). Silent: exit code 2
# at once, the files after it are not written, the settings and Install.log are still saved. Interactive:
# the error box names the file; Abort fails the install the same way, Ignore goes on without the file, Retry
# writes it again once it can be written. A completed interactive run starts the program in its language.
source "$(dirname "$0")/lib.sh"
new_prefix
shortcut_folders
SHARED="$(probe folder 35)\\Quorvale"
PUBLIC="$SHARED\\Public"
MAIN='C:\Apps\Quorvale'
LICENSE="$MAIN\\License.txt"
LINK="Quorvale Word Processor.lnk"

mkdir -p "$(unix_path "$MAIN")"
echo "old licence" >"$(unix_path "$LICENSE")"

expect_failed_install() {  # what a failed install leaves: the first file, the logs and settings, no more
  expect_file "$MAIN\\qvw.exe"
  expect_eq "$(cat "$(unix_path "$LICENSE")")" "old licence" "$1: licence"
  expect_eq "$(find "$(unix_path "$PUBLIC")" -type f | wc -l)" 0 "$1: files after the failed one"
  expect_no_file "$SHARED\\Update.log"
  expect_file "$SHARED\\Hidden\\install_stamp"
  local expected=(
    "Made Dir: $SHARED\\"
    "Made Dir: $PUBLIC\\"
    "Made Dir: $SHARED\\Hidden\\"
    "File Copy: $MAIN\\qvw.exe"
  )
  expect_eq "$(file_lines "$MAIN\\Install.log")" "$(printf '%s\n' "${expected[@]}")" "$1: Install.log"
  expect_eq "$(reg_dump HKCU "$INSTALL_KEY" | wc -l)" 5 "$1: remembered values"
  expect_eq "$(reg_value "$(reg_dump HKCU "$INSTALL_KEY")" MAINDIR | cut -f5)" "$MAIN" "$1: MAINDIR"
  expect_eq "$(reg_dump HKLM "$UNINSTALL_KEY" | wc -l)" 6 "$1: uninstall values"
  expect_no_file "$COMMON_PROGRAMS\\$LINK"
  expect_no_file "$COMMON_DESKTOP\\$LINK"
}

cannot_create_en() {
  printf 'Cannot create file "%s".\nAnother application might already be using this file.\n\n%s' "$1" \
    "Please make sure that the setup of Quorvale Word Processor is not blocked by your security software (firewall/antivirus) in any way."
}

# Silent: exit code 2, no question.
lock_file "$LICENSE"
rc=$(run_setup -S "-D$MAIN")
expect_eq "$rc" 2 "silent exit code"
expect_no_box "silent run"
expect_failed_install "silent"

# Abort: the same failure, exit code 2; the old Install.log lines are kept once each.
start_setup "-D$MAIN"
wizard_install
wait_box cannot-create
expect_eq "$BOX_CAPTION" "Quorvale Word Processor - Setup" "error box caption"
expect_eq "$BOX_TEXT" "$(cannot_create_en "$LICENSE")" "error box text"
click_box abort
wait_setup
expect_eq "$SETUP_RC" 2 "exit code after Abort"
expect_failed_install "abort"

# Ignore: the install goes on without the file and completes; the program is started (English).
start_setup "-D$MAIN"
wizard_install
wait_box cannot-create-ignore
click_box ignore
drive attach "wait-page 5" "click NextBtn" >/dev/null
wait_setup
expect_eq "$SETUP_RC" 0 "exit code after Ignore"
release_lock
expect_eq "$(cat "$(unix_path "$LICENSE")")" "old licence" "ignored licence"
expect_payload_except_license() {
  local time name
  while IFS=$'\t' read -r time name; do
    [ "$name" == License.txt ] && continue
    if [ "$name" == qvw.exe ]; then f="$MAIN\\$name"; else f="$PUBLIC\\$name"; fi
    cmp -s "$(payload_source "$name")" "$(unix_path "$f")" || fail "after Ignore: $name"
  done < <(manifest_entries)
}
expect_payload_except_license
grep -qF "File Copy: $LICENSE" <(file_lines "$MAIN\\Install.log") && fail "ignored file logged as copied"
expect_eq "$(file_lines "$SHARED\\Update.log" | wc -l)" 99 "Update.log after Ignore"
expect_file "$COMMON_PROGRAMS\\$LINK"
title=$(probe waitprop 30) || fail "the program was not started after Finish"
expect_eq "$title" "title=Untitled - Quorvale Word Processor" "started program (English)"
probe closeprop 30 || fail "the started program did not close"

# Retry while the file is still held shows the box again; Retry once it is free writes it. French this time:
# the box and the started program follow the remembered language.
probe regset HKCU "$INSTALL_KEY" UILANG sz fr
lock_file "$LICENSE"
start_setup "-D$MAIN"
wizard_install
wait_box cannot-create-fr
expect_eq "$BOX_CAPTION" "Installation du traitement de texte Quorvale" "French caption"
[[ $BOX_TEXT == "Impossible de créer le fichier \"$LICENSE\"."* ]] || fail "French error text: $BOX_TEXT"
click_box retry
wait_box cannot-create-again
release_lock
click_box retry
drive attach "wait-page 5" "click NextBtn" >/dev/null
wait_setup
expect_eq "$SETUP_RC" 0 "exit code after Retry"
cmp -s "$(payload_source License.txt)" "$(unix_path "$LICENSE")" || fail "licence not written after Retry"
grep -qF "File Copy: $LICENSE" <(file_lines "$MAIN\\Install.log") || fail "licence copy not logged after Retry"
expect_eq "$(file_lines "$MAIN\\Install.log" | sort | uniq -d)" "" "repeated Install.log lines"
title=$(probe waitprop 30) || fail "the program was not started after Finish"
expect_eq "$title" "title=Sans titre - Quorvale Word Processor" "started program (French, -uilp fr)"
probe closeprop 30 || fail "the started program did not close"
echo "PASS [$TEST_NAME]"
