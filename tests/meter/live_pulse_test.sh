#!/bin/sh
# wobblemeter --live in real time: a PulseAudio daemon of the test's own with a null sink, a tone
# played into it, and the sink's monitor read through ALSA's pulse device. The recording measures
# as the tone's file does; a reader that stalls gets its lost frames counted exactly; a daemon
# that dies ends the recording with one line and status 1. The daemon is stopped whatever
# happens. Arguments: wobblemeter, wobblegen-cli, the capture device tests.
set -u
meter=$1
generator=$2
device_tests=$3
dir=$(mktemp -d)
daemon=""
player=""
cleanup() {
    for pid in $player $daemon; do kill "$pid" 2>/dev/null; done
    for pid in $player $daemon; do wait "$pid" 2>/dev/null; done
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

sink=wobbletest
rate=48000
export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" PULSE_CLIENTCONFIG="$dir/client.conf"
export PULSE_SOURCE="$sink.monitor" JACK_NO_START_SERVER=1
unset PULSE_SERVER ALSA_CONFIG_PATH
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
# Under AddressSanitizer, leaks are looked for in a few runs only: they must unwind slowly to
# pass ALSA's unloaded plugin modules (see lsan_suppressions.txt), a second or two per run.
leak_check=fast_unwind_on_malloc=0
no_leak_check=detect_leaks=0

pulseaudio -n --daemonize=no --exit-idle-time=-1 --log-target=file:"$dir/pulse.log" \
    -L module-native-protocol-unix -L "module-null-sink sink_name=$sink rate=$rate" &
daemon=$!
tries=0
until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] && kill -0 "$daemon" 2>/dev/null || {
        echo "FAIL: PulseAudio did not start"; cat "$dir/pulse.log"; exit 1; }
    sleep 0.1
done

# A tone that does not repeat within the file (4.13 Hz against 3150 Hz: once in 14 s), so that
# any stretch of it can be found again in the file.
"$generator" --rate $rate --duration 13 --level 0.5 --mod 4.13 -o "$dir/tone.wav" >/dev/null || exit 1
paplay -d $sink "$dir/tone.wav" &
player=$!

# wait_for_audio FILE: until the recording runs and its first audio is in FILE (10 s at most).
wait_for_audio() {
    tries=0
    while [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -lt 20000 ] && [ "$tries" -lt 100 ]; do
        tries=$((tries + 1))
        sleep 0.1
    done
}

# Three readers of the monitor at once: the device tests (a reader that stalls), a recording
# stopped by a signal, and the recording measured below.
ASAN_OPTIONS=$no_leak_check WOBBLEGEN_TEST_CAPTURE_DEVICE=pulse WOBBLEGEN_TEST_CAPTURE_RATE=$rate \
    WOBBLEGEN_TEST_CAPTURE_TONE="$dir/tone.wav" \
    "$device_tests" --gtest_filter='CaptureDevice.Clocked*' >"$dir/gtest" 2>&1 &
tests=$!
# Stopped by a signal (SIGTERM here: a background job of a script ignores SIGINT, and the meter
# leaves an ignored SIGINT ignored), a recording without a duration ends as with one.
ASAN_OPTIONS=$no_leak_check "$meter" --live --device pulse --rate $rate --record "$dir/open.wav" \
    >"$dir/open.out" 2>"$dir/open.err" &
stopped=$!
ASAN_OPTIONS=$leak_check timeout 30 "$meter" --live --device pulse --rate $rate --duration 9 \
    --record "$dir/rec.wav" >"$dir/out" 2>"$dir/err"
status=$?
[ "$status" -eq 0 ] || fail "record: exit status $status: $(cat "$dir/err")"
wait_for_audio "$dir/open.wav"
kill -TERM "$stopped"
wait "$stopped"
status=$?
frames=$(sed -n 's/^Audio: .*(\([0-9]*\) frames)$/\1/p' "$dir/open.out")
[ "$status" -eq 0 ] && [ -n "$frames" ] && [ "$(soxi -V1 -s "$dir/open.wav")" = "$frames" ] ||
    fail "stopped by a signal: status $status, $(cat "$dir/open.out" "$dir/open.err")"
[ ! -s "$dir/err" ] || fail "record: stderr not empty: $(head -c 300 "$dir/err")"
grep -q "^Lost: *none" "$dir/out" || echo "note: frames were lost: $(grep Lost "$dir/out")"
wait "$tests" || { fail "device tests"; cat "$dir/gtest"; }
grep "delay" "$dir/gtest"

# The recording measures as the file: carrier within 0.01 %, readings within 1 %.
export ASAN_OPTIONS=$no_leak_check
"$meter" --json "$dir/tone.wav" >"$dir/file.json" &&
    "$meter" --json "$dir/rec.wav" >"$dir/live.json" || fail "measuring: $(cat "$dir/live.json")"
python3 - "$dir/file.json" "$dir/live.json" <<'EOF' || failures=$((failures + 1))
import json, sys
file, live = (json.load(open(p)) for p in sys.argv[1:3])
bad = []
for key, tolerance in (("carrier_hz", 1e-4), ("weighted_peak_percent", 0.01),
                       ("unweighted_peak_percent", 0.01), ("weighted_rms_percent", 0.01)):
    if abs(live[key] - file[key]) > tolerance * abs(file[key]):
        bad.append(f"{key} {live[key]} against {file[key]}")
if bad:
    print("FAIL: the live recording measures differently: " + "; ".join(bad))
    sys.exit(1)
EOF

# The daemon dies while the meter records: one line, status 1, soon; the file keeps what came.
timeout 30 "$meter" --live --device pulse --rate $rate --duration 20 --record "$dir/cut.wav" \
    >"$dir/out" 2>"$dir/err" &
recorder=$!
wait_for_audio "$dir/cut.wav"
kill "$player" "$daemon" 2>/dev/null
started=$(date +%s)
wait "$recorder"
status=$?
[ $(($(date +%s) - started)) -le 4 ] || fail "daemon gone: took $(($(date +%s) - started)) s"
[ "$status" -eq 1 ] || fail "daemon gone: exit status $status"
[ "$(wc -l <"$dir/err")" -eq 1 ] && grep -q "stopped delivering audio" "$dir/err" ||
    fail "daemon gone: $(cat "$dir/err")"
[ "$(soxi -V1 -s "$dir/cut.wav" 2>/dev/null || echo 0)" -gt 0 ] || fail "daemon gone: nothing kept"

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
