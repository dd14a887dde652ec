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
tone=(-f lavfi -i "aevalsrc=0.5*sin(2*PI*3150*t+7.875*(1-cos(2*PI*4*t))):s=44100:d=30")

# The loop runs in Python and starts each command with posix_spawn (vfork and exec), so the span
# holds no copying of a large parent: bash's fork costs would land on the short run.
python3 - "$runs" "$cli" "$work" "${tone[@]}" <<'PY'
import os, statistics, sys, time

runs, cli, work, tone = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
ours_cmd = [cli, "-o", f"{work}/wobblegen.wav"]
ffmpeg_cmd = ["ffmpeg", "-nostdin", "-v", "quiet", "-y", *tone, "-c:a", "pcm_s16le",
              f"{work}/ffmpeg.wav"]

quiet = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)]

def timed(cmd):
    start = time.perf_counter()
    pid = os.posix_spawnp(cmd[0], cmd, os.environ, file_actions=quiet)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{cmd[0]} failed")
    return elapsed

timed(ours_cmd)  # warm-up: programs and libraries into the page cache, output files existing
timed(ffmpeg_cmd)
ours, theirs = [], []
for _ in range(runs):
    ours.append(timed(ours_cmd))
    theirs.append(timed(ffmpeg_cmd))
ratios = [b / a for a, b in zip(ours, theirs)]
print(f"runs:                 {runs} of each, in turn")
print(f"wobblegen-cli median: {statistics.median(ours) * 1e3:.2f} ms")
print(f"ffmpeg median:        {statistics.median(theirs) * 1e3:.2f} ms")
print(f"median ratio:         {statistics.median(ratios):.1f} (ffmpeg time / wobblegen-cli time, per pair)")
with open("/proc/loadavg") as load:
    print(f"load average:         {' '.join(load.read().split()[:3])} (other work on the machine skews short runs most)")
PY
