#!/usr/bin/env bash
# Benchmarks that print figures (no pass or fail): the sizes of the shipped programs by section, silent
# installs timed beside a do-nothing GUI program with the same imports (Wine's own start-up, to subtract)
# and beside an NSIS installer of the same payload with the same extras, the time from process start to the
# wizard's first complete paint (and to NSIS's first page), and the logo resampler's time per call.
#   bash scripts/bench.sh [ROUNDS]     (default 11 rounds)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
rounds=${1:-11}
bash scripts/build.sh >/dev/null
command -v makensis >/dev/null || apt-get install -y -qq --no-install-recommends nsis >/dev/null 2>&1 || true
echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(wine --version)"

echo "== sizes (bytes)"
for f in build/win/setup.exe build/win/payload/qvw.exe; do
  printf '%-28s %9d\n' "$(basename "$f")" "$(stat -c %s "$f")"
  i686-w64-mingw32-size -A "$f" | awk 'NR > 2 && $2 > 0 && $1 != "Total" { printf "    %-24s %9d\n", $1, $2 }'
done
printf '%-28s %9d\n' "payload stream (zlib)" "$(stat -c %s build/win/payload.bin)"

# An NSIS installer of the same files with their times, and the same extras: the settings key, the uninstall
# entry, two shortcuts, the shared data folder with its stamp, and a log in the program folder.
nsis=build/nsis
rm -rf "$nsis"
have_nsis=
if command -v makensis >/dev/null; then
  mkdir -p "$nsis/stage/public"
  while IFS=$'\t' read -r when name; do
    case "$when" in '#'*|'') continue ;; esac
    src="payload/files/${name//\\//}"
    [ "$name" = qvw.exe ] && src=build/win/payload/qvw.exe
    case "$name" in qvw.exe|License.txt) dst="$nsis/stage/$name" ;; *) dst="$nsis/stage/public/${name//\\//}" ;; esac
    mkdir -p "$(dirname "$dst")"
    cp "$src" "$dst"
    touch -d "$when" "$dst"
  done <payload/manifest.txt
  cat >"$nsis/setup.nsi" <<'EOF'
Unicode true
SetCompressor /SOLID zlib
Name "Quorvale Word Processor"
!ifndef OUTFILE
!define OUTFILE "nsis-setup.exe"
!endif
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvale"
RequestExecutionLevel admin
!include "MUI2.nsh"
!define MUI_WELCOMEPAGE_TEXT "This program will install Quorvale Word Processor (version 4.4.5.5) on your computer."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "stage\License.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "English"
Section
  SetOutPath "$INSTDIR"
!ifndef NOFILES
  File "stage\qvw.exe"
  File "stage\License.txt"
!endif
  SetShellVarContext all
  SetOverwrite off
  SetOutPath "$APPDATA\Quorvale\Public"
!ifndef NOFILES
  File /r "stage\public\*.*"
!endif
  SetOverwrite on
  CreateDirectory "$APPDATA\Quorvale\Hidden"
  FileOpen $0 "$APPDATA\Quorvale\Hidden\install_stamp" w
  FileWrite $0 "01234567"
  FileClose $0
  CreateShortcut "$SMPROGRAMS\Quorvale Word Processor.lnk" "$INSTDIR\qvw.exe" "" "$INSTDIR\qvw.exe" 0
  CreateShortcut "$DESKTOP\Quorvale Word Processor.lnk" "$INSTDIR\qvw.exe" "" "$INSTDIR\qvw.exe" 0
  SetShellVarContext current
  WriteRegStr HKCU "Software\Quorvale Word Processor\Install" "MAINDIR" "$INSTDIR"
  WriteRegDWORD HKCU "Software\Quorvale Word Processor\Install" "INSTALLTOALL" 1
  WriteRegDWORD HKCU "Software\Quorvale Word Processor\Install" "DSKSHORTCUT" 1
  WriteRegDWORD HKCU "Software\Quorvale Word Processor\Install" "LAUNCH" 1
  WriteRegStr HKCU "Software\Quorvale Word Processor\Install" "UILANG" "en"
  !define UNINST "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvale Word Processor"
  WriteRegStr HKLM "${UNINST}" "DisplayIcon" "$INSTDIR\qvw.exe"
  WriteRegStr HKLM "${UNINST}" "DisplayName" "Quorvale Word Processor"
  WriteRegStr HKLM "${UNINST}" "DisplayVersion" "4.4.5.5"
  WriteRegDWORD HKLM "${UNINST}" "EstimatedSize" 2048
  WriteRegStr HKLM "${UNINST}" "Publisher" "Quorvale"
  WriteRegStr HKLM "${UNINST}" "UninstallString" '"$INSTDIR\qvw.exe" -ui'
  FileOpen $0 "$INSTDIR\Install.log" w
  FileWrite $0 "Installation of Quorvale Word Processor 4.4.5.5$\r$\n"
  FileClose $0
