#!/bin/sh
# wobblemeter --live in real time: PulseAudio daemons of the test's own with a null sink each, a
# tone played into one, and the sinks' monitors read through ALSA's pulse device. The live
# readings are the tone's file's (within 1 %, the carrier within 0.01 %) and its recording's
# (exactly); a reader that stalls gets its lost frames counted exactly; a signal ends a session
# cleanly with its summary; on the second daemon, a server that freezes and one that dies end
# the session within seconds with one line and status 1. The daemons are stopped whatever
# happens. Arguments: wobblemeter, wobblegen-cli, the capture device tests.
set -u
meter=$1
generator=$2
device_tests=$3
dir=$(mktemp -d)
pids=""
cleanup() {
    for pid in $pids; do kill -CONT "$pid" 2>/dev/null; done
    for pid in $pids; do kill "$pid" 2>/dev/null; done
    for pid in $pids; do wait "$pid" 2>/dev/null; done
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
export HOME="$dir/home" PULSE_CLIENTCONFIG="$dir/client.conf"
export PULSE_SOURCE="$sink.monitor" JACK_NO_START_SERVER=1
unset PULSE_SERVER ALSA_CONFIG_PATH
mkdir -p "$HOME"
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
# Under AddressSanitizer, leaks are looked for in a few runs only: they must unwind slowly to
# pass ALSA's unloaded plugin modules (see lsan_suppressions.txt), a second or two per run.
leak_check=fast_unwind_on_malloc=0
no_leak_check=detect_leaks=0
export ASAN_OPTIONS=$no_leak_check

# start_daemon NAME: a daemon whose clients are those with XDG_RUNTIME_DIR=$dir/NAME.
start_daemon() {
    mkdir -p "$dir/$1"
    chmod 700 "$dir/$1"
    XDG_RUNTIME_DIR="$dir/$1" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --log-target=file:"$dir/$1.log" -L module-native-protocol-unix \
        -L "module-null-sink sink_name=$sink rate=$rate" &
    pids="$pids $!"
    eval "daemon_$1=$!"
}
# ready NAME: waits until the daemon answers (5 s at most).
ready() {
    tries=0
    until XDG_RUNTIME_DIR="$dir/$1" pactl info >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -lt 50 ] || { echo "FAIL: PulseAudio did not start"; cat "$dir/$1.log"; exit 1; }
        sleep 0.1
    done
}
# wait_for_audio FILE: until the recording runs and its first audio is in FILE (10 s at most).
wait_for_audio() {
    tries=0
    while [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -lt 20000 ] && [ "$tries" -lt 100 ]; do
        tries=$((tries + 1))
        sleep 0.1
    done
}
# one_line WHAT FILE TEXT: of FILE (the meter's stderr), one line is a message, and it holds
# TEXT; the others are the lines of the seconds before.
one_line() {
    [ "$(grep -c '^wobblemeter: ' "$2")" -eq 1 ] && grep '^wobblemeter: ' "$2" | grep -q "$3" &&
        ! grep -v -E '^ *[0-9]+ s  |^wobblemeter: ' "$2" >/dev/null || fail "$1: $(cat "$2")"
}
# wait_for_seconds FILE S: until the recording FILE holds S seconds (30 s at most).
wait_for_seconds() {
    tries=0
    while [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -lt $(($2 * rate * 4)) ] && [ "$tries" -lt 300 ]; do
        tries=$((tries + 1))
        sleep 0.1
    done
}

start_daemon main
start_daemon doomed
ready main
ready doomed

# A tone that does not repeat within the file (4.13 Hz against 3150 Hz: once in 14 s), so that
# any stretch of it can be found again in the file.
"$generator" --rate $rate --duration 13 --level 0.5 --mod 4.13 -o "$dir/tone.wav" >/dev/null ||
    exit 1
export XDG_RUNTIME_DIR="$dir/main"
paplay -d $sink "$dir/tone.wav" &
pids="$pids $!"

# Three readers of the main daemon's monitor at once: the device tests (a reader that stalls), a
# recording to be stopped by a signal, and the recording measured below.
WOBBLEGEN_TEST_CAPTURE_DEVICE=pulse WOBBLEGEN_TEST_CAPTURE_RATE=$rate \
    WOBBLEGEN_TEST_CAPTURE_TONE="$dir/tone.wav" \
    "$device_tests" --gtest_filter='CaptureDevice.Clocked*' >"$dir/gtest" 2>&1 &
tests=$!
"$meter" --live --device pulse --rate $rate --record "$dir/open.wav" >"$dir/open.out" \
    2>"$dir/open.err" &
stopped=$!
ASAN_OPTIONS=$leak_check timeout 30 "$meter" --live --device pulse --rate $rate --duration 9 \
    --json --record "$dir/rec.wav" >"$dir/live.json" 2>"$dir/rec.err" &
measured=$!

