#!/bin/bash
# End to end, the real wobblemeter-gui under an Xvfb of its own, driven with xdotool: a wrong
# option is refused before any display is looked for; a file given on the command line is
# measured and its readings and plot (PNG and SVG) exported as wobblemeter writes them, the
# window's class is its desktop entry's, and the bar meter's scale chosen from the menu is
# remembered; live from a PulseAudio null sink's monitor (a daemon of the test's own) a tone
# played into the sink reads as the command-line tool reads its file (within 1 %, the carrier
# within 0.01 %), logged from Start to Stop; closing the window while it logs and records leaves both files whole.
# Xvfb and the daemon are stopped by their ids whatever happens.
# Usage: end_to_end.sh WOBBLEMETER_GUI WOBBLEMETER WOBBLEGEN_CLI
set -uo pipefail

gui=$(realpath "$1")
meter=$(realpath "$2")
generator=$(realpath "$3")
title='Wow and Flutter Meter'
timeout_s=30
rate=44100
sink=wobbletest

work=$(mktemp -d /tmp/wobblemeter-gui-e2e-XXXXXX)
pids=()
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    [ -s "$work/gui.err" ] && { echo "--- the window's stderr:" >&2; cat "$work/gui.err" >&2; }
    exit 1
}

# Without any display: one line on standard error that names the program, and status 1.
status=0
env -u DISPLAY "$gui" >"$work/no-display.out" 2>"$work/no-display.err" || status=$?
[ "$status" -eq 1 ] || fail "without a display: status $status"
[ "$(wc -l <"$work/no-display.err")" -eq 1 ] &&
    grep -q "^wobblemeter-gui: Can't open display" "$work/no-display.err" ||
    fail "without a display: $(cat "$work/no-display.err")"

# A wrong option: one line that names it and status 2, before any display is looked for.
status=0
env -u DISPLAY "$gui" --no-such-option >"$work/usage.out" 2>"$work/usage.err" || status=$?
[ "$status" -eq 2 ] || fail "a wrong option: status $status: $(cat "$work/usage.err")"
[ "$(wc -l <"$work/usage.err")" -eq 1 ] &&
    grep -q "^wobblemeter-gui: .*--no-such-option.*(see --help)\$" "$work/usage.err" ||
    fail "a wrong option: $(cat "$work/usage.err")"

# A platter the meter has no fold for: refused as wobblemeter refuses it, status 2.
status=0
env -u DISPLAY "$gui" --rpm 50 >"$work/rpm.out" 2>"$work/rpm.err" || status=$?
[ "$status" -eq 2 ] || fail "--rpm 50: status $status: $(cat "$work/rpm.err")"
[ "$(wc -l <"$work/rpm.err")" -eq 1 ] && grep -q "^wobblemeter-gui: .*50.*(see --help)\$" "$work/rpm.err" ||
    fail "--rpm 50: $(cat "$work/rpm.err")"

# The test's own display, sound server and settings.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t "$timeout_s" -u 3 number || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
exec 3<&-
export DISPLAY=":$number"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
export PULSE_CLIENTCONFIG="$work/client.conf" PULSE_SOURCE="$sink.monitor" JACK_NO_START_SERVER=1
unset PULSE_SERVER ALSA_CONFIG_PATH
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/cwd"
chmod 700 "$XDG_RUNTIME_DIR"
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
# Leaks are not looked for in a window program's toolkit and audio libraries.
export ASAN_OPTIONS=detect_leaks=0

# The waiting for windows, shared with the other desktop end-to-end tests.
source "$(dirname "${BASH_SOURCE[0]}")/../x_windows.sh"

# Starts the window (arguments: its command line) in a directory of its own.
start_gui() {
    (cd "$work/cwd" && exec "$gui" "$@") >"$work/gui.out" 2>"$work/gui.err" &
    app_pid=$!
    window=$(wait_window "^$title\$") || exit 1
    xdotool windowfocus --sync "$window"
}

# Keys into the window.
keys() {
    xdotool windowfocus --sync "$window"
    xdotool key "$@"
}

