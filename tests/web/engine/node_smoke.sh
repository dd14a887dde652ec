#!/bin/sh
# The WebAssembly module under node against the Linux command line on a 30 s tone of ours.
# Usage: node_smoke.sh WOBBLEGEN_CLI WOBBLEMETER ENGINE_JS. Exit 77 (skipped) where the module
# has not been built (make web).
set -eu
cli=$1 meter=$2 engine=$3
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$engine" ]; then
    echo "no module at $engine (make web builds it): skipped"
    exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$cli" --duration 30 --level 0.1 -o "$dir/tone.wav" >/dev/null
start=$(date +%s%N)
(cd "$dir" && "$meter" --json tone.wav >expected.json)
end=$(date +%s%N)
echo "wobblemeter --json: $(( (end - start) / 1000000 )) ms"
NODE_PATH=/usr/share/nodejs node "$here/node_smoke.js" "$engine" "$dir" tone.wav
