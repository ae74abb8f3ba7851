#!/usr/bin/env bash
# The word processor is running (its window carries the property "1.x Velso Marn"): a silent install ends with
# exit code 1 and writes nothing; an interactive one shows the close-it message and installs nothing.
source "$(dirname "$0")/lib.sh"
new_prefix
shortcut_folders
install_folders
MAIN="$PROGRAM_FILES\\Quorvale"

start_word_processor

rc=$(run_setup -S)
expect_eq "$rc" 1 "silent exit code"
expect_no_box "silent run"
expect_nothing_written "silent run"

start_setup
wizard_install
wait_box close-running
expect_eq "$BOX_CAPTION" "Quorvale Word Processor - Setup" "caption"
expect_eq "$BOX_TEXT" "Please close any running instance(s) of Quorvale Word Processor, then click OK in this dialog." \
  "message"
expect_nothing_written "while the message is shown"
click_box ok
# The wizard stays on the Ready page; the user gives up.
expect_eq "$(field "$(drive attach state)" state page)" 3 "page after the refusal"
wizard_cancel
wait_setup
expect_eq "$SETUP_RC" 0 "interactive exit code"
expect_nothing_written "interactive run"
probe waitprop 0 >/dev/null || fail "the word processor's window is gone"
echo "PASS [$TEST_NAME]"