# save_as KEYS DIALOG PATH: presses KEYS in the window until a file dialog named DIALOG opens
# (an export is refused until there is something to export), and saves to PATH in it.
save_as() {
    local deadline=$((SECONDS + timeout_s)) dialog=""
    while [ -z "$dialog" ]; do
        [ $SECONDS -lt $deadline ] || fail "$1 opened no dialog '$2' within ${timeout_s}s"
        keys "$1"
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            dialog=$(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -n 1)
            [ -n "$dialog" ] && break
            sleep 0.1
        done
    done
    xdotool windowfocus --sync "$dialog"
    sleep 0.3
    xdotool key ctrl+a
    xdotool type --delay 5 "$3"
    sleep 0.3
    xdotool key Return
    wait_window_gone "^$2\$"
}

# Waits for a file the window writes once its dialog has closed (an export appears whole).
wait_file() {
    local deadline=$((SECONDS + 10))
    until [ -e "$1" ]; do
        [ $SECONDS -lt $deadline ] || fail "$1 was not written"
        sleep 0.1
    done
}

# Waits for the window's process to end (10 s at most); fails unless its status is 0.
wait_exit() {
    local deadline=$((SECONDS + 10))
    while kill -0 "$app_pid" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "$1: the window did not close"
        sleep 0.1
    done
    wait "$app_pid"
    local status=$?
    app_pid=""
    [ "$status" -eq 0 ] || fail "$1: exit status $status"
}

# One file's readings within tolerance of another's (1 %, the carrier 0.01 %).
same_readings() {
    python3 - "$@" <<'EOF'
import json, sys
expected, got = (json.load(open(p)) for p in sys.argv[1:3])
bad = []
for key, tolerance in (("carrier_hz", 1e-4), ("speed_error_percent", None),
                       ("weighted_peak_percent", 0.01), ("unweighted_peak_percent", 0.01),
                       ("weighted_rms_percent", 0.01)):
    if tolerance is None:
        # The speed error: within 0.01 % of the carrier, as the carrier is.
        ok = abs(got[key] - expected[key]) <= 0.01
    else:
        ok = abs(got[key] - expected[key]) <= tolerance * abs(expected[key])
    if not ok:
        bad.append(f"{key} {got[key]} against {expected[key]}")
print(f"live {got['weighted_peak_percent']} % weighted, {got['carrier_hz']} Hz; "
      f"file {expected['weighted_peak_percent']} %, {expected['carrier_hz']} Hz")
if bad:
    sys.exit("; ".join(bad))
EOF
}

# A CSV log with its header, at least N rows, each with the header's fields, and a line end.
whole_log() {
    python3 - "$1" "$2" <<'EOF'
import sys
text = open(sys.argv[1]).read()
rows = text.split("\n")
if not text.endswith("\n") or not rows[0].startswith("time (s),"):
    sys.exit(f"not a whole log: {text[:200]!r} ... {text[-200:]!r}")
rows = rows[1:-1]
fields = text.split("\n")[0].count(",")
if len(rows) < int(sys.argv[2]) or any(r.count(",") != fields for r in rows):
    sys.exit(f"{len(rows)} rows, not at least {sys.argv[2]} of {fields + 1} fields")
EOF
}

# --- A file given on the command line: measured, its readings and plot exported as
# wobblemeter writes them.
"$generator" --center 3160 --level 0.1 --duration 20 -o "$work/take.wav" >/dev/null ||
    fail "wobblegen-cli"
"$meter" --json "$work/take.wav" >"$work/cli.json" || fail "wobblemeter --json"
"$meter" --plot "$work/cli.png" "$work/take.wav" >/dev/null || fail "wobblemeter --plot"
"$meter" --plot "$work/cli.svg" "$work/take.wav" >/dev/null || fail "wobblemeter --plot x.svg"
start_gui "$work/take.wav"
# The desktop groups the window under its entry: the window's class is the entry's
# StartupWMClass.
entry="$(dirname "${BASH_SOURCE[0]}")/../../meterwin/wobblemeter-gui.desktop"
wm_class=$(sed -n 's/^StartupWMClass=//p' "$entry")
[ -n "$wm_class" ] || fail "no StartupWMClass in the desktop entry"
xdotool search --class "^$wm_class\$" 2>/dev/null | grep -qx "$window" ||
    fail "the window's class is not $wm_class"
