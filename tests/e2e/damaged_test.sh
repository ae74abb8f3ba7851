#!/usr/bin/env bash
# A setup program whose payload is damaged, cut short, inconsistent, unsafe or missing installs nothing: a
# silent run ends with exit code 2, an interactive one tells the user to download it again and ends with 2.
# A well-formed payload made the same way installs, so the refusals come from the damage alone.
source "$(dirname "$0")/lib.sh"
new_prefix
shortcut_folders
install_folders
MAIN="$PROGRAM_FILES\\Quorvale"
WORK=$PREFIX/drive_c/damaged
mkdir -p "$WORK"

# One archive record: name, the size field as stored, the data; time 0 (no stamp).
record() {
  local size=$2 i
  printf "\\x$(printf %02x "${#1}")"
  printf '%s' "$1"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00'
  for i in 0 8 16 24; do printf "\\x$(printf %02x $(((size >> i) & 255)))"; done
  printf '%s' "$3"
}
# Compresses WORK/$1.raw into WORK/$1.bin as the payload tool does.
pack() { probe deflate "C:\\damaged\\$1.raw" "C:\\damaged\\$1.bin" || fail "cannot compress $1"; }

payload=$BUILD_DIR/payload.bin
size=$(stat -c %s "$payload")
middle=$((size / 2))
cp "$payload" "$WORK/flipped.bin"
byte=$(od -An -tu1 -j "$middle" -N1 "$payload" | tr -d ' ')
printf "\\x$(printf %02x $((byte ^ 0x10)))" | dd of="$WORK/flipped.bin" bs=1 seek="$middle" conv=notrunc 2>/dev/null
cmp -s "$payload" "$WORK/flipped.bin" && fail "the byte was not flipped"
head -c "$middle" "$payload" >"$WORK/truncated.bin"
{ record qvw.exe 5 hello; record License.txt 1000 short; } >"$WORK/past-end.raw"
pack past-end
{ record qvw.exe 5 hello; record 'Templates\..\..\escaped.txt' 5 hello; } >"$WORK/traversal.raw"
pack traversal
{ record License.txt 5 hello; } >"$WORK/no-program.raw"
pack no-program
{ record qvw.exe 5 hello; record License.txt 7 licence; record 'Templates\Memo.rtf' 4 memo; } >"$WORK/sound.raw"
pack sound

# A copy of setup.exe in the prefix with the payload resource replaced, or for "missing" renamed in the
# resource directory (FILES to FILER: same length, same sort order), so that the program finds none.
variant() {
  local copy=$PREFIX/drive_c/setup-$1.exe
  cp "$SETUP_EXE" "$copy"
  if [ "$1" == missing ]; then
    perl -0777 -pi -e 's/F\0I\0L\0E\0S\0/F\0I\0L\0E\0R\0/g or die' "$copy" || fail "cannot rename the payload"
  else
    probe setres "C:\\setup-$1.exe" "C:\\damaged\\$1.bin" || fail "cannot replace the payload of the $1 copy"
  fi
}

for kind in flipped truncated past-end traversal no-program missing; do
  variant "$kind"
  rc=$(SETUP_EXE="$PREFIX/drive_c/setup-$kind.exe" run_setup -S)
  expect_eq "$rc" 2 "silent exit code with a $kind payload"
  expect_no_box "silent run with a $kind payload"
  expect_nothing_written "$kind payload"
  [ ! -e "$PREFIX/drive_c/escaped.txt" ] && [ ! -e "$(unix_path "$SHARED\\escaped.txt")" ] ||
    fail "$kind payload: a file escaped its folder"
done

# Interactive: the message in the user's language, then exit code 2.
SETUP_EXE="$PREFIX/drive_c/setup-flipped.exe" start_setup
wait_box damaged
expect_eq "$BOX_CAPTION" "Quorvale Word Processor - Setup" "caption"
expect_eq "$BOX_TEXT" $'The setup program is damaged and cannot install Quorvale Word Processor.\nPlease download it again.' \
  "message"
click_box ok
wait_setup
expect_eq "$SETUP_RC" 2 "interactive exit code"
expect_nothing_written "interactive run"

probe regset HKCU "$INSTALL_KEY" UILANG sz fr >/dev/null
SETUP_EXE="$PREFIX/drive_c/setup-missing.exe" start_setup
wait_box damaged-fr
[[ $BOX_TEXT == "Le programme d'installation est endommagé"* ]] || fail "French message: $BOX_TEXT"
click_box ok
wait_setup
expect_eq "$SETUP_RC" 2 "interactive exit code (French)"

variant sound
rc=$(SETUP_EXE="$PREFIX/drive_c/setup-sound.exe" run_setup -S)
expect_eq "$rc" 0 "exit code with a sound hand-made payload"
expect_eq "$(cat "$(unix_path "$MAIN\\qvw.exe")")" hello "program written from the hand-made payload"
expect_eq "$(cat "$(unix_path "$PUBLIC\\Templates\\Memo.rtf")")" memo "template written from the hand-made payload"
echo "PASS [$TEST_NAME]"
