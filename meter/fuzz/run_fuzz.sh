#!/bin/sh
# Builds the libFuzzer targets (the measuring path, and the verification set's table:
# wobblemeter_fuzz_table, its corpus table_corpus/) with clang under ASan and UBSan in
# ./build-fuzz and fuzzes the measuring path for SECONDS (default 600) on one core, adding
# what it finds to the corpus.
# Then merges the corpus down to the inputs that add coverage. SECONDS 0 only builds (CI's
# `make check-fuzz`).
set -eu
cd "$(dirname "$0")/../.."
seconds=${1:-600}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DWOBBLEGEN_SANITIZE=address,undefined -DWOBBLEGEN_BUILD_FUZZ=ON -DWOBBLEGEN_WERROR=ON \
    -DWOBBLEGEN_BUILD_TESTS=OFF -DWOBBLEGEN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j 2 --target wobblemeter_fuzz wobblemeter_fuzz_table
[ "$seconds" -eq 0 ] && exit 0
corpus=meter/fuzz/corpus
found=build-fuzz/found
mkdir -p "$found"
./build-fuzz/meter/fuzz/wobblemeter_fuzz -max_total_time="$seconds" -timeout=30 \
    -rss_limit_mb=2048 -print_final_stats=1 "$found" "$corpus"
merged=build-fuzz/merged
rm -rf "$merged" && mkdir -p "$merged"
./build-fuzz/meter/fuzz/wobblemeter_fuzz -merge=1 "$merged" "$corpus" "$found"
rm -f "$corpus"/*
cp "$merged"/* "$corpus"/
echo "corpus: $(ls "$corpus" | wc -l) inputs"