save_as ctrl+j "Export the readings" "$work/file.json"
wait_file "$work/file.json"
cmp -s "$work/cli.json" "$work/file.json" ||
    fail "the window's readings of the file differ: $(cat "$work/file.json")"
save_as ctrl+e "Export the plot" "$work/file.png"
wait_file "$work/file.png"
cmp -s "$work/cli.png" "$work/file.png" || fail "the window's plot of the file differs"
# The SVG too, though the window has drawn many surfaces before it.
save_as ctrl+e "Export the plot" "$work/file.svg"
wait_file "$work/file.svg"
cmp -s "$work/cli.svg" "$work/file.svg" || fail "the window's SVG plot of the file differs"
# The bar meter's scale chosen from the menu, View > Bar meter scale > 1 % (its third item, the
# keys a step apart for the menus to open), is remembered.
xdotool windowfocus --sync "$window"
xdotool key --delay 300 alt+v Down Right Down Down Return
deadline=$((SECONDS + 10))
settings="$XDG_CONFIG_HOME/wobblegen/wobblemeter-gui.conf"
until grep -qx "bar_scale_percent=1" "$settings" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the scale chosen from the menu was not remembered"
    sleep 0.1
done
keys ctrl+q
wait_exit "file"
echo "a file: its readings and plot as wobblemeter's"

# --- Live from a null sink's monitor.
pulseaudio -n --daemonize=no --exit-idle-time=-1 --log-target=file:"$work/pulse.log" \
    -L module-native-protocol-unix -L "module-null-sink sink_name=$sink rate=$rate" &
pids+=($!)
tries=0
until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || fail "PulseAudio did not start: $(cat "$work/pulse.log")"
    sleep 0.1
done
# A tone that does not repeat within its file (4.13 Hz against 3150 Hz).
"$generator" --rate $rate --duration 14 --level 0.5 --mod 4.13 -o "$work/tone.wav" >/dev/null ||
    fail "wobblegen-cli"
"$meter" --json "$work/tone.wav" >"$work/tone.json" || fail "wobblemeter --json"

start_gui
# The log chosen before Start, then Start (F5) on the default device, the tone played, Stop.
save_as ctrl+shift+l "Log every second to" "$work/live.csv"
keys F5
sleep 1
paplay -d $sink "$work/tone.wav" || fail "paplay"
sleep 0.5
keys shift+F5
save_as ctrl+j "Export the readings" "$work/live.json"
wait_file "$work/live.json"
same_readings "$work/tone.json" "$work/live.json" || fail "live readings"
grep -q '"device":"default"' "$work/live.json" || fail "live JSON: $(cat "$work/live.json")"
whole_log "$work/live.csv" 14 || fail "the log of the session"
echo "live: the readings of the tone's file, logged"

# Started again, the log and a recording switched on while it runs, and the window closed while
# both run: both are finished.
keys F5
sleep 1
save_as ctrl+shift+l "Log every second to" "$work/closing.csv"
save_as ctrl+shift+r "Record the input to" "$work/closing.wav"
paplay -d $sink "$work/tone.wav" &
player=$!
pids+=($player)
sleep 4
keys ctrl+q
wait_exit "closed while logging"
kill "$player" 2>/dev/null
whole_log "$work/closing.csv" 3 || fail "the log when the window closed"
python3 - "$work/closing.wav" <<'EOF' || fail "the recording when the window closed"
import os, struct, sys
data = open(sys.argv[1], "rb").read()
riff, size, wave = struct.unpack("<4sI4s", data[:12])
if riff != b"RIFF" or wave != b"WAVE" or size != len(data) - 8:
    sys.exit(f"RIFF size {size} in a file of {len(data)} bytes")
# The data chunk says how long it is: it must reach the file's end, and hold seconds of audio.
at = 12
while at + 8 <= len(data):
    tag, length = struct.unpack("<4sI", data[at:at + 8])
    if tag == b"data":
        if at + 8 + length != len(data) or length < 44100:
            sys.exit(f"data chunk of {length} bytes at {at} in a file of {len(data)}")
        sys.exit(0)
    at += 8 + length + (length & 1)
sys.exit("no data chunk")
EOF
echo "closed while logging and recording: both files whole"
echo "all passed"
