#!/bin/sh
# Inputs that are no recording to open (a FIFO nobody writes): refused at once with one line,
# the other files measured all the same, status 1; never a hang (each run has 5 s, the whole
# verification set 120 s: its 15 other files take more than 5 s under the sanitizers).
# Arguments: the wobblemeter and wobblegen-cli executables.
set -u
meter=$1
generator=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

limit=5
run() {  # run STATUS DESCRIPTION ARGUMENTS...: a run that has not ended within $limit s fails (124)
    want=$1 what=$2
    shift 2
    timeout "$limit" "$meter" "$@" >"$dir/out" 2>"$dir/err"
    got=$?
    [ "$got" -eq "$want" ] || { fail "$what: exit status $got, expected $want"; cat "$dir/err"; }
}

refused="not a regular file (a FIFO or a socket): give a recording"
"$generator" --rate 8000 --duration 10 -o "$dir/good.wav" >/dev/null || exit 1
cp "$dir/good.wav" "$dir/g2.wav"
mkfifo "$dir/fifo"

run 1 "a FIFO among files" "$dir/good.wav" "$dir/fifo" "$dir/g2.wav"
[ "$(cat "$dir/err")" = "wobblemeter: $dir/fifo: $refused" ] ||
    fail "a FIFO among files: stderr is '$(cat "$dir/err")'"
[ "$(grep -c '^File: ' "$dir/out")" -eq 2 ] || fail "a FIFO among files: $(cat "$dir/out")"
run 1 "a FIFO alone, as JSON" --json "$dir/fifo"
[ "$(cat "$dir/err")" = "wobblemeter: $dir/fifo: $refused" ] ||
    fail "a FIFO alone: stderr is '$(cat "$dir/err")'"
[ ! -s "$dir/out" ] || fail "a FIFO alone: stdout is $(cat "$dir/out")"

# A verification set of which one WAV is a FIFO: its two readings fail, saying why; the others
# pass.
"$generator" --calibration-set "$dir/set" >/dev/null || exit 1
rm "$dir/set/3150Hz-3.wav"
mkfifo "$dir/set/3150Hz-3.wav"
limit=120
run 1 "verify a set with a FIFO" --verify "$dir/set"
[ "$(grep -c "^3150Hz-3.wav .*FAIL ($refused)\$" "$dir/out")" -eq 2 ] &&
    [ "$(grep -c ' pass (' "$dir/out")" -eq 30 ] && [ ! -s "$dir/err" ] ||
    fail "verify a set with a FIFO: $(cat "$dir/out" "$dir/err")"

[ "$failures" -eq 0 ] || exit 1
echo "all FIFO checks passed"
