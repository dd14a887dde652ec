#!/bin/bash
# End to end, wobblemeter-gui.exe under Wine on an Xvfb of its own, driven with xdotool: a wrong
# command line is refused on standard error with status 2 and --help printed; a file given on
# the command line is measured and its readings exported (Ctrl+J and the Save dialog) as the
# Linux wobblemeter --json writes them (every figure within 1e-6 relative); live from a
# PulseAudio null sink's monitor (a daemon of the test's own), logged to CSV from Start (F5) to
# Stop (Shift+F5), a tone played into the sink reads as its file (within 1 %); Ctrl+Q closes the
# window with status 0 and the platter given is remembered in %APPDATA%\wobblegen\.
# The test has a Wine prefix and session of its own (Wine binds a session to the display it
# starts on); the session, the Xvfb and the daemon are stopped however the test goes.
# Usage: meter_gui_end_to_end.sh WINEDIR WOBBLEMETER_GUI_EXE LINUX_WOBBLEMETER LINUX_WOBBLEGEN_CLI
set -uo pipefail

mkdir -p "$1/home"
winedir=$(cd "$1" && pwd)
gui=$(realpath "$2")
meter=$(realpath "$3")
generator=$(realpath "$4")
title='Wow and Flutter Meter'
timeout_s=30

