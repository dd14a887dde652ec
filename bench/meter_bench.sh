#!/bin/sh
# wobblemeter's speed and memory: whole-process time for 30 s of 44.1 kHz audio (target under
# 100 ms), its growth with the file's length (should be linear), what --plot adds to the 30 s
# run (target under 40 ms; needs hyperfine), and the peak memory for one hour at 96 kHz (target
# under 64 MiB). Usage: bench/meter_bench.sh [BUILD_DIR] (default build); REFERENCE=path to
# another build's wobblemeter adds its runs beside ours, for a before-and-after comparison.
set -eu
build=${1:-build}
meter=$build/meter/wobblemeter
generator=$build/wobblegen-cli
[ -x "$meter" ] && [ -x "$generator" ] || { echo "build first: $meter, $generator" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# Best of five whole-process wall times, in milliseconds.
best_ms() {
    best=""
    for _ in 1 2 3 4 5; do
        start=$(date +%s%N)
        "$meter" "$1" >/dev/null
        end=$(date +%s%N)
        ms=$(( (end - start) / 1000000 ))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}

echo "44.1 kHz, 16 bit, 3150 Hz, 1 % at 4 Hz. Linear growth shows as a steady added cost per"
echo "second between rows; the rest is start-up (libraries, FFT plans), paid once."
echo "seconds  wall ms (best of 5)  added ms per added second"
previous_s=0 previous_ms=0
for seconds in 30 60 120 240 480; do
    "$generator" --rate 44100 --duration "$seconds" -o "$dir/t$seconds.wav" >/dev/null
    sync  # let the written file settle so that write-back does not run during the timing
    ms=$(best_ms "$dir/t$seconds.wav")
    if [ "$previous_s" -eq 0 ]; then
        printf "%7d  %19d\n" "$seconds" "$ms"
    else
        awk -v s="$seconds" -v ms="$ms" -v ps="$previous_s" -v pms="$previous_ms" \
            'BEGIN { printf "%7d  %19d  %25.2f\n", s, ms, (ms - pms) / (s - ps) }'
    fi
    previous_s=$seconds previous_ms=$ms
    rm -f "$dir/t$seconds.wav"
done

echo
echo "what --plot adds to the 30 s run (whole process, side by side, hyperfine -N):"
if command -v hyperfine >/dev/null 2>&1; then
    "$generator" --rate 44100 --duration 30 -o "$dir/t30.wav" >/dev/null
    set -- "$meter $dir/t30.wav" "$meter --plot $dir/plot.png $dir/t30.wav" \
        "$meter --plot $dir/plot.svg $dir/t30.wav"
    if [ -n "${REFERENCE:-}" ]; then
        set -- "$@" "$REFERENCE $dir/t30.wav" "$REFERENCE --plot $dir/reference.png $dir/t30.wav"
    fi
    hyperfine -N --warmup 5 --runs "${RUNS:-40}" --export-json "$dir/plot.json" "$@" >/dev/null
    # The added cost in wall time (medians) and CPU time (means of user + system).
    python3 - "$dir/plot.json" <<'END'
import json, statistics, sys
runs = json.load(open(sys.argv[1]))["results"]
for r in runs:
    print("  %6.1f ms wall (median), %6.1f ms CPU: %s" % (
        1000 * statistics.median(r["times"]), 1000 * (r["user"] + r["system"]), r["command"]))
pairs = [(0, 1, "ours, PNG"), (0, 2, "ours, SVG")] + ([(3, 4, "reference, PNG")] if len(runs) == 5 else [])
for plain, plotted, name in pairs:
    a, b = runs[plain], runs[plotted]
    wall = 1000 * (statistics.median(b["times"]) - statistics.median(a["times"]))
    cpu = 1000 * (b["user"] + b["system"] - a["user"] - a["system"])
    print("  --plot adds %5.1f ms wall, %5.1f ms CPU (%s)" % (wall, cpu, name))
END
else
    echo "  hyperfine is missing: apt-get install hyperfine"
fi

echo
echo "one hour at 96 kHz (691 MB):"
"$generator" --rate 96000 --duration 3600 -o "$dir/hour.wav" >/dev/null
/usr/bin/time -v "$meter" "$dir/hour.wav" 2>"$dir/time" >/dev/null
grep -E "Elapsed|Maximum resident" "$dir/time" | sed 's/^[[:space:]]*/  /'
awk '/Maximum resident/ { printf "  peak memory: %.1f MiB\n", $NF / 1024 }' "$dir/time"
