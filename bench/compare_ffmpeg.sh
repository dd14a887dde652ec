#!/usr/bin/env bash
# Whole-process speed: wobblegen-cli writing the default 30-second file against ffmpeg writing
# the same frequency-modulated tone, run in turn; prints the median times and the median ratio.
# Usage: bench/compare_ffmpeg.sh [path/to/wobblegen-cli] (default build/wobblegen-cli); RUNS=n.
# A benchmark, not a test: the figures depend on the machine and on what else runs on it.
set -euo pipefail

cli=${1:-build/wobblegen-cli}
runs=${RUNS:-21}

if [ ! -x "$cli" ]; then
    echo "No $cli: build first (make build)" >&2
    exit 1
fi
if ! command -v ffmpeg >/dev/null 2>&1; then
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing ffmpeg"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends ffmpeg >/dev/null
    else
        echo "ffmpeg is missing. Run:" >&2
        echo "  sudo apt-get install ffmpeg" >&2
        exit 1
    fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The same signal: 3150 Hz swung by 1 % (31.5 Hz) at 4 Hz, at half of full scale. Integrated,
# a 31.5 Hz swing at 4 Hz moves the phase by 31.5 / 4 = 7.875 rad × (1 - cos).
wobblegen() { "$cli" -o "$work/wobblegen.wav" >/dev/null; }
ffmpeg_tone() {
    ffmpeg -nostdin -v quiet -y -f lavfi \
        -i "aevalsrc=0.5*sin(2*PI*3150*t+7.875*(1-cos(2*PI*4*t))):s=44100:d=30" \
        -c:a pcm_s16le "$work/ffmpeg.wav"
}

# Wall time of one run in microseconds, from bash's own clock (no extra process in the span).
elapsed_us() {
    local start end
    start=$EPOCHREALTIME
    "$@"
    end=$EPOCHREALTIME
    echo $(((${end/./} - ${start/./})))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

wobblegen
ffmpeg_tone  # warm-up: both binaries and their libraries in the page cache
ours=()
theirs=()
ratios=()
for ((i = 0; i < runs; i++)); do
    a=$(elapsed_us wobblegen)
    b=$(elapsed_us ffmpeg_tone)
    ours+=("$a")
    theirs+=("$b")
    ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", b / a }')")
done

ours_ms=$(printf '%s\n' "${ours[@]}" | median | awk '{ printf "%.2f", $1 / 1000 }')
theirs_ms=$(printf '%s\n' "${theirs[@]}" | median | awk '{ printf "%.2f", $1 / 1000 }')
ratio=$(printf '%s\n' "${ratios[@]}" | median)
echo "runs:                 $runs of each, in turn"
echo "wobblegen-cli median: $ours_ms ms"
echo "ffmpeg median:        $theirs_ms ms"
echo "median ratio:         $ratio (ffmpeg time / wobblegen-cli time, per pair)"
