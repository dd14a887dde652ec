#!/bin/sh
# wobblemeter's speed and memory, whole process: the 30 s default file beside sox reading and
# band-passing the same file (`sox FILE -n sinc 3000-3300`, the reference: ours should take
# under twice its time), the growth with the file's length (should be linear), what --plot adds
# to the 30 s run (target under 40 ms), and the peak memory for one hour and for eight hours at
# 8 kHz (should be flat: within 5 MiB) and for an hour at 96 kHz. A benchmark on a release
# build, not a test. Usage: bench/meter_bench.sh [BUILD_DIR] (default build); REFERENCE=path to
# another build's wobblemeter adds its plot runs beside ours, for a before-and-after comparison.
# Uses hyperfine and sox where they are installed.
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

# Peak resident memory of a run, KiB.
peak_kib() {
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}

echo "The default file (30 s, 44.1 kHz, 16 bit, 3150 Hz, 1 % at 4 Hz) beside sox on the same file:"
"$generator" -o "$dir/default.wav" >/dev/null
sync
if command -v hyperfine >/dev/null 2>&1 && command -v sox >/dev/null 2>&1; then
    hyperfine -N -w 5 -r 40 "$meter $dir/default.wav" "sox $dir/default.wav -n sinc 3000-3300" \
        2>/dev/null | grep -E "Benchmark|Time|faster|±"
    echo
    echo "Start-up alone (the capture libraries are loaded only by the live commands):"
    hyperfine -N -w 10 -r 60 "$meter --version" "sox --version" 2>/dev/null |
        grep -E "Benchmark|Time|faster|±"
else
    echo "  (hyperfine and sox are needed for the comparison: scripts/setup.sh installs them)"
fi
echo

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
echo "what --plot adds to the 30 s run: runs with and without it taken in turn (so that other"
echo "load falls on both alike), medians of wall and CPU time (user + system) over RUNS pairs:"
"$generator" --rate 44100 --duration 30 -o "$dir/t30.wav" >/dev/null
python3 - "$dir" "${RUNS:-41}" "$meter" ${REFERENCE:+"$REFERENCE"} <<'END'
import os, statistics, subprocess, sys, time
work, runs, programs = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
tone = os.path.join(work, "t30.wav")
def run(command):
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    assert status == 0, command
    return 1000 * (time.perf_counter() - start), 1000 * (usage.ru_utime + usage.ru_stime)
for name, program in zip(["this build", "reference"], programs):
    kinds = {"without": [program, tone],
             "--plot PNG": [program, "--plot", os.path.join(work, "p.png"), tone],
             "--plot SVG": [program, "--plot", os.path.join(work, "p.svg"), tone]}
    times = {kind: [] for kind in kinds}
    for i in range(runs + 3):
        for kind, command in kinds.items():
            measured = run(command)
            if i >= 3:  # warm-up
                times[kind].append(measured)
    base = times["without"]
    print("  %s (%s):" % (name, program))
    for kind, values in times.items():
        wall = statistics.median(v[0] for v in values)
        cpu = statistics.median(v[1] for v in values)
        line = "    %-10s %6.1f ms wall, %6.1f ms CPU" % (kind, wall, cpu)
        if kind != "without":
            added_wall = statistics.median(v[0] - b[0] for v, b in zip(values, base))
            added_cpu = statistics.median(v[1] - b[1] for v, b in zip(values, base))
            line += "; adds %5.1f ms wall, %5.1f ms CPU (medians of the pairs)" % (added_wall, added_cpu)
        print(line)
END

echo
echo "peak memory, one hour and eight hours at 8 kHz (58 and 461 MB):"
"$generator" --rate 8000 --duration 3600 -o "$dir/long.wav" >/dev/null
hour=$(peak_kib "$meter" "$dir/long.wav")
"$generator" --rate 8000 --duration 28800 -o "$dir/long.wav" >/dev/null
eight=$(peak_kib "$meter" "$dir/long.wav")
rm -f "$dir/long.wav"
awk -v a="$hour" -v b="$eight" 'BEGIN { printf "  1 h: %.1f MiB, 8 h: %.1f MiB, difference %.1f MiB (target: within 5)\n", a / 1024, b / 1024, (b - a) / 1024 }'

echo
echo "one hour at 96 kHz (691 MB):"
"$generator" --rate 96000 --duration 3600 -o "$dir/hour.wav" >/dev/null
/usr/bin/time -v "$meter" "$dir/hour.wav" 2>"$dir/time" >/dev/null
grep -E "Elapsed|Maximum resident" "$dir/time" | sed 's/^[[:space:]]*/  /'
awk '/Maximum resident/ { printf "  peak memory: %.1f MiB\n", $NF / 1024 }' "$dir/time"
