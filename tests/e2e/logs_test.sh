#!/usr/bin/env bash
# The user's logs survive an installation whole: Install.log and Update.log with NUL bytes, binary junk, no
# final line break and 800,000 lines (about 50 MB each) keep every old line, in order, and the installation's
# own lines follow them. Prints how long the installation took.
source "$(dirname "$0")/lib.sh"
new_prefix
install_folders
shortcut_folders
LINK="Quorvale Word Processor.lnk"
MAIN="$PROGRAM_FILES\\Quorvale"
mkdir -p "$(unix_path "$MAIN")" "$(unix_path "$SHARED")"
old_install=$PREFIX/old-install.log
old_update=$PREFIX/old-update.log

# Old lines: odd ones first, then many plain lines, no line break at the end.
odd_lines() {
  printf 'Made Dir: C:\\Somewhere\\Else\\\n'
  printf 'nul \0 inside\0\n'
  printf '\x01\x02\x7f\x80\xfe\xff junk \xc3\x28 bytes\n'
  printf '\0\n'
}
{
  odd_lines
  seq -f 'File Copy: C:\Users\Someone\Documents\Letters\Kept letter number %08.0f.rtf' 1 800000
  printf 'last line without a break'
} >"$old_install"
{
  printf '*0000000000000000\n'
  odd_lines
  seq -f 'C:\ProgramData\Quorvale\Public\Templates\Old\Old template number %08.0f.rtf' 1 800000
  printf 'last line without a break'
} >"$old_update"
cp "$old_install" "$(unix_path "$MAIN\\Install.log")"
cp "$old_update" "$(unix_path "$SHARED\\Update.log")"

started=$(date +%s%N)
rc=$(run_setup -S)
echo "silent installation with two 50 MB logs: $((($(date +%s%N) - started) / 1000000)) ms"
expect_eq "$rc" 0 "exit code"

# Every old line, byte for byte and in order, at the start of the new file; then this run's lines.
check_log() {  # windows path, old file, this run's lines
  local now=$PREFIX/now.log old_count=$(($(wc -l <"$2") + 1))
  tr -d '\r' <"$(unix_path "$1")" >"$now"
  head -n "$old_count" "$now" | cmp -s - <(cat "$2"; echo) || fail "$1 lost or changed old lines"
  expect_eq "$(tail -n +$((old_count + 1)) "$now")" "$3" "this run's lines in $1"
}
# The program and shared folders existed already: only the folders below the shared one are new.
new_install_lines=(
  "Made Dir: $PUBLIC\\"
  "Made Dir: $SHARED\\Hidden\\"
  "File Copy: $MAIN\\qvw.exe"
  "File Copy: $MAIN\\License.txt"
  "File Copy: $COMMON_PROGRAMS\\$LINK"
  "File Copy: $COMMON_DESKTOP\\$LINK"
)
check_log "$MAIN\\Install.log" "$old_install" "$(printf '%s\n' "${new_install_lines[@]}")"
stamp=$(probe stamp "$SHARED\\Hidden\\install_stamp") || fail "install_stamp"
public_lines=$(manifest_entries | cut -f2 | grep -v -x -e qvw.exe -e License.txt |
  sed "s|^|$(sed 's/[\\&|]/\\&/g' <<<"$PUBLIC\\")|; s|\$|\t!|" | LC_ALL=C sort)
now_public=$(tr -d '\r' <"$(unix_path "$SHARED\\Update.log")" | tail -n 98 | LC_ALL=C sort)
expect_eq "$now_public" "$public_lines" "this run's files in Update.log"
check_log "$SHARED\\Update.log" "$old_update" "$(printf '*%s\n' "${stamp%%$'\t'*}"; tr -d '\r' <"$(unix_path "$SHARED\\Update.log")" | tail -n 98)"
echo "PASS [$TEST_NAME]"
