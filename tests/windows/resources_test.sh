#!/bin/bash
# What Windows Explorer and the loader read from the Windows programs, read back from the
# built .exe files with windres: icon group 128 with its 32 x 32 and 16 x 16 images, the
# version block of res/ with every string (another program's names for wobblegen-cli), and
# the manifest's settings. Usage: resources_test.sh WINDRES VERSION_H PROGRAM.exe...
set -euo pipefail
windres=$1
version_h=$2
shift 2
failures=0
passed=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

define() { sed -n "s/^#define $1 \(.*\)\$/\1/p" "$version_h"; }
file_version=$(define WOBBLEGEN_FILE_VERSION)
product_version=$(define WOBBLEGEN_PRODUCT_VERSION)
file_version_text=$(define WOBBLEGEN_FILE_VERSION_TEXT)
product_version_text=$(define WOBBLEGEN_PRODUCT_VERSION_TEXT)
[ -n "$file_version" ] && [ -n "$product_version_text" ] || fail "no version in $version_h"

for exe in "$@"; do
    name=$(basename "$exe" .exe)
    echo "$name.exe"
    before=$failures
    rc=$("$windres" -i "$exe" -J coff -O rc 2>&1) || fail "$name: windres cannot read it"
    has() { grep -qF -- "$1" <<<"$rc" || fail "$name: no '$1'"; }

    # Icon group 128: two 32-bit images, 32 x 32 then 16 x 16.
    has '128 14 /* RT_GROUP_ICON */'
    has '"\040\040\000\000", 1, 32,'
    has '"\020\020\000\000", 1, 32,'

    has "FILEVERSION $file_version"
    has "PRODUCTVERSION $product_version"
    has 'FILETYPE 0x1'
    has 'BLOCK "040904B0"'
    has 'VALUE "Translation", 0x409, 1200'
    if [ "$name" = wobblegen ]; then
        description='wobblegen MFC Application'
        original='wobblegen.EXE'
    elif [ "$name" = wobblemeter ]; then
        description='Wow and flutter meter'
        original="$name.exe"
    elif [ "$name" = wobblemeter-gui ]; then
        description='Wow and Flutter Meter'
        original="$name.exe"
    else
        description='wobblegen command-line tool'
        original="$name.exe"
    fi
    for value in \
        '"CompanyName", ""' \
        "\"FileDescription\", \"$description\"" \
        "\"FileVersion\", $file_version_text" \
        "\"InternalName\", \"$name\"" \
        '"LegalCopyright", "Copyright (C) 2026 the wobblegen developers"' \
        '"LegalTrademarks", ""' \
        "\"OriginalFilename\", \"$original\"" \
        '"ProductName", "wobblegen Application"' \
        "\"ProductVersion\", $product_version_text"; do
        has "VALUE $value"
    done

    # The manifest: visual styles, DPI awareness, UTF-8, the user's rights.
    has '1 24 /* RT_MANIFEST */'
    has 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""'
    has 'PerMonitorV2'
    has '>UTF-8</activeCodePage>'
    has 'level=""asInvoker""'
    [ "$failures" -eq "$before" ] && passed=$((passed + 1))
done
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
