#!/bin/bash
# End-to-end test of the desktop program: runs the real wobblegen under X (its own Xvfb, or
# the display in DISPLAY where Xvfb is missing), drives it with xdotool and checks the files
# and output it leaves.
# Usage: end_to_end.sh WOBBLEGEN WOBBLEGEN_CLI
set -euo pipefail

gui=$(realpath "$1")
cli=$(realpath "$2")
caption='Wow and Flutter generator'
timeout_s=30

work=$(mktemp -d /tmp/wobblegen-e2e-XXXXXX)
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for f in "$work"/*/stderr.txt; do
        [ -s "$f" ] && { echo "--- $f:" >&2; cat "$f" >&2; }
    done
    exit 1
}

# Without any display: one line on standard error that names the program, and status 1.
status=0
env -u DISPLAY "$gui" >"$work/no-display.out" 2>"$work/no-display.err" || status=$?
[ "$status" -eq 1 ] || fail "without a display: status $status"
[ "$(wc -l <"$work/no-display.err")" -eq 1 ] &&
    grep -q "^wobblegen: Can't open display" "$work/no-display.err" ||
    fail "without a display: $(cat "$work/no-display.err")"

# A display of its own whenever Xvfb is there: a desktop's window manager would take keys
# such as Alt+Space. Xvfb picks a free display number itself and writes it to the pipe.
if command -v Xvfb >/dev/null || [ -z "${DISPLAY:-}" ]; then
    exec 3<> <(:)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    read -r -t "$timeout_s" -u 3 number || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    exec 3<&-
    export DISPLAY=":$number"
fi

# The waiting for windows, shared with the other desktop end-to-end tests.
source "$(dirname "${BASH_SOURCE[0]}")/../x_windows.sh"

# Waits until a window that was not among the given ids appears (mode "new") or until none
# is left (mode "gone"); a pop-up menu has no name.
wait_popup() {
    local before=$1 mode=$2 deadline=$((SECONDS + timeout_s)) extra
    while [ $SECONDS -lt $deadline ]; do
        extra=$(comm -13 <(echo "$before") <(visible_windows))
        if [ "$mode" = new ] && [ -n "$extra" ]; then return 0; fi
        if [ "$mode" = gone ] && [ -z "$extra" ]; then return 0; fi
        sleep 0.1
    done
    if [ "$mode" = new ]; then fail "no pop-up window within ${timeout_s}s"; fi
    fail "pop-up window still there after ${timeout_s}s"
}
wait_new_window() { wait_popup "$1" new; }
wait_no_new_window() { wait_popup "$1" gone; }

# Starts wobblegen in directory $1 with its output in $1/stdout.txt, or in $2 when given;
# sets app_pid and dialog.
start_gui() {
    (cd "$1" && exec "$gui" >"${2:-stdout.txt}" 2>stderr.txt) &
    app_pid=$!
    dialog=$(wait_window "^${caption}\$")
}

# Waits for wobblegen to end; fails unless its status is $1.
expect_exit() {
    local deadline=$((SECONDS + 120)) status=0
    while kill -0 "$app_pid" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "wobblegen did not end"
        sleep 0.1
    done
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

focus() { xdotool windowfocus --sync "$1"; }
window_height() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p'; }

# Checks the window manager hints of window $1 (named $2 in messages) that belongs to the
# dialog: transient for it, no taskbar button, and a close button only (the Motif functions
# all but resize, minimise and maximise: 0x1b).
check_owned_window() {
    xprop -id "$1" WM_TRANSIENT_FOR | grep -q "# $(printf '0x%x' "$dialog")\$" ||
        fail "$2 is not transient for the dialog: $(xprop -id "$1" WM_TRANSIENT_FOR)"
    xprop -id "$1" _NET_WM_STATE | grep -q '_NET_WM_STATE_SKIP_TASKBAR' ||
        fail "$2 would get a taskbar button: $(xprop -id "$1" _NET_WM_STATE)"
    xprop -id "$1" _MOTIF_WM_HINTS | grep -q '= 0x1, 0x1b, ' ||
        fail "$2 offers more than Close: $(xprop -id "$1" _MOTIF_WM_HINTS)"
}

# The command-line tool's default file and output, to compare against.
mkdir "$work/cli"
(cd "$work/cli" && "$cli" -o test.wav >stdout.txt)

echo "Enter writes the default file and ends the program"
mkdir "$work/enter"
start_gui "$work/enter"
focus "$dialog"
xdotool key Return
expect_exit 0
cmp "$work/enter/test.wav" "$work/cli/test.wav" || fail "test.wav differs from wobblegen-cli's"
diff "$work/cli/stdout.txt" "$work/enter/stdout.txt" || fail "standard output differs"

echo "Keypad Enter presses the focused button: Cancel writes nothing, OK the default file"
mkdir "$work/keypad"
start_gui "$work/keypad"
focus "$dialog"
xdotool key Tab KP_Enter
expect_exit 0
[ ! -e "$work/keypad/test.wav" ] || fail "keypad Enter on Cancel wrote test.wav"
[ ! -s "$work/keypad/stdout.txt" ] || fail "keypad Enter on Cancel printed: $(cat "$work/keypad/stdout.txt")"
start_gui "$work/keypad"
focus "$dialog"
xdotool key KP_Enter
expect_exit 0
cmp "$work/keypad/test.wav" "$work/cli/test.wav" || fail "keypad Enter: test.wav differs"

echo "A full standard output: the file is written, the status is 1, standard error says why"
mkdir "$work/full"
start_gui "$work/full" /dev/full
focus "$dialog"
xdotool key Return
expect_exit 1
cmp "$work/full/test.wav" "$work/cli/test.wav" || fail "full standard output: test.wav differs"
expected="Cannot write standard output (No space left on device): the file test.wav itself is complete"
[ "$(cat "$work/full/stderr.txt")" = "$expected" ] ||
    fail "full standard output: standard error was '$(cat "$work/full/stderr.txt")'"

echo "A closed standard output: neither the display nor the file takes its place"
mkdir "$work/closed"
(cd "$work/closed" && exec "$gui" >&- 2>stderr.txt) &
app_pid=$!
dialog=$(wait_window "^${caption}\$")
focus "$dialog"
xdotool key Return
expect_exit 1
cmp "$work/closed/test.wav" "$work/cli/test.wav" || fail "closed standard output: test.wav differs"
expected="Cannot write standard output (it was closed): the file test.wav itself is complete"
[ "$(cat "$work/closed/stderr.txt")" = "$expected" ] ||
    fail "closed standard output: standard error was '$(cat "$work/closed/stderr.txt")'"

echo "Escape writes nothing"
mkdir "$work/escape"
start_gui "$work/escape"
focus "$dialog"
xdotool key Escape
expect_exit 0
[ ! -e "$work/escape/test.wav" ] || fail "Escape wrote test.wav"
[ ! -s "$work/escape/stdout.txt" ] || fail "Escape printed: $(cat "$work/escape/stdout.txt")"

echo "A letter in Duration shows the message, keeps the dialog and writes nothing"
mkdir "$work/letter"
start_gui "$work/letter"
xprop -id "$dialog" _NET_WM_STATE | grep -q SKIP_TASKBAR && fail "the dialog has no taskbar button"
focus "$dialog"
# Tab order: OK, Cancel, Sample Rate, Mod. Frequency, Level, File Name, Center Frequency,
# Duration; a field reached with Tab has its text selected, so typing replaces it.
xdotool key Tab Tab Tab Tab Tab Tab Tab
xdotool type x
xdotool key Return
box=$(wait_window '^wobblegen$')
[ ! -e "$work/letter/test.wav" ] || fail "a failed exchange wrote test.wav"
check_owned_window "$box" "the message box"
# At 96 dpi an 8-point font is 11 px: three margins of that, the 33 px icon beside the one line
# of text and the 24 px OK button.
height=$(window_height "$box")
[ "$height" = 90 ] || fail "message box $height px high, not 90"
# OK has the focus: Space presses it.
focus "$box"
xdotool key space
wait_window_gone '^wobblegen$'
kill -0 "$app_pid" || fail "the dialog closed after the message"
dialog=$(wait_window "^${caption}\$")
[ ! -e "$work/letter/test.wav" ] || fail "a failed exchange wrote test.wav"
# Duration has the focus with its text selected: a digit replaces it, and 1 s at 44100 Hz
# is 44 bytes of header and 44100 16-bit samples.
focus "$dialog"
xdotool type 1
xdotool key Return
expect_exit 0
size=$(stat -c %s "$work/letter/test.wav" 2>/dev/null || echo none)
[ "$size" = 88244 ] || fail "test.wav after correcting Duration to 1 has $size bytes, not 88244"

echo "A long message wraps"
mkdir "$work/long"
start_gui "$work/long"
focus "$dialog"
xdotool key Tab Tab Tab Tab Tab Tab  # Center Frequency
xdotool type 1e300
xdotool key Return
box=$(wait_window '^wobblegen$')
# Text at most 40 font sizes wide (440 px at 8 points and 96 dpi) beside the icon: about
# 512 px, where the message on one line would take some 800.
width=$(xdotool getwindowgeometry "$box" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
[ "$width" -le 520 ] || fail "message box $width px wide"
focus "$box"
xdotool key Return
wait_window_gone '^wobblegen$'
focus "$dialog"
xdotool key Escape
expect_exit 0
[ ! -e "$work/long/test.wav" ] || fail "a rejected value wrote test.wav"

echo "Right click, Menu, Alt+Space and Shift+F10 open the system menu; About opens the About box"
mkdir "$work/about"
start_gui "$work/about"
xprop -id "$dialog" _NET_WM_ICON | grep -q 'Icon (32 x 32)' || fail "no 32 x 32 window icon"
xprop -id "$dialog" _NET_WM_ICON | grep -q 'Icon (16 x 16)' || fail "no 16 x 16 window icon"
focus "$dialog"
before=$(visible_windows)
# A right click on the background opens the menu too; Escape dismisses it.
xdotool mousemove --window "$dialog" 6 6 click 3
wait_new_window "$before"
xdotool key Escape
wait_no_new_window "$before"
kill -0 "$app_pid" || fail "dismissing the menu closed the dialog"
# The Menu key opens it as well.
xdotool key Menu
wait_new_window "$before"
xdotool key Escape
wait_no_new_window "$before"
# Alt+Space, and Shift+F10 for desktops whose window manager keeps Alt+Space.
for keys in alt+space shift+F10; do
    xdotool key "$keys"
    wait_new_window "$before"
    xdotool key a  # the entry's mnemonic: &About wobblegen...
    about=$(wait_window '^About wobblegen$')
    check_owned_window "$about" "the About box"
    if [ "$keys" = alt+space ] && command -v import >/dev/null && command -v convert >/dev/null; then
        # The icon left of the text: its dark oscilloscope screen fills much of the left
        # seventh of the box, where without it there is only the grey background.
        import -window "$about" "$work/about.png"
        dark=$(convert "$work/about.png" -gravity west -crop 14%x100%+0+0 +repage \
            -colorspace gray -threshold 25% -negate -format '%[fx:round(mean*w*h)]' info:)
        [ "$dark" -ge 200 ] || fail "no icon in the About box: $dark dark pixels left of its text"
    fi
    focus "$about"
    xdotool key Return
    wait_window_gone '^About wobblegen$'
    kill -0 "$app_pid" || fail "the dialog closed with the About box opened by $keys"
    focus "$dialog"
done
xdotool key Return  # the unchanged defaults write the default file
expect_exit 0
cmp "$work/about/test.wav" "$work/cli/test.wav" || fail "fields changed by the About box"

echo "The desktop's Xft.dpi scales the dialogs: the same message box twice as high at 192 dpi"
# Only on a display of our own: the resource database is the desktop's.
if [ -n "$xvfb_pid" ]; then
    xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	192"
    mkdir "$work/dpi"
    start_gui "$work/dpi"
    focus "$dialog"
    xdotool key Tab Tab Tab Tab Tab Tab Tab  # Duration
    xdotool type x
    xdotool key Return
    box=$(wait_window '^wobblegen$')
    # A 21 px font: three margins of 21, the 63 px icon, the 44 px button.
    height=$(window_height "$box")
    [ "$height" = 170 ] || fail "message box at 192 dpi $height px high, not 170"
    focus "$box"
    xdotool key Return
    wait_window_gone '^wobblegen$'
    focus "$dialog"
    xdotool key Escape
    expect_exit 0
    xprop -root -remove RESOURCE_MANAGER
fi

echo "9 passed, 0 failed"
