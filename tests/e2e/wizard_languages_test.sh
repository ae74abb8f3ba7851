#!/usr/bin/env bash
# The wizard's languages: the starting language follows the user's locale, a remembered language overrides
# it, choosing a language re-captions every control and the window; a reinstallation skips the licence page
# both ways. Screenshots of every page in German and Simplified Chinese.
source "$(dirname "$0")/lib.sh"
new_prefix
install_folders
SETUP_WIN="Z:${SETUP_EXE//\//\\}"
ZH="简体中文 (Simplified Chinese)"
# The Finish page's controls get their windows only on that page: they are read there once, in Chinese.
CAPTIONED=(WelLbl LngLbl LicChkBx BwsBtn PortChkBx StartLbl Inst2AllChkBx DskChkBx BackBtn NextBtn CancelBtn)

# Opens the wizard under a locale and closes it at once: the window title it started with.
start_caption() {
  local out
  out=$(LC_ALL=$1 drive "run $SETUP_WIN" wait-form state close box "answer 6" wait-exit)
  expect_eq "$(field "$out" exit exit)" 0 "exit code after closing ($1)"
  field "$out" state caption
}
en_title="Quorvale Word Processor - Setup"
de_title=$(start_caption de_AT.UTF-8)
zh_title=$(start_caption zh_CN.UTF-8)
zht_title=$(start_caption zh_TW.UTF-8)
fr_title=$(start_caption fr_FR.UTF-8)
expect_eq "$(start_caption ja_JP.UTF-8)" "$en_title" "a locale without its language starts in English"
[ "$(printf '%s\n' "$en_title" "$de_title" "$zh_title" "$zht_title" "$fr_title" | sort -u | wc -l)" -eq 5 ] ||
  fail "locales did not give five different languages: $de_title / $zh_title / $zht_title / $fr_title"
[[ $de_title == Quorvale-Textverarbeitungsprogramm* ]] || fail "German title: $de_title"
[ ! -e "$(unix_path "$PROGRAM_FILES\\Quorvale")" ] || fail "closing the wizard installed something"

# Every language from the box: all captions change with it, the "?" button follows the portable box, and the
# walk through the pages in German and Chinese (the Chinese one installing).
# Controls get their windows when their page first shows: one walk to the Ready page and back first.
steps=("click NextBtn" "wait-page 1" "click NextBtn" "wait-page 2" "click NextBtn" "wait-page 3" "click BackBtn"
  "wait-page 2" "click BackBtn" "wait-page 1" "click BackBtn" "wait-page 0")
for i in 0 1 2 3 4 5 6; do
  steps+=("tag lang$i" "select LngBox $i" state "info PortChkBx" "info PortInfBtn")
  for c in "${CAPTIONED[@]}"; do steps+=("get $c"); done
done
pages() {  # prefix: screenshots of pages 0 to 3, then back to the first page
  echo "shot $1-page0"; echo "click NextBtn"; echo "wait-page 1"; echo "shot $1-page1"; echo "click NextBtn"
  echo "wait-page 2"; echo "shot $1-page2"; echo "click NextBtn"; echo "wait-page 3"; echo "shot $1-page3"
}
mapfile -t de_pages < <(pages de)
mapfile -t zh_pages < <(pages zh)
out=$(LC_ALL=de_AT.UTF-8 drive "run $SETUP_WIN" wait-form "${steps[@]}" "tag" "choose LngBox Deutsch" \
  "${de_pages[@]}" "click BackBtn" "wait-page 2" "click BackBtn" "wait-page 1" "click BackBtn" "wait-page 0" \
  "choose LngBox $ZH" "${zh_pages[@]}" "click BackBtn" "wait-page 2" "settext DestEdt C:\\QV" "click NextBtn" \
  "wait-page 3" "click NextBtn" \
  "wait-page 5" "shot zh-page5" "get FinLbl" "get FinChkBx" "check FinChkBx 0" "click NextBtn" "tag zh" wait-exit)
