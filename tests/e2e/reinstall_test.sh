#!/usr/bin/env bash
# Installing again into the same folder: the remembered folder, options and language are read back, every
# payload file is written again, Install.log keeps one copy of each line, Update.log holds one group headed
# by the newer stamp, and switching "for all users" moves the shortcuts.
source "$(dirname "$0")/lib.sh"
new_prefix
shortcut_folders
install_folders
MAIN='C:\Apps\Quorvale'
LINK="Quorvale Word Processor.lnk"

stamp_of_install() { probe stamp "$SHARED\\Hidden\\install_stamp" | cut -f1; }

# 1. A folder named on the command line is taken although it does not exist yet.
rc=$(run_setup -S "-D$MAIN")
expect_eq "$rc" 0 "first run: exit code"
expect_file "$MAIN\\qvw.exe"
[ ! -e "$(unix_path "$PROGRAM_FILES\\Quorvale")" ] || fail "first run also wrote the default folder"
expect_file "$COMMON_PROGRAMS\\$LINK"
expect_file "$COMMON_DESKTOP\\$LINK"
log1=$(file_lines "$MAIN\\Install.log")
stamp1=$(stamp_of_install)

# 2. No -D: the remembered folder. The options changed in the remembered settings are read back.
probe regset HKCU "$INSTALL_KEY" INSTALLTOALL dword 0
probe regset HKCU "$INSTALL_KEY" LAUNCH dword 0
# Files the user changed are replaced: a normal install writes every payload file whatever its time.
echo "changed" >"$(unix_path "$MAIN\\License.txt")"
echo "changed" >"$(unix_path "$PUBLIC\\Templates\\Memos\\Note.rtf")"
sleep 0.1
rc=$(run_setup -S)
expect_eq "$rc" 0 "second run: exit code"
[ ! -e "$(unix_path "$PROGRAM_FILES\\Quorvale")" ] || fail "second run did not use the remembered folder"
expect_payload "$MAIN" "$PUBLIC"

log2=$(file_lines "$MAIN\\Install.log")
expect_eq "$(sort <<<"$log2" | uniq -d)" "" "repeated Install.log lines"
expect_eq "$log2" "$log1"$'\n'"File Copy: $USER_PROGRAMS\\$LINK"$'\n'"File Copy: $USER_DESKTOP\\$LINK" \
  "Install.log after the second run"

stamp2=$(stamp_of_install)
[ "$stamp2" != "$stamp1" ] || fail "install_stamp was not renewed"
mapfile -t update < <(file_lines "$SHARED\\Update.log")
expect_eq "${#update[@]}" 99 "Update.log lines after the second run"
expect_eq "$(grep -c '^\*' <(printf '%s\n' "${update[@]}"))" 1 "stamp lines in Update.log"
expect_eq "${update[0]}" "*$stamp2" "Update.log stamp after the second run"
probe sorted "$SHARED\\Update.log" 1 >/dev/null || fail "Update.log files not in order"

# The shortcuts moved from the common folders to the current user's.
expect_no_file "$COMMON_PROGRAMS\\$LINK"
expect_no_file "$COMMON_DESKTOP\\$LINK"
expect_shortcut "$USER_PROGRAMS\\$LINK" "$MAIN\\qvw.exe" "$MAIN" "$DESCRIPTION_EN"
expect_shortcut "$USER_DESKTOP\\$LINK" "$MAIN\\qvw.exe" "$MAIN" "$DESCRIPTION_EN"

dump=$(reg_dump HKCU "$INSTALL_KEY")
expect_eq "$(reg_value "$dump" MAINDIR | cut -f5)" "$MAIN" "remembered folder"
expect_eq "$(reg_value "$dump" INSTALLTOALL | cut -f5)" 0 "INSTALLTOALL read back"
expect_eq "$(reg_value "$dump" DSKSHORTCUT | cut -f5)" 1 "DSKSHORTCUT"
expect_eq "$(reg_value "$dump" LAUNCH | cut -f5)" 0 "LAUNCH read back"

# 3. No desktop shortcut wanted: the one there is left alone. An older Update.log ending in an empty group
# and a foreign group: the earlier of two adjacent stamps goes.
probe regset HKCU "$INSTALL_KEY" DSKSHORTCUT dword 0
desktop_time=$(stat -c %Y "$(unix_path "$USER_DESKTOP\\$LINK")")
printf '%s\r\n' "" "*0000000000000000" "C:\\Other\\Clip.txt" >>"$(unix_path "$SHARED\\Update.log")"
sleep 1.1
rc=$(run_setup -S)
expect_eq "$rc" 0 "third run: exit code"
expect_file "$USER_DESKTOP\\$LINK"
expect_eq "$(stat -c %Y "$(unix_path "$USER_DESKTOP\\$LINK")")" "$desktop_time" "desktop shortcut left alone"
expect_no_file "$COMMON_DESKTOP\\$LINK"
stamp3=$(stamp_of_install)
mapfile -t update < <(file_lines "$SHARED\\Update.log")
expect_eq "${#update[@]}" 101 "Update.log lines after the third run"
expect_eq "${update[0]}" "*0000000000000000" "foreign group's stamp"
expect_eq "${update[1]}" 'C:\Other\Clip.txt' "foreign group's file"
expect_eq "${update[2]}" "*$stamp3" "stamp heading this installation's files"
expect_eq "$(grep -c '^\*' <(printf '%s\n' "${update[@]}"))" 2 "stamp lines after the third run"
expect_eq "$(sort <<<"$(file_lines "$MAIN\\Install.log")" | uniq -d)" "" "repeated Install.log lines"

# 4. The remembered language: German names for the shortcut and the uninstall entry.
probe regset HKCU "$INSTALL_KEY" UILANG sz de
rc=$(run_setup -S)
expect_eq "$rc" 0 "fourth run: exit code"
expect_shortcut "$USER_PROGRAMS\\Quorvale-Textverarbeitungsprogramm.lnk" "$MAIN\\qvw.exe" "$MAIN" \
  "Kompaktes, schnell ladendes, aber dennoch leistungsstarkes und effizientes Textverarbeitungsprogramm"
expect_eq "$(reg_value "$(reg_dump HKLM "$UNINSTALL_KEY")" DisplayName | cut -f5)" \
  "Quorvale-Textverarbeitungsprogramm" "DisplayName in German"
expect_eq "$(reg_value "$(reg_dump HKCU "$INSTALL_KEY")" UILANG | cut -f5)" "de" "UILANG kept"
echo "PASS [$TEST_NAME]"
