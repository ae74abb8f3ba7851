#!/usr/bin/env bash
# Destinations as scripts and people write them: a path longer than the platform's classic limit is refused
# before anything is written (silent: exit code 2; interactive: the limit is named), and a destination at the
# limit installs with working shortcuts; forward slashes, trailing dots and the "/D=" form of other
# installers land in the folder the platform uses, which is also what is remembered.
source "$(dirname "$0")/lib.sh"
new_prefix
shortcut_folders
install_folders
LINK="Quorvale Word Processor.lnk"

# A destination of exactly $1 characters below C:\.
long_folder() {
  local first=$((($1 - 4) / 2))
  local second=$(($1 - 4 - first))
  printf 'C:\\%s\\%s' "$(head -c "$first" /dev/zero | tr '\0' a)" "$(head -c "$second" /dev/zero | tr '\0' b)"
}
remembered_folder() { reg_data HKCU "$INSTALL_KEY" MAINDIR; }

MAIN=$(long_folder 259)
rc=$(run_setup -S "-D$MAIN")
expect_eq "$rc" 2 "silent exit code for a 259-character destination"
expect_nothing_written "silent 259-character destination"
[ ! -e "$(unix_path "$PROGRAM_FILES\\Quorvale")" ] || fail "installed into the default folder instead"

start_setup "-D$MAIN"
drive attach "next-until 2" "click NextBtn" >/dev/null
wait_box too-long
[[ $BOX_TEXT =~ ^"The destination folder path is too long."$'\n'"Please choose a folder whose path has at most "([0-9]+)" characters."$ ]] ||
  fail "too-long message: $BOX_TEXT"
limit=${BASH_REMATCH[1]}
click_box ok
expect_eq "$(field "$(drive attach state)" state page)" 2 "page after the refusal"
wizard_cancel
wait_setup
expect_nothing_written "interactive 259-character destination"
[ "$limit" -lt 259 ] || fail "the named limit $limit does not refuse 259 characters"

# At the named limit everything works, the shortcuts included.
MAIN=$(long_folder "$limit")
rc=$(run_setup -S "-D$MAIN")
expect_eq "$rc" 0 "exit code at the limit of $limit characters"
expect_payload "$MAIN" "$PUBLIC"
expect_shortcut "$COMMON_PROGRAMS\\$LINK" "$MAIN\\qvw.exe" "$MAIN" "$DESCRIPTION_EN"
expect_shortcut "$COMMON_DESKTOP\\$LINK" "$MAIN\\qvw.exe" "$MAIN" "$DESCRIPTION_EN"
expect_eq "$(remembered_folder)" "$MAIN" "remembered folder at the limit"

# Forward slashes, in a folder whose parent does not exist yet.
rc=$(run_setup -S -DC:/Apps/Quorvale)
expect_eq "$rc" 0 "exit code with forward slashes"
expect_file 'C:\Apps\Quorvale\qvw.exe'
expect_eq "$(remembered_folder)" 'C:\Apps\Quorvale' "remembered folder with forward slashes"
expect_eq "$(reg_data HKLM "$UNINSTALL_KEY" UninstallString)" '"C:\Apps\Quorvale\qvw.exe" -ui' "uninstall entry"

# Trailing dots: the platform makes "C:\QV Dots"; a second run without /D finds and updates that copy.
rc=$(run_setup -S '-DC:\QV Dots...')
expect_eq "$rc" 0 "exit code with trailing dots"
expect_eq "$(remembered_folder)" 'C:\QV Dots' "remembered folder with trailing dots"
rc=$(run_setup -S)
expect_eq "$rc" 0 "exit code of the run without /D"
expect_eq "$(remembered_folder)" 'C:\QV Dots' "remembered folder after the run without /D"
expect_file 'C:\QV Dots\qvw.exe'
[ ! -e "$(unix_path "$PROGRAM_FILES\\Quorvale")" ] || fail "a second copy went to the default folder"
grep -q '^File Copy: C:\\QV Dots\\qvw.exe' "$(unix_path 'C:\QV Dots\Install.log')" || fail "Install.log of the dotted folder"
grep -q 'Dots\.' "$(unix_path 'C:\QV Dots\Install.log')" && fail "Install.log names the folder with its dots"
expect_eq "$(reg_data HKLM "$UNINSTALL_KEY" UninstallString)" '"C:\QV Dots\qvw.exe" -ui' "uninstall entry"

# The "/D=" form.
rc=$(run_setup /S '/D=C:\Apps\Equals')
expect_eq "$rc" 0 "exit code with /D="
expect_file 'C:\Apps\Equals\qvw.exe'
expect_eq "$(remembered_folder)" 'C:\Apps\Equals' "remembered folder with /D="
echo "PASS [$TEST_NAME]"