echo "$out"
declare -A seen widths
for i in 0 1 2 3 4 5 6; do
  caption=$(field "$out" "lang$i state" caption)
  [ -z "${seen[$caption]:-}" ] || fail "languages $i and ${seen[$caption]} share the title $caption"
  seen[$caption]=$i
  for c in "${CAPTIONED[@]}"; do
    text=$(field "$out" "lang$i $c=" "$c")
    [ -n "$text" ] || fail "$c has no caption in language $i"
  done
  left=$(field "$out" "lang$i PortChkBx" left)
  width=$(field "$out" "lang$i PortChkBx" width)
  expect_eq "$(field "$out" "lang$i PortInfBtn" left)" $((left + width)) "\"?\" button after the portable box ($i)"
  widths[$width]=1
done
[ "${#widths[@]}" -ge 3 ] || fail "the portable box kept one width for all languages"
# Captions that every language words differently.
for c in WelLbl StartLbl LicChkBx; do
  [ "$(for i in 0 1 2 3 4 5 6; do field "$out" "lang$i $c=" "$c"; done | sort -u | wc -l)" -eq 7 ] ||
    fail "$c is not re-captioned for every language"
done
for c in FinLbl FinChkBx; do
  LC_ALL=C.UTF-8 grep -qP '[^\x00-\x7F]' <<<"$(field "$out" "$c" "$c")" || fail "$c is not in Chinese"
done
expect_eq "$(field "$out" "zh exit" exit)" 0 "exit code of the Chinese installation"
expect_file 'C:\QV\qvw.exe'

# A reinstallation starts in the remembered language (Chinese, whatever the locale) and never shows the
# licence page: Next on the welcome page goes to the destination, Back there goes to the welcome page.
out=$(drive "run $SETUP_WIN" wait-form "tag start" state "choose LngBox Deutsch" "tag next" "click NextBtn" \
  "wait-page 2" state "tag back" "click BackBtn" "wait-page 0" state "click NextBtn" "wait-page 2" \
  "click NextBtn" "wait-page 3" "click NextBtn" "wait-page 5" "shot de-page5" "check FinChkBx 1" "click NextBtn" \
  "tag end" wait-exit qvw)
echo "$out"
expect_eq "$(field "$out" "start state" caption)" "$zh_title" "remembered language"
expect_eq "$(field "$out" "next state" page)" 2 "Next on the welcome page of a reinstallation"
expect_eq "$(field "$out" "back state" page)" 0 "Back on the destination page of a reinstallation"
expect_eq "$(field "$out" "next state" caption)" "$de_title" "chosen language"
expect_eq "$(field "$out" "end exit" exit)" 0 "exit code of the reinstallation"
expect_eq "$(reg_data HKCU "$INSTALL_KEY" UILANG)" "de" "remembered language after the reinstallation"
# Finish started the program in the wizard's language ("-uilp de"): its window is titled in German.
expect_eq "$(field "$out" "end qvw" title)" "Unbenannt - Quorvale Word Processor" "started program's language"

# The Installing page in German and Chinese, held on screen by the box about a file that cannot be written.
mkdir -p "$(unix_path 'C:\Blocked\qvw.exe')"
# The word processor that Finish started would stop the installation first.
stop_prefix_programs
for lang in de zh; do
  name=Deutsch title=$de_title
  [ "$lang" = zh ] && name=$ZH title=$zh_title
  out=$(drive "run $SETUP_WIN \"/DC:\\Blocked\"" wait-form "choose LngBox $name" "next-until 3" "click NextBtn" \
    "tag box" box state "shot $lang-page4" "answer 3" wait-exit)
  echo "$out"
  expect_eq "$(field "$out" "box state" page)" 4 "page behind the box ($lang)"
  expect_eq "$(field "$out" "box state" caption)" "$title" "window title on the Installing page ($lang)"
done
echo "PASS [$TEST_NAME]"
