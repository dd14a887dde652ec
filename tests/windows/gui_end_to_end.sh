#!/bin/bash
# End-to-end test of wobblegen.exe under Wine: the real Win32 dialog on an Xvfb of its own,
# driven with xdotool. Enter writes the default file, Escape writes nothing, a field that does
# not parse brings the system's message box and keeps the dialog, the system menu (Alt+Space)
# ends in the entry that opens the About box, and the window has both icons.
# The test has a Wine prefix and session of its own (Wine binds a session to the display it
# starts on) and ends both, and the Xvfb, however it goes.
# Usage: gui_end_to_end.sh WINEDIR WOBBLEGEN_EXE WOBBLEGEN_CLI_EXE
set -euo pipefail

mkdir -p "$1/home"
winedir=$(cd "$1" && pwd)
gui=$(realpath "$2")
cli=$(realpath "$3")
caption='Wow and Flutter generator'
timeout_s=30

work=$(mktemp -d /tmp/wobblegen-wine-gui-XXXXXX)
xvfb_pid=""
app_pid=""
wine_started=false
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    $wine_started && wobblegen_wine_stop
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for f in "$work"/*/stderr.txt; do
        [ -s "$f" ] && { echo "--- $f:" >&2; cat "$f" >&2; }
    done
    if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
        import -window root "$work/failure.png" 2>/dev/null &&
            cp "$work/failure.png" "$winedir/gui-failure.png" &&
            echo "screen at the failure: $winedir/gui-failure.png" >&2
    fi
    exit 1
}

# Xvfb picks a free display number itself and writes it to the pipe.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t "$timeout_s" -u 3 number || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
exec 3<&-
export DISPLAY=":$number"

# shellcheck source=tests/windows/wine_env.sh
. "$(dirname "$0")/wine_env.sh" "$winedir"
wine_started=true
wobblegen_wine_prefix || fail "no Wine prefix"
wobblegen_wine_server

# The waiting for windows, shared with the other desktop end-to-end tests.
source "$(dirname "${BASH_SOURCE[0]}")/../x_windows.sh"

# Waits for a visible window that is not among the ids in $1 (a menu has no name).
wait_new_window() {
    local deadline=$((SECONDS + timeout_s))
    while [ $SECONDS -lt $deadline ]; do
        [ -n "$(comm -13 <(echo "$1") <(visible_windows))" ] && return 0
        sleep 0.1
    done
    fail "no pop-up window within ${timeout_s}s"
}

# Starts wobblegen.exe in directory $1 with its output in $1/stdout.txt; sets app_pid and
# dialog. Wine's loader becomes the Windows process: its pid and exit status are the program's.
start_gui() {
    (cd "$1" && exec "$WOBBLEGEN_WINE" "$gui" >stdout.txt 2>stderr.txt) &
    app_pid=$!
    dialog=$(wait_window "^${caption}\$")
}

expect_exit() {
    local deadline=$((SECONDS + 60)) status=0
    while kill -0 "$app_pid" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "wobblegen.exe did not end"
        sleep 0.1
    done
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

# Keys go to the window that has the focus; Wine gives it to the dialog it shows.
focus() { xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"; }

# The command-line tool's default file and output, to compare against.
mkdir "$work/cli"
(cd "$work/cli" && "$WOBBLEGEN_WINE" "$cli" >stdout.txt 2>stderr.txt) || fail "wobblegen-cli.exe failed"
[ "$(md5sum <"$work/cli/test.wav" | cut -d' ' -f1)" = f381080cbdf77566deea73bb5ada1bf2 ] ||
    fail "wobblegen-cli.exe wrote another default file"

echo "Enter writes the default file and ends the program"
mkdir "$work/enter"
start_gui "$work/enter"
focus "$dialog"
xdotool key Return
expect_exit 0
cmp "$work/enter/test.wav" "$work/cli/test.wav" || fail "test.wav differs from wobblegen-cli's"
diff "$work/cli/stdout.txt" "$work/enter/stdout.txt" || fail "standard output differs"

echo "Escape writes nothing"
mkdir "$work/escape"
start_gui "$work/escape"
focus "$dialog"
xdotool key Escape
expect_exit 0
[ ! -e "$work/escape/test.wav" ] || fail "Escape wrote test.wav"
[ ! -s "$work/escape/stdout.txt" ] || fail "Escape printed: $(cat "$work/escape/stdout.txt")"

echo "A letter in Duration brings the message box, keeps the dialog and writes nothing"
mkdir "$work/letter"
start_gui "$work/letter"
focus "$dialog"
# Tab order: OK, Cancel, Sample Rate, Mod. Frequency, Level, File Name, Center Frequency,
# Duration; the dialog manager selects a field's text when Tab reaches it.
xdotool key Tab Tab Tab Tab Tab Tab Tab
xdotool type x
xdotool key Return
box=$(wait_window '^wobblegen$')
[ ! -e "$work/letter/test.wav" ] || fail "a failed exchange wrote test.wav"
focus "$box"
xdotool key Return
wait_window_gone '^wobblegen$'
kill -0 "$app_pid" || fail "the dialog closed after the message"
dialog=$(wait_window "^${caption}\$")
# Duration has the focus with its text selected: a digit replaces it, and 1 s at 44100 Hz
# is 44 bytes of header and 44100 16-bit samples.
focus "$dialog"
xdotool type 1
xdotool key Return
expect_exit 0
size=$(stat -c %s "$work/letter/test.wav" 2>/dev/null || echo none)
[ "$size" = 88244 ] || fail "test.wav after correcting Duration to 1 has $size bytes, not 88244"

echo "Alt+Space opens the system menu; its last entry opens the About box"
mkdir "$work/about"
start_gui "$work/about"
# The icons the dialog sets with WM_SETICON, as Wine hands them to X.
xprop -id "$dialog" _NET_WM_ICON | grep -q 'Icon (32 x 32)' || fail "no 32 x 32 window icon"
xprop -id "$dialog" _NET_WM_ICON | grep -q 'Icon (16 x 16)' || fail "no 16 x 16 window icon"
focus "$dialog"
before=$(visible_windows)
xdotool key alt+space
wait_new_window "$before"
# Up from the first entry wraps to the last: ours, below Wine's own "About Wine".
xdotool key Up Return
about=$(wait_window '^About wobblegen$')
focus "$about"
xdotool key Return
wait_window_gone '^About wobblegen$'
kill -0 "$app_pid" || fail "the dialog closed with the About box"
focus "$dialog"
xdotool key Return  # the unchanged defaults write the default file
expect_exit 0
cmp "$work/about/test.wav" "$work/cli/test.wav" || fail "fields changed by the About box"

echo "4 passed, 0 failed"
