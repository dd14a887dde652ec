#!/bin/bash
# wobblemeter.exe --live under Wine, in real time: a PulseAudio daemon of the test's own with a
# null sink, a tone played into it, and the sink's monitor read through Wine's own PulseAudio
# driver (WASAPI or MME above it). --list-devices names the monitor; the live readings are the
# tone's file's (within 1 %, the carrier within 0.01 %); Ctrl+C ends a session without a
# duration with its summary and status 0. The daemon is stopped whatever happens.
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
# shellcheck source=tests/windows/pulse_env.sh
. "$(dirname "$0")/pulse_env.sh"
monitor=$wobblegen_pulse_monitor
started=0
wobblegen_pulse_start "$dir" "$sink" || started=$?
pids="$pids $wobblegen_pulse_pid"
[ "$started" -eq 0 ] || {
    echo "FAIL: no PulseAudio daemon" >&2
    exit 1
}

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
player=$!
pids="$pids $player"
status=0
wait "$meter" || status=$?
# The rest of the tone would beat with the next one.
kill "$player" 2>/dev/null
wait "$player" 2>/dev/null
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

echo "Ctrl+C ends a session without a duration with its summary"
# Wine turns SIGINT into the console's Ctrl+C event (even for a background job, which has SIGINT
# ignored: Wine's own handler takes it).
"$wine_run" "$winedir" "$exe" --live --device "$monitor" --json >stopped.json 2>stopped.err &
meter=$!
pids="$pids $meter"
paplay -d "$sink" tone.wav 2>/dev/null &
pids="$pids $!"
# The session under way long enough to be measured (8 s of tone at least): its seconds on
# standard error, a line each.
deadline=$((SECONDS + 40))
until [ "$(grep -c ' s  ' stopped.err 2>/dev/null)" -ge 12 ]; do
    [ $SECONDS -lt $deadline ] && kill -0 "$meter" 2>/dev/null || break
    sleep 0.2
done
kill -INT "$meter" 2>/dev/null
status=0
wait "$meter" || status=$?
[ "$status" = 0 ] && python3 - stopped.json <<'EOF' ||
import json, sys
try:
    summary = json.load(open(sys.argv[1], encoding="utf-8"))
except ValueError:
    sys.exit(1)
sys.exit(0 if abs(summary.get("carrier_hz", 0) - 3150) < 1 else 1)
EOF
    fail "Ctrl+C: status $status, no summary: $(tail -n 3 stopped.err)"

echo "$((failures == 0 ? 3 : 0)) passed, $failures failed"
[ "$failures" -eq 0 ]