# Meanwhile on the other daemon: it freezes (SIGSTOP) while a source reads in process and then
# while the meter records, then it dies.
export XDG_RUNTIME_DIR="$dir/doomed"
WOBBLEGEN_TEST_CAPTURE_DEVICE=pulse WOBBLEGEN_TEST_CAPTURE_RATE=$rate \
    WOBBLEGEN_TEST_CAPTURE_SERVER=$daemon_doomed \
    "$device_tests" --gtest_filter='CaptureDevice.SourceGivenUp*' >"$dir/gtest.frozen" 2>&1 ||
    { fail "device tests, server frozen"; cat "$dir/gtest.frozen"; }
timeout 30 "$meter" --live --device pulse --rate $rate --record "$dir/frozen.wav" \
    >/dev/null 2>"$dir/frozen.err" &
recorder=$!
wait_for_audio "$dir/frozen.wav"
kill -STOP "$daemon_doomed"
started=$(date +%s)
wait "$recorder"
status=$?
kill -CONT "$daemon_doomed"
took=$(($(date +%s) - started))
[ "$took" -le 8 ] || fail "server frozen: took $took s"
[ "$status" -eq 1 ] || fail "server frozen: exit status $status"
one_line "server frozen" "$dir/frozen.err" "no audio from capture device 'pulse'"

timeout 30 "$meter" --live --device pulse --rate $rate --duration 20 --record "$dir/cut.wav" \
    >/dev/null 2>"$dir/cut.err" &
recorder=$!
wait_for_audio "$dir/cut.wav"
kill "$daemon_doomed"
started=$(date +%s)
wait "$recorder"
status=$?
took=$(($(date +%s) - started))
[ "$took" -le 4 ] || fail "server gone: took $took s"
[ "$status" -eq 1 ] || fail "server gone: exit status $status"
one_line "server gone" "$dir/cut.err" "stopped delivering audio"
[ "$(soxi -V1 -s "$dir/cut.wav" 2>/dev/null || echo 0)" -gt 0 ] || fail "server gone: nothing kept"

# Back to the main daemon. A signal (SIGTERM: a background job of a script ignores SIGINT, and
# the meter leaves an ignored SIGINT ignored) ends a session without a duration as one with:
# the summary covers what was captured, all of it recorded.
export XDG_RUNTIME_DIR="$dir/main"
wait_for_seconds "$dir/open.wav" 11
kill -TERM "$stopped"
wait "$stopped"
status=$?
captured=$(sed -n 's/^Audio: .* Hz, \([0-9.]*\) s captured.*/\1/p' "$dir/open.out")
recorded=$(soxi -V1 -D "$dir/open.wav" 2>/dev/null)
[ "$status" -eq 0 ] && [ -n "$captured" ] &&
    awk -v c="$captured" -v r="$recorded" 'BEGIN { exit !(c - r < 0.006 && r - c < 0.006) }' ||
    fail "stopped by a signal: status $status, recorded $recorded s, $(cat "$dir/open.out" "$dir/open.err")"

wait "$measured"
status=$?
[ "$status" -eq 0 ] || fail "live: exit status $status: $(cat "$dir/rec.err")"
! grep -v -E '^ *[0-9]+ s  ' "$dir/rec.err" >/dev/null ||
    fail "live: stderr holds more than the seconds: $(head -c 300 "$dir/rec.err")"
wait "$tests" || { fail "device tests"; cat "$dir/gtest"; }
grep "delay" "$dir/gtest"

# Live, the tone reads as its file does: carrier within 0.01 %, readings within 1 %; the
# session's recording reads as the session did (exactly, unless frames were lost on the way:
# the live engine bridges them where the file holds silence).
"$meter" --json "$dir/tone.wav" >"$dir/file.json" &&
    "$meter" --json "$dir/rec.wav" >"$dir/again.json" || fail "measuring: $(cat "$dir/again.json")"
python3 - "$dir/file.json" "$dir/live.json" "$dir/again.json" <<'EOF' || failures=$((failures + 1))
import json, sys
file, live, again = (json.load(open(p)) for p in sys.argv[1:4])
bad = []
for key, tolerance in (("carrier_hz", 1e-4), ("weighted_peak_percent", 0.01),
                       ("unweighted_peak_percent", 0.01), ("weighted_rms_percent", 0.01)):
    if abs(live[key] - file[key]) > tolerance * abs(file[key]):
        bad.append(f"{key} {live[key]} against {file[key]}")
    if live["overruns"] == 0 and again[key] != live[key]:
        bad.append(f"{key} of the recording {again[key]} against {live[key]} live")
if live["overruns"] > 0:
    print(f"note: {live['lost_frames']} frames were lost in {live['overruns']} overrun(s)")
if bad:
    print("FAIL: live measures differently: " + "; ".join(bad))
    sys.exit(1)
EOF

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
