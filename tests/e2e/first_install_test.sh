#!/usr/bin/env bash
# A first normal installation, silent, into the default folder of a fresh prefix: every payload file in its
# place with its stored time, Install.log, install_stamp and Update.log, the remembered settings and the
# uninstall entry with their types, and the shortcuts for all users.
source "$(dirname "$0")/lib.sh"
new_prefix
shortcut_folders
install_folders
MAIN="$PROGRAM_FILES\\Quorvale"
LINK="Quorvale Word Processor.lnk"

rc=$(run_setup -S)
expect_eq "$rc" 0 "exit code"

# Payload: the program and the licence in the program folder, the rest below the shared Public folder.
expect_payload "$MAIN" "$PUBLIC"
load_tree "$MAIN"
expect_eq "$(printf '%s\n' "${!TREE[@]}" | LC_ALL=C sort | tr '\n' ' ')" "Install.log License.txt qvw.exe " \
  "program folder contents"
expect_no_file "$MAIN\\Quorvale.ini"

# Install.log: the folders this install made while logging was on, the logged copies and the shortcuts.
expected=(
  "Made Dir: $SHARED\\"
  "Made Dir: $PUBLIC\\"
  "Made Dir: $SHARED\\Hidden\\"
  "Made Dir: $MAIN\\"
  "File Copy: $MAIN\\qvw.exe"
  "File Copy: $MAIN\\License.txt"
  "File Copy: $COMMON_PROGRAMS\\$LINK"
  "File Copy: $COMMON_DESKTOP\\$LINK"
)
expect_eq "$(file_lines "$MAIN\\Install.log")" "$(printf '%s\n' "${expected[@]}")" "Install.log"
expect_eq "$(grep -c $'\r$' "$(unix_path "$MAIN\\Install.log")")" "${#expected[@]}" "CR LF line ends of Install.log"

# install_stamp: 8 bytes, a TDateTime of this run.
stamp=$(probe stamp "$SHARED\\Hidden\\install_stamp") || fail "install_stamp is not 8 bytes"
stamp_hex=${stamp%%$'\t'*}
age=${stamp#*$'\t'}
[[ $stamp_hex =~ ^[0-9A-F]{16}$ ]] || fail "install_stamp bytes: $stamp_hex"
[ "$age" -ge -5 ] && [ "$age" -le 600 ] || fail "install_stamp is $age s away from now"

# Update.log: one stamp line equal to install_stamp, then the public files sorted, each marked "!".
mapfile -t update < <(file_lines "$SHARED\\Update.log")
expect_eq "${#update[@]}" 99 "Update.log lines"
expect_eq "${update[0]}" "*$stamp_hex" "Update.log stamp line"
expected_public=$(manifest_entries | cut -f2 | grep -v -x -e qvw.exe -e License.txt |
  sed "s|^|$(sed 's/[\\&|]/\\&/g' <<<"$PUBLIC\\")|; s|\$|\t!|" | LC_ALL=C sort)
expect_eq "$(printf '%s\n' "${update[@]:1}" | LC_ALL=C sort)" "$expected_public" "Update.log files"
probe sorted "$SHARED\\Update.log" 1 >/dev/null || fail "Update.log files not in order: $(probe sorted "$SHARED\\Update.log" 1)"

# Remembered settings (per user) and the uninstall entry (per machine), with types and byte sizes.
dump=$(reg_dump HKCU "$INSTALL_KEY")
expect_eq "$(wc -l <<<"$dump")" 5 "remembered values"
expect_eq "$(reg_value "$dump" MAINDIR)" "MAINDIR"$'\t'"REG_SZ"$'\t'"$(((${#MAIN} + 1) * 2))"$'\t'"$((${#MAIN} + 1))"$'\t'"$MAIN" "MAINDIR"
for flag in INSTALLTOALL DSKSHORTCUT LAUNCH; do
  expect_eq "$(reg_value "$dump" $flag)" "$flag"$'\t'"REG_DWORD"$'\t'"4"$'\t'"4"$'\t'"1" "$flag"
done
expect_eq "$(reg_value "$dump" UILANG)" "UILANG"$'\t'"REG_SZ"$'\t'"6"$'\t'"3"$'\t'"en" "UILANG"

dump=$(reg_dump HKLM "$UNINSTALL_KEY")
expect_eq "$(wc -l <<<"$dump")" 6 "uninstall values"
icon="$MAIN\\qvw.exe"
uninstall="\"$MAIN\\qvw.exe\" -ui"
expect_eq "$(reg_value "$dump" DisplayIcon)" \
  "DisplayIcon"$'\t'"REG_SZ"$'\t'"$(((${#icon} + 1) * 2))"$'\t'"$((${#icon} + 1))"$'\t'"$icon" "DisplayIcon"
expect_eq "$(reg_value "$dump" DisplayName)" \
  "DisplayName"$'\t'"REG_SZ"$'\t'"48"$'\t'"24"$'\t'"Quorvale Word Processor" "DisplayName"
expect_eq "$(reg_value "$dump" DisplayVersion)" "DisplayVersion"$'\t'"REG_SZ"$'\t'"16"$'\t'"8"$'\t'"4.4.5.5" \
  "DisplayVersion"
expect_eq "$(reg_value "$dump" EstimatedSize)" "EstimatedSize"$'\t'"REG_DWORD"$'\t'"4"$'\t'"4"$'\t'"3072" \
  "EstimatedSize"
expect_eq "$(reg_value "$dump" Publisher)" \
  "Publisher"$'\t'"REG_SZ"$'\t'"66"$'\t'"33"$'\t'"The Quorvale Word Processor Team" "Publisher"
expect_eq "$(reg_value "$dump" UninstallString)" "UninstallString"$'\t'"REG_SZ"$'\t'"$(((${#uninstall} + 1) * 2))"$'\t'"$((${#uninstall} + 1))"$'\t'"$uninstall" \
  "UninstallString"

# Shortcuts for all users (the default), none for the current user.
expect_shortcut "$COMMON_PROGRAMS\\$LINK" "$MAIN\\qvw.exe" "$MAIN" "$DESCRIPTION_EN"
expect_shortcut "$COMMON_DESKTOP\\$LINK" "$MAIN\\qvw.exe" "$MAIN" "$DESCRIPTION_EN"
expect_no_file "$USER_PROGRAMS\\$LINK"
expect_no_file "$USER_DESKTOP\\$LINK"

# A silent run starts nothing.
if probe waitprop 0 >/dev/null; then fail "the word processor was started in silent mode"; fi
echo "PASS [$TEST_NAME]"
