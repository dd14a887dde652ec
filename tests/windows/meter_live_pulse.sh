#!/bin/bash
# wobblemeter.exe --live under Wine, in real time: a PulseAudio daemon of the test's own with a
# null sink, a tone played into it, and the sink's monitor read through Wine's own PulseAudio
# driver (WASAPI or MME above it). --list-devices names the monitor; the live readings are the
# tone's file's (within 1 %, the carrier within 0.01 %). The daemon is stopped whatever happens.
# Usage: meter_live_pulse.sh WINE_RUN WINEDIR WOBBLEMETER_EXE LINUX_WOBBLEMETER LINUX_WOBBLEGEN_CLI
set -uo pipefail

wine_run=$1
winedir=$2
exe=$3
linux=$4
generator=$5
dir=$(mktemp -d /tmp/wobblegen-wine-live-XXXXXX)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null; done
    for pid in $pids; do wait "$pid" 2>/dev/null; done
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

sink=wobbletest
# The name Wine gives a null sink's monitor.
monitor="Monitor of Null Output"
mkdir -p "$dir/run" "$dir/home"
chmod 700 "$dir/run"
XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --log-target=file:"$dir/pulse.log" -L module-native-protocol-unix \
    -L "module-null-sink sink_name=$sink" &
pids="$pids $!"
# Wine's environment (wine_env.sh) drops XDG_RUNTIME_DIR: the server is named outright.
export PULSE_SERVER="unix:$dir/run/pulse/native" PULSE_CLIENTCONFIG="$dir/client.conf"
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
tries=0
until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || {
        echo "FAIL: PulseAudio did not start: $(cat "$dir/pulse.log")" >&2
        exit 1
    }
    sleep 0.1
done

cd "$dir" || exit 1
"$generator" --duration 20 -o tone.wav >/dev/null
"$linux" --json tone.wav >file.json

echo "--list-devices names the sink's monitor"
"$wine_run" "$winedir" "$exe" --list-devices >devices.txt 2>/dev/null
grep -qF "$monitor" devices.txt || fail "no '$monitor' in: $(tr -d '\r' <devices.txt)"

echo "Live from the monitor while the tone plays: the file's figures"
"$wine_run" "$winedir" "$exe" --live --device "$monitor" --duration 14 --json \
    >live.json 2>live.err &
meter=$!
pids="$pids $meter"
sleep 2 # the session running before the tone starts
paplay -d "$sink" tone.wav 2>/dev/null & # stopped once the session is over
pids="$pids $!"
status=0
wait "$meter" || status=$?
[ "$status" = 0 ] || fail "live: status $status: $(grep -v '^ALSA' live.err | tail -n 3)"
python3 - file.json live.json <<'EOF' || fail "live: the figures are not the file's"
import json, sys
file, live = (json.load(open(name, encoding="utf-8")) for name in sys.argv[1:3])
errors = []
for key, tolerance in [("carrier_hz", 1e-4), ("weighted_peak_percent", 0.01),
                       ("unweighted_peak_percent", 0.01), ("weighted_rms_percent", 0.01)]:
    a, b = file[key], live.get(key)
    if b is None or abs(b - a) > tolerance * abs(a):
        errors.append(f"{key}: live {b}, file {a}")
if errors:
    print("\n".join(errors), file=sys.stderr)
    sys.exit(1)
EOF

echo "$((failures == 0 ? 2 : 0)) passed, $failures failed"
[ "$failures" -eq 0 ]
