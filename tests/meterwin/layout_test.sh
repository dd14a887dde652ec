#!/bin/bash
# The real window's layout under an Xvfb of its own: at its minimum size, its default size and
# 1280 x 900 no two widgets overlap (the labels beside them counted) and the status line fits,
# its last words kept (wobblemeter-gui-layout-check); and in the menus, opened with xdotool and
# captured, every shortcut stands clear of its label. Xvfb is stopped by its id whatever happens.
# Usage: layout_test.sh WOBBLEMETER_GUI LAYOUT_CHECK WOBBLEGEN_CLI
set -uo pipefail

gui=$(realpath "$1")
check=$(realpath "$2")
generator=$(realpath "$3")
title='Wow and Flutter Meter'
timeout_s=30

work=$(mktemp -d /tmp/wobblemeter-gui-layout-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1400x1000x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t "$timeout_s" -u 3 number || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
exec 3<&-
export DISPLAY=":$number" HOME="$work/home" XDG_CONFIG_HOME="$work/config"
export ASAN_OPTIONS=detect_leaks=0
mkdir -p "$HOME"

"$generator" --center 3158 --level 0.08 --mod 3.3 --duration 20 -o "$work/take.wav" >/dev/null ||
    fail "wobblegen-cli"
"$check" "$work/take.wav" minimum default 1280x900 >"$work/check.out" 2>&1 ||
    fail "the layout: $(cat "$work/check.out")"
echo "the layout at the minimum and default sizes and 1280x900: $(tail -n 1 "$work/check.out")"

source "$(dirname "${BASH_SOURCE[0]}")/../x_windows.sh"
(cd "$work" && exec "$gui" take.wav) >"$work/gui.out" 2>&1 &
pids+=($!)
window=$(wait_window "^$title\$") || exit 1
xdotool windowmove "$window" 0 0
sleep 1

# Each menu opened and captured, its rows read as grey levels: in every row of text, the
# shortcut at the right end (no gap of 5 pixels inside it, at most 120 wide) stands 10 pixels
# or more clear of the label.
before=$(visible_windows)
for menu in f m e; do
    xdotool windowfocus --sync "$window"
    xdotool key "alt+$menu"
    # FLTK opens two windows: the menu's title and, the larger, its items.
    sleep 0.7
    popup="" size="" largest=0
    for id in $(comm -13 <(echo "$before") <(visible_windows)); do
        read -r w h < <(xwininfo -id "$id" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w, h}')
        if [ $((w * h)) -gt "$largest" ]; then
            popup=$id size="$w $h" largest=$((w * h))
        fi
    done
    [ -n "$popup" ] || fail "the menu alt+$menu did not open"
    import -window "$popup" -colorspace gray -depth 8 "gray:$work/menu.gray" ||
        fail "no capture of the menu alt+$menu"
    xdotool key Escape
    sleep 0.3
    python3 - "$work/menu.gray" "$menu" $size <<'PY' || fail "the menu alt+$menu"
import sys
width, height = int(sys.argv[3]), int(sys.argv[4])
pixels = open(sys.argv[1], "rb").read()
# Ink: what differs from the menu's ground (its commonest grey), greyed items too; the frame's
# 3 pixels at either side left out.
ground = max(set(pixels), key=pixels.count)
edge = 3
dark = [[edge <= x < width - edge and abs(pixels[y * width + x] - ground) > 40
         for x in range(width)] for y in range(height)]
bands, start = [], None
for y in range(height + 1):
    inked = y < height and any(dark[y])
    if inked and start is None:
        start = y
    elif not inked and start is not None:
        bands.append((start, y))
        start = None
checked = 0
for top, bottom in bands:
    if bottom - top < 6:
        continue  # a divider or the menu's frame
    columns = [x for x in range(width) if any(dark[y][x] for y in range(top, bottom))]
    runs, run = [], [columns[0], columns[0]]
    for x in columns[1:]:
        if x - run[1] > 1:
            runs.append(run)
            run = [x, x]
        else:
            run[1] = x
    runs.append(run)
    text = runs
    if len(text) < 2:
        continue
    # The shortcut: runs from the right while the gaps between them stay under 5 pixels.
    i = len(text) - 1
    while i > 0 and text[i][0] - text[i - 1][1] - 1 < 5:
        i -= 1
    if i == 0:
        sys.exit(f"rows {top}-{bottom}: no gap between the label and the shortcut")
    gap = text[i][0] - text[i - 1][1] - 1
    shortcut = text[-1][1] - text[i][0] + 1
    if gap < 10 or shortcut > 120:
        sys.exit(f"rows {top}-{bottom}: the shortcut {shortcut} px wide, {gap} px from its label")
    checked += 1
if checked == 0:
    sys.exit("no row of text with a shortcut")
print(f"menu alt+{sys.argv[2]}: {checked} rows, each shortcut clear of its label")
PY
done