SectionEnd
EOF
  if (cd "$nsis" && makensis -V1 setup.nsi) >/dev/null 2>&1; then
    have_nsis=1
    printf '%-28s %9d\n' "NSIS, same payload and extras" "$(stat -c %s "$nsis/nsis-setup.exe")"
    # Its compressed files: the same installer without them, subtracted.
    (cd "$nsis" && makensis -V1 -DNOFILES -DOUTFILE=empty.exe setup.nsi) >/dev/null 2>&1 &&
      printf '%-28s %9d\n' "NSIS files (solid zlib)" \
        $(($(stat -c %s "$nsis/nsis-setup.exe") - $(stat -c %s "$nsis/empty.exe")))
  else
    echo "(makensis failed; no NSIS rounds)"
  fi
else
  echo "(makensis not installed; no NSIS rounds)"
fi

# Rounds interleave the programs in one private prefix with a warm Wine server. Every install is a first one:
# the shared data folder goes before each.
export WINEPREFIX="$top/build/benchprefix" WINEDEBUG=-all WINEARCH=win32 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
rm -rf "$WINEPREFIX"
cp -a build/wineprefix "$WINEPREFIX"
winpath() { echo "Z:${1//\//\\}"; }
printf 'run %s\nfirstpaint TMainForm 4.4.5.5\nkill\n' "$(winpath "$top/build/win/setup.exe")" >"$WINEPREFIX/paint.txt"
printf 'run %s\nfirstpaint #32770 4.4.5.5\nkill\n' "$(winpath "$top/$nsis/nsis-setup.exe")" >"$WINEPREFIX/nsispaint.txt"
cat >"$WINEPREFIX/rounds.sh" <<EOF
set -e
shared="$WINEPREFIX/drive_c/ProgramData/Quorvale"
wineserver -p 120
wine build/win/plant_control.exe >/dev/null 2>&1 || true  # warm-up
t() { local s=\$(date +%s.%N); "\$@" >/dev/null 2>&1 || true; echo "\$(date +%s.%N) - \$s" | bc; }
paint() { wine build/win/wizdrv.exe "\$1" 'C:\\out.txt' >/dev/null 2>&1 || true
  tr -d '\\r' <"$WINEPREFIX/drive_c/out.txt" | sed -n 's/^firstpaint ms=//p'; rm -f "$WINEPREFIX/drive_c/out.txt"; }
for i in \$(seq 1 $rounds); do
  echo "control \$(t wine build/win/plant_control.exe)"
  rm -rf "\$shared"
  echo "setup \$(t wine build/win/setup.exe /S "/DC:\\\\bench\\\\\$i")"
  if [ -n "$have_nsis" ]; then
    rm -rf "\$shared"
    echo "nsis \$(t wine $nsis/nsis-setup.exe /S "/D=C:\\\\nsis\\\\\$i")"
  fi
  echo "paint \$(paint '$(winpath "$WINEPREFIX/paint.txt")')"
  [ -z "$have_nsis" ] || echo "nsispaint \$(paint '$(winpath "$WINEPREFIX/nsispaint.txt")')"
done
wineserver -k
EOF
results=$(xvfb-run -a -s "-screen 0 1280x1024x24" bash "$WINEPREFIX/rounds.sh")
series() { grep "^$1 " <<<"$results" | cut -d' ' -f2 | grep -v '^$' | sort -n; }
stats() {  # name: median, min and max of that series
  series "$1" | awk '{ v[NR] = $1 } END { if (NR) printf "%.3f (%.3f to %.3f, %d runs)", v[int((NR + 1) / 2)], v[1], v[NR], NR; else printf "no runs" }'
}
median() { series "$1" | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print 0 }'; }
echo "== silent install into a new folder, seconds: median (min to max)"
echo "do-nothing GUI program     $(stats control)"
echo "setup.exe /S               $(stats setup)"
beyond=$(echo "$(median setup) - $(median control)" | bc -l)
printf 'setup.exe beyond start-up  %.3f\n' "$beyond"
if [ -n "$have_nsis" ]; then
  echo "NSIS /S                    $(stats nsis)"
  nbeyond=$(echo "$(median nsis) - $(median control)" | bc -l)
  printf 'NSIS beyond start-up       %.3f\n' "$nbeyond"
  printf 'ratio beyond start-up, setup.exe / NSIS: %.2f\n' "$(echo "$beyond / $nbeyond" | bc -l)"
fi
echo "== process start to the first complete paint of the first page, ms: median (min to max)"
echo "setup.exe wizard (Welcome with its logo)  $(stats paint)"
if [ -n "$have_nsis" ]; then
  echo "NSIS (MUI Welcome)                        $(stats nsispaint)"
fi
rm -rf "$WINEPREFIX"

# Optimised as the program is, in a build folder of its own.
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target bench_resample >/dev/null
echo "== ResampleRows on the 120x260 logo (sharpened, as every paint does)"
build/bench/bench_resample
