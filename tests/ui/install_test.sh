#!/bin/bash
# Checks what `cmake --install` puts in place for the desktop: both programs, the desktop
# entry and its 32 x 32 PNG icon in the hicolor theme. Usage: install_test.sh BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d /tmp/wobblegen-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$1" --prefix "$prefix" >/dev/null
for program in wobblegen wobblegen-cli; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program missing"
done
"$prefix/bin/wobblegen-cli" --version | grep -q 'version 1\.0' || fail "wobblegen-cli --version"

entry="$prefix/share/applications/wobblegen.desktop"
[ -f "$entry" ] || fail "no desktop entry"
grep -qx 'Exec=wobblegen' "$entry" || fail "desktop entry does not run wobblegen"
grep -qx 'Icon=wobblegen' "$entry" || fail "desktop entry names another icon"

icon="$prefix/share/icons/hicolor/32x32/apps/wobblegen.png"
[ -f "$icon" ] || fail "no 32 x 32 icon"
# PNG signature, then IHDR with width 32 and height 32.
header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
[ "$header" = "89504e470d0a1a0a0000000d4948445200000020""00000020" ] || fail "not a 32 x 32 PNG: $header"
if command -v identify >/dev/null; then
    [ "$(identify -format '%w %h' "$icon" 2>&1)" = "32 32" ] || fail "the icon does not decode"
fi
echo "1 passed, 0 failed"
