#!/bin/sh
# Builds the libFuzzer targets with clang under ASan and UBSan in ./build-fuzz, fuzzes them for
# SECONDS in all (default 600, shared evenly) on one core, adding what each finds to its corpus,
# then merges each corpus down to the inputs that add coverage. SECONDS 0 only builds (CI's
# `make check-fuzz`). Names after SECONDS fuzz only those targets, e.g.
# `run_fuzz.sh 720 wobblemeter_fuzz_intake`.
set -eu
cd "$(dirname "$0")/../.."
seconds=${1:-600}
[ $# -gt 0 ] && shift
# The targets, one a line: the fuzz target's name and its corpus folder.
targets="
wobblemeter_fuzz:meter/fuzz/corpus
wobblemeter_fuzz_intake:meter/fuzz/corpus-intake
wobblemeter_fuzz_table:meter/fuzz/table_corpus
"
names=""
for pair in $targets; do names="$names ${pair%%:*}"; done
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DWOBBLEGEN_SANITIZE=address,undefined -DWOBBLEGEN_BUILD_FUZZ=ON -DWOBBLEGEN_WERROR=ON \
    -DWOBBLEGEN_BUILD_TESTS=OFF -DWOBBLEGEN_BUILD_BENCHMARKS=OFF >/dev/null
# shellcheck disable=SC2086 # one word a target
cmake --build build-fuzz -j 2 --target $names
[ "$seconds" -eq 0 ] && exit 0

chosen=""
for pair in $targets; do
    name=${pair%%:*}
    if [ $# -eq 0 ]; then chosen="$chosen $pair"; else
        for wanted in "$@"; do [ "$wanted" = "$name" ] && chosen="$chosen $pair"; done
    fi
done
[ -n "$chosen" ] || { echo "run_fuzz.sh: no target named $*; targets:$names" >&2; exit 2; }
count=$(echo $chosen | wc -w)
each=$((seconds / count))

for pair in $chosen; do
    name=${pair%%:*}
    corpus=${pair#*:}
    fuzzer=./build-fuzz/meter/fuzz/$name
    found=build-fuzz/found/$name
    merged=build-fuzz/merged/$name
    mkdir -p "$found" "$corpus"
    echo "fuzzing $name for $each s"
    "$fuzzer" -max_total_time="$each" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        "$found" "$corpus"
    rm -rf "$merged" && mkdir -p "$merged"
    # Edges only: hit counts would keep hundreds of inputs more for the same edges.
    "$fuzzer" -merge=1 -use_counters=0 "$merged" "$corpus" "$found"
    rm -f "$corpus"/*
    cp "$merged"/* "$corpus"/
    echo "$name: $(ls "$corpus" | wc -l) inputs in $corpus"
done