work=$(mktemp -d /tmp/wobblemeter-wine-gui-XXXXXX)
pids=()
app_pid=""
wine_started=false
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    $wine_started && wobblegen_wine_stop
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    for f in "$work"/*/gui.err; do
        [ -s "$f" ] && { echo "--- $f:" >&2; cat "$f" >&2; }
    done
    if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
        import -window root "$winedir/meter-gui-failure.png" 2>/dev/null &&
            echo "screen at the failure: $winedir/meter-gui-failure.png" >&2
    fi
    exit 1
}

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t "$timeout_s" -u 3 number || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
exec 3<&-
export DISPLAY=":$number"

# shellcheck source=tests/windows/pulse_env.sh
. "$(dirname "$0")/pulse_env.sh"
started=0
wobblegen_pulse_start "$work/pulse" wobbletest || started=$?
pids+=("$wobblegen_pulse_pid")
[ "$started" -eq 0 ] || fail "no PulseAudio daemon"

# shellcheck source=tests/windows/wine_env.sh
. "$(dirname "$0")/wine_env.sh" "$winedir"
wine_started=true
wobblegen_wine_prefix || fail "no Wine prefix"
wobblegen_wine_server
source "$(dirname "${BASH_SOURCE[0]}")/../x_windows.sh"

# Starts the window in directory $1 with the rest as its command line; sets app_pid and window.
start_gui() {
    local dir=$1
    shift
    mkdir -p "$dir"
    (cd "$dir" && exec "$WOBBLEGEN_WINE" "$gui" "$@" >gui.out 2>gui.err) &
    app_pid=$!
    window=$(wait_window "^$title\$") || exit 1
}

keys() {
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key "$@"
}

# save_as KEYS DIALOG: presses KEYS until a file dialog named DIALOG opens (an export is refused
# until there is something to export), and takes the name it suggests (beside the file
# measured, or in the window's folder for a live session) with Enter.
save_as() {
    local deadline=$((SECONDS + timeout_s)) dialog=""
    while [ -z "$dialog" ]; do
        [ $SECONDS -lt $deadline ] || fail "$1 opened no dialog '$2' within ${timeout_s}s"
        keys "$1"
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            dialog=$(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -n 1)
            [ -n "$dialog" ] && break
            sleep 0.2
        done
    done
    xdotool windowactivate --sync "$dialog" 2>/dev/null || xdotool windowfocus --sync "$dialog"
    sleep 1
    xdotool key Return
    wait_window_gone "^$2\$"
}

# wait_file DIR PATTERN: waits for a file matching PATTERN in DIR; prints its path.
wait_file() {
    local deadline=$((SECONDS + timeout_s)) found=""
    until [ -n "$found" ] && [ -s "$found" ]; do
        [ $SECONDS -lt $deadline ] || fail "no $2 written in $1: $(ls "$1")"
        sleep 0.1
        found=$(find "$1" -maxdepth 1 -name "$2" | head -n 1)
    done
    echo "$found"
}

wait_exit() {
    local deadline=$((SECONDS + 20)) status=0
    while kill -0 "$app_pid" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "$1: the window did not close"
        sleep 0.1
    done
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq 0 ] || fail "$1: exit status $status"
}

# Every number of the second JSON within $3 (relative) of the first's, every other value equal.
same_json() {
    python3 - "$@" <<'EOF'
import json, sys
expected, got = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:3])
tolerance = float(sys.argv[3])
bad = []
def walk(a, b, where):
    if isinstance(a, dict) and isinstance(b, dict):
        if a.keys() != b.keys():
            bad.append(f"{where}: keys {sorted(a)} against {sorted(b)}")
        for key in a.keys() & b.keys():
            walk(a[key], b[key], f"{where}.{key}")
    elif isinstance(a, list) and isinstance(b, list) and len(a) == len(b):
        for i, (x, y) in enumerate(zip(a, b)):
            walk(x, y, f"{where}[{i}]")
    elif (isinstance(a, (int, float)) and isinstance(b, (int, float)) and
          not isinstance(a, bool) and not isinstance(b, bool)):
        if abs(a - b) > tolerance * max(abs(a), abs(b)):
            bad.append(f"{where}: {b} against {a}")
    elif a != b:
        bad.append(f"{where}: {b!r} against {a!r}")
walk(expected, got, "")
if bad:
    sys.exit("\n".join(bad[:20]))
EOF
}

# The settings of an earlier run of the prefix forgotten: the file is read with no platter.
find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/wobblegen/wobblemeter-gui.conf' -delete

echo "A wrong option: one line on standard error, status 2; --help on standard output"
mkdir -p "$work/usage"
status=0
(cd "$work/usage" && "$WOBBLEGEN_WINE" "$gui" --no-such-option >out.txt 2>err.txt) || status=$?
[ "$status" -eq 2 ] || fail "a wrong option: status $status"
tr -d '\r' <"$work/usage/err.txt" | grep -q "^wobblemeter-gui: .*--no-such-option.*(see --help)\$" ||
    fail "a wrong option: $(cat "$work/usage/err.txt")"
status=0
(cd "$work/usage" && "$WOBBLEGEN_WINE" "$gui" --help >help.txt 2>err.txt) || status=$?
[ "$status" -eq 0 ] && grep -q -- "--rpm" "$work/usage/help.txt" ||
    fail "--help: status $status: $(cat "$work/usage/help.txt" "$work/usage/err.txt")"

echo "A file given on the command line: its readings exported as wobblemeter --json writes them"
mkdir -p "$work/file"
"$generator" --center 3160 --level 0.1 --duration 20 -o "$work/file/take.wav" >/dev/null ||
    fail "wobblegen-cli"
(cd "$work/file" && "$meter" --json take.wav >cli.json) || fail "wobblemeter --json"
start_gui "$work/file" take.wav
save_as ctrl+j "Export the readings"
exported=$(wait_file "$work/file" take.json) || exit 1
same_json "$work/file/cli.json" "$exported" 1e-6 ||
    fail "the window's readings of the file differ"
keys ctrl+q
wait_exit "Ctrl+Q"

echo "Live from the sink's monitor, logged from Start to Stop: the tone's file's readings"
"$generator" --duration 20 -o "$work/tone.wav" >/dev/null || fail "wobblegen-cli"
"$meter" --json "$work/tone.wav" >"$work/tone.json" || fail "wobblemeter --json"
start_gui "$work/live" --rpm 45
save_as ctrl+shift+l "Log every second to"
keys F5
sleep 2 # the session running before the tone starts
paplay -d wobbletest "$work/tone.wav" 2>/dev/null &
pids+=($!)
sleep 16
keys shift+F5
save_as ctrl+j "Export the readings"
exported=$(wait_file "$work/live" 'wobblemeter-*.json') || exit 1
python3 - "$work/tone.json" "$exported" <<'EOF' || fail "live: the figures are not the file's"
import json, sys
file, live = (json.load(open(name, encoding="utf-8")) for name in sys.argv[1:3])
errors = []
for key, tolerance in [("carrier_hz", 1e-4), ("weighted_peak_percent", 0.01),
                       ("unweighted_peak_percent", 0.01), ("weighted_rms_percent", 0.01)]:
    a, b = file[key], live.get(key)
    if b is None or abs(b - a) > tolerance * abs(a):
        errors.append(f"{key}: live {b}, file {a}")
if errors:
    sys.exit("\n".join(errors))
EOF
log=$(wait_file "$work/live" 'wobblemeter-*.csv') || exit 1
rows=$(tr -d '\r' <"$log" | grep -c '^ *[0-9]')
[ "$(head -c 9 "$log")" = "time (s)," ] && [ "$rows" -ge 10 ] ||
    fail "the log holds $rows seconds: $(head -c 300 "$log")"
keys ctrl+q
wait_exit "Ctrl+Q after a live session"
# %APPDATA% of Wine's user, whatever the user's name.
settings=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/wobblegen/wobblemeter-gui.conf' |
    head -n 1)
grep -qx "platter_rpm=45" "$settings" 2>/dev/null ||
    fail "the platter is not remembered in $settings: $(cat "$settings" 2>&1)"

echo "3 passed, 0 failed"
