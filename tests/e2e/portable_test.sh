#!/usr/bin/env bash
# A portable installation: a destination holding Quorvale.ini is installed as a portable copy. Everything goes
# below the folder, the user's templates and clips stay, the program is refreshed only when its time differs,
# and nothing is written outside the folder: no Install.log, install_stamp, Update.log, shortcuts or registry.
# A portable copy aimed at the program-files folder is refused with a message even in silent mode.
source "$(dirname "$0")/lib.sh"
new_prefix
shortcut_folders
install_folders
MAIN='C:\Portable\Quorvale'

manifest_time() { manifest_entries | awk -F'\t' -v n="$1" '$2 == n { print $1 }'; }

# The user's copy: the marker, a changed template and clip, a program with the payload's time but other bytes,
# a licence with another time.
main_unix=$(unix_path "$MAIN")
mkdir -p "$main_unix/Templates/Letters" "$main_unix/Clip Library/Closings"
: >"$main_unix/Quorvale.ini"
echo "my letter" >"$main_unix/Templates/Letters/Letter 1.rtf"
echo "my closing" >"$main_unix/Clip Library/Closings/All the best.txt"
echo "not the payload's program" >"$main_unix/qvw.exe"
touch -d "$(manifest_time qvw.exe)" "$main_unix/qvw.exe"
echo "an old licence" >"$main_unix/License.txt"
touch -d "2020-01-01 12:00:00" "$main_unix/License.txt"
load_tree "$MAIN"
expect_eq "${TREE[qvw.exe]#*$'\t'}" "$(manifest_time qvw.exe)" "prepared program time"

rc=$(run_setup -S "-D$MAIN")
expect_eq "$rc" 0 "exit code"

load_tree "$MAIN"
expect_eq "${#TREE[@]}" 101 "files below the portable folder (payload and marker)"
expect_eq "$(cat "$main_unix/qvw.exe")" "not the payload's program" "program with the same time kept"
cmp -s "$(payload_source License.txt)" "$main_unix/License.txt" || fail "licence with another time not refreshed"
expect_eq "${TREE[License.txt]#*$'\t'}" "$(manifest_time License.txt)" "licence time"
expect_eq "$(cat "$main_unix/Templates/Letters/Letter 1.rtf")" "my letter" "existing template kept"
expect_eq "$(cat "$main_unix/Clip Library/Closings/All the best.txt")" "my closing" "existing clip kept"
expect_eq "${TREE[Quorvale.ini]%%$'\t'*}" 0 "Quorvale.ini size"
# Every other template and clip below the folder, with its bytes and time.
checked=0
while IFS=$'\t' read -r time name; do
  case "$name" in qvw.exe | License.txt | "Templates\\Letters\\Letter 1.rtf" | "Clip Library\\Closings\\All the best.txt") continue ;; esac
  expect_eq "${TREE[$name]:-missing}" "$(stat -c %s "$(payload_source "$name")")"$'\t'"$time" "$name"
  cmp -s "$(payload_source "$name")" "$(unix_path "$MAIN\\$name")" || fail "content of $name"
  checked=$((checked + 1))
done < <(manifest_entries)
expect_eq "$checked" 96 "templates and clips installed"

# Nothing outside the folder.
expect_no_file "$MAIN\\Install.log"
[ ! -e "$(unix_path "$SHARED")" ] || fail "the shared data folder was created"
for folder in "$USER_PROGRAMS" "$USER_DESKTOP" "$COMMON_PROGRAMS" "$COMMON_DESKTOP"; do
  expect_eq "$(find "$(unix_path "$folder")" -maxdepth 1 -name 'Quorvale*.lnk' | wc -l)" 0 "shortcuts in $folder"
done
expect_eq "$(reg_dump HKCU "$INSTALL_KEY")" "nokey" "remembered settings"
expect_eq "$(reg_dump HKLM "$UNINSTALL_KEY")" "nokey" "uninstall entry"

# A portable copy in the program-files folder: the refusal is shown, nothing is installed.
refused="$PROGRAM_FILES\\Quorvale"
mkdir -p "$(unix_path "$refused")"
: >"$(unix_path "$refused\\Quorvale.ini")"
start_setup -S "-D$refused"
wait_box portable-refused
expect_eq "$BOX_CAPTION" "Quorvale Word Processor - Setup" "refusal caption"
expect_eq "$BOX_TEXT" "A portable copy cannot be installed to this folder." "refusal text"
click_box ok
wait_setup
expect_eq "$SETUP_RC" 0 "exit code after the refusal"
expect_eq "$(ls -A "$(unix_path "$refused")")" "Quorvale.ini" "refused folder contents"
[ ! -e "$(unix_path "$SHARED")" ] || fail "the refused run created the shared data folder"
expect_eq "$(reg_dump HKCU "$INSTALL_KEY")" "nokey" "remembered settings after the refusal"
echo "PASS [$TEST_NAME]"
