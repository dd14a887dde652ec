#!/bin/bash
# What `cmake --install` puts in place for the meter's window: the program, its desktop entry
# "Wow and Flutter Meter", its icon at 32 x 32 and scalable, its man page.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d /tmp/wobblemeter-gui-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$1" --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/wobblemeter-gui" ] || fail "bin/wobblemeter-gui missing"
"$prefix/bin/wobblemeter-gui" --version | grep -q '^wobblemeter-gui version 1\.0' ||
    fail "wobblemeter-gui --version"

entry="$prefix/share/applications/wobblemeter-gui.desktop"
[ -f "$entry" ] || fail "no desktop entry"
for line in 'Name=Wow and Flutter Meter' 'Exec=wobblemeter-gui %f' 'Icon=wobblemeter-gui' \
    'Categories=AudioVideo;Audio;' 'Type=Application'; do
    grep -qxF "$line" "$entry" || fail "the desktop entry lacks $line"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "the desktop entry is not valid"
fi

icon="$prefix/share/icons/hicolor/32x32/apps/wobblemeter-gui.png"
[ -f "$icon" ] || fail "no 32 x 32 icon"
# PNG signature, then IHDR with width 32 and height 32.
header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
[ "$header" = "89504e470d0a1a0a0000000d4948445200000020""00000020" ] || fail "not a 32 x 32 PNG: $header"
svg="$prefix/share/icons/hicolor/scalable/apps/wobblemeter-gui.svg"
[ -f "$svg" ] || fail "no scalable icon"
python3 -c 'import sys, xml.etree.ElementTree as tree
root = tree.parse(sys.argv[1]).getroot()
sys.exit(root.tag != "{http://www.w3.org/2000/svg}svg" or root.get("viewBox") != "0 0 32 32")' \
    "$svg" || fail "the scalable icon is no SVG of 32 x 32"
if command -v identify >/dev/null; then
    [ "$(identify -format '%w %h' "$icon" 2>&1)" = "32 32" ] || fail "the icon does not decode"
fi

page="$prefix/share/man/man1/wobblemeter-gui.1.gz"
[ -f "$page" ] || fail "no man page"
zcat "$page" | grep -q '^\.TH WOBBLEMETER-GUI 1' || fail "not the man page of wobblemeter-gui"
echo "1 passed, 0 failed"
