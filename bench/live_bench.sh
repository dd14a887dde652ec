#!/bin/sh
# The live meter's cost, delay and memory, whole process where it can be. A benchmark on a
# release build, not a test; it needs no sound card. Usage: bench/live_bench.sh [BUILD_DIR]
# [MINUTES] (default build, 60: the length of the long run).
#  1. CPU and memory over an hour of 48 kHz audio, faster than real time: an ALSA file-plugin
#     device fed through a pipe with the default tone over and over, read by
#     `wobblemeter --live --duration 3600 --log`; the memory sampled as it runs.
#  2. CPU in real time: a PulseAudio null sink's monitor (a daemon of its own, stopped at the
#     end) with a tone playing, read for 60 s by `wobblemeter --live` beside `arecord` reading
#     the same device (the reference: capture alone, nothing measured).
#  3. The delay from sound to displayed figure on that device (wobblemeter-live-delay).
set -eu
build=${1:-build}
minutes=${2:-60}
meter=$build/meter/wobblemeter
generator=$build/wobblegen-cli
delay=$build/bench/wobblemeter-live-delay
[ -x "$meter" ] && [ -x "$generator" ] && [ -x "$delay" ] ||
    { echo "build first: $meter, $generator, $delay" >&2; exit 1; }
meter=$(realpath "$meter") generator=$(realpath "$generator") delay=$(realpath "$delay")
dir=$(mktemp -d)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

rate=48000
export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" PULSE_CLIENTCONFIG="$dir/client.conf"
export JACK_NO_START_SERVER=1
unset PULSE_SERVER ALSA_CONFIG_PATH
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"

# CPU share of one core of a finished command: (user + system) / wall, from /usr/bin/time.
share() { awk '{ printf "%.2f s CPU over %.1f s: %.2f %% of a core", $1 + $2, $3, 100 * ($1 + $2) / $3 }' "$1"; }

echo "1. $minutes min of 48 kHz audio through an ALSA file-plugin device, faster than real time"
# A regular file: through a pipe, the plugin's reads may end within a sample and shift the rest.
"$generator" --rate $rate --duration $((minutes * 60 + 10)) -o "$dir/long.wav" >/dev/null
sox "$dir/long.wav" -t raw -e floating-point -b 32 -L "$dir/long.f32"
rm "$dir/long.wav"
cat >"$HOME/.asoundrc" <<EOF
pcm.long {
    type file
    slave.pcm "null"
    file "/dev/null"
    infile "$dir/long.f32"
    format "raw"
}
EOF
/usr/bin/time -f "%U %S %e %M" -o "$dir/hour.time" "$meter" --live --device long --rate $rate \
    --duration $((minutes * 60)) --log "$dir/hour.csv" --json >"$dir/hour.json" 2>"$dir/hour.err" &
timer=$!
sleep 0.2
running=$(pgrep -P "$timer" | head -1)
printf "  %12s  %10s\n" "audio, min" "RSS, MiB"
next=0
while kill -0 "$timer" 2>/dev/null; do
    seconds=$(($(wc -l <"$dir/hour.csv" 2>/dev/null || echo 1) - 1))
    if [ "$seconds" -ge $((next * 60)) ]; then
        rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$running/status" 2>/dev/null || echo 0)
        [ -n "$rss" ] && [ "$rss" -gt 0 ] &&
            awk -v s="$seconds" -v r="$rss" 'BEGIN { printf "  %12.1f  %10.1f\n", s / 60, r / 1024 }'
        next=$((next + (minutes >= 30 ? 5 : 1)))
    fi
    sleep 0.05
done
wait "$timer" || { echo "  the run failed: $(grep -v " s  " "$dir/hour.err")"; exit 1; }
awk '{ printf "  peak RSS %.1f MiB; ", $4 / 1024 }' "$dir/hour.time"
awk -v s=$((minutes * 60)) '{ printf "%.2f s CPU for %d s of audio: %.3f %% of a core at real time\n", $1 + $2, s, 100 * ($1 + $2) / s }' "$dir/hour.time"
python3 -c "import json,sys; r=json.load(open(sys.argv[1])); print('  read: weighted %.5f %%, carrier %.4f Hz, %d overruns' % (r['weighted_peak_percent'], r['carrier_hz'], r['overruns']))" "$dir/hour.json"

echo
echo "2. 60 s in real time from a PulseAudio null sink's monitor at 48 kHz, beside arecord"
sink=wobblebench
pulseaudio -n --daemonize=no --exit-idle-time=-1 --log-target=file:"$dir/pulse.log" \
    -L module-native-protocol-unix -L "module-null-sink sink_name=$sink rate=$rate" &
pids="$pids $!"
tries=0
until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || { echo "PulseAudio did not start"; exit 1; }
    sleep 0.1
done
export PULSE_SOURCE="$sink.monitor"
"$generator" --rate $rate --duration 100 -o "$dir/tone.wav" >/dev/null
paplay -d $sink "$dir/tone.wav" &
pids="$pids $!"
sleep 1
/usr/bin/time -f "%U %S %e" -o "$dir/live.time" "$meter" --live --device pulse --rate $rate \
    --duration 60 --json >"$dir/live.json" 2>/dev/null &
live=$!
/usr/bin/time -f "%U %S %e" -o "$dir/arecord.time" arecord -q -D pulse -f FLOAT_LE -c 1 -r $rate \
    -d 60 "$dir/arecord.wav" &
reference=$!
# Where the meter's time goes, by thread, a second before it ends: its own (the main thread's
# display, the measuring thread) and the audio libraries' (PortAudio's, PulseAudio's).
sleep 59.5
running=$(pgrep -P "$live" | head -1)
for task in /proc/"$running"/task/*; do
    echo "$(awk '{ print $14 + $15 }' "$task/stat") $(cat "$task/comm") $(basename "$task")"
done >"$dir/threads" 2>/dev/null || true
wait "$live" "$reference"
echo "  wobblemeter --live: $(share "$dir/live.time")"
echo "  arecord:            $(share "$dir/arecord.time")"
paste "$dir/live.time" "$dir/arecord.time" |
    awk '{ printf "  ratio: %.1f times arecord'"'"'s CPU\n", ($1 + $2) / ($4 + $5) }'
awk -v main="$running" '
    $3 == main { own += $1; next }
    $2 == "wobble-measure" { own += $1; next }
    { audio += $1 }
    END { printf "  by thread over 59.5 s: the meter'"'"'s own %.2f %% of a core, the audio libraries'"'"' %.2f %%\n",
          own / 59.5, audio / 59.5 }' "$dir/threads"

echo
echo "3. Delay from sound to displayed figure on that device (20 s)"
"$delay" pulse $rate 20 | sed 's/^/  /'
