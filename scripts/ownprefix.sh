#!/usr/bin/env bash
# Runs a command in a private copy of the booted Wine prefix, removed afterwards: for tests that write the
# machine-wide registry keys.
# Usage: ownprefix.sh COPY COMMAND...
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
base=$here/build/wineprefix
copy=$1
shift
rm -rf "$copy"
mkdir -p "$copy"
cp -a "$base"/. "$copy"/ || exit 1
export WINEPREFIX=$copy
"$@"
rc=$?
wineserver -k 2>/dev/null
rm -rf "$copy"
exit $rc
