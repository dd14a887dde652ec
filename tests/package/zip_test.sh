#!/bin/bash
# The Windows zip: the programs and the README and the licence as Windows text, in one folder
# named as the zip; the programs inside run (under Wine, in the Windows build's prefix, whose
# session ends with the test). Usage: zip_test.sh wobblegen-VERSION-win64.zip WINEDIR
set -euo pipefail
zip=$(realpath "$1")
winedir=$2
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/wobblegen-zip-XXXXXX)
trap '"$here/windows/wine_session.sh" "$winedir" stop; rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

top=$(basename "$zip" .zip)
unzip -Z1 "$zip" | grep -v '/$' | sort >"$work/list"
printf '%s\n' "$top/LICENSE.txt" "$top/README.txt" "$top/wobblegen-cli.exe" "$top/wobblegen.exe" \
    "$top/wobblemeter.exe" "$top/wobblemeter-gui.exe" |
    sort | diff - "$work/list" || fail "the zip holds other files"
unzip -q "$zip" -d "$work"
for text in README.txt LICENSE.txt; do
    grep -qv $'\r$' "$work/$top/$text" && fail "$text has lines without CR LF"
done
grep -q 'GNU GENERAL PUBLIC LICENSE' "$work/$top/LICENSE.txt" || fail "LICENSE.txt is no GPL"
grep -q '^# wobblegen' "$work/$top/README.txt" || fail "README.txt"
# Needs no DLL beside it: only the system's (the meter's audio: ole32 and winmm; the window's
# dialogs and dropped files: comdlg32 and shell32).
for exe in wobblegen.exe wobblegen-cli.exe wobblemeter.exe wobblemeter-gui.exe; do
    x86_64-w64-mingw32-objdump -p "$work/$top/$exe" | sed -n 's/^\tDLL Name: //p' |
        grep -viE '^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|msvcrt|advapi32|ole32|winmm)\.dll$' &&
        fail "$exe needs a DLL beside it"
done
version=$("$here/windows/wine_run.sh" "$winedir" "$work/$top/wobblegen-cli.exe" --version | tr -d '\r')
grep -q '^wobblegen-cli version 1\.0' <<<"$version" || fail "wobblegen-cli.exe --version: $version"
version=$("$here/windows/wine_run.sh" "$winedir" "$work/$top/wobblemeter.exe" --version | tr -d '\r')
grep -q '^wobblemeter version 1\.0' <<<"$version" || fail "wobblemeter.exe --version: $version"
echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
[ "$failures" -eq 0 ]
