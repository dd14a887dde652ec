#!/bin/sh
# wobblemeter's exit statuses and output forms: usage errors 2, unmeasurable files 1 with one
# line on stderr, readings 0. Arguments: the wobblemeter and wobblegen-cli executables.
set -u
meter=$1
generator=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

expect() {  # expect STATUS DESCRIPTION COMMAND...
    want=$1 what=$2
    shift 2
    "$@" >"$dir/out" 2>"$dir/err"
    got=$?
    if [ "$got" -ne "$want" ]; then
        echo "FAIL: $what: exit status $got, expected $want"; cat "$dir/err"
        failures=$((failures + 1))
    fi
}

"$generator" --rate 22050 --duration 10 --level 0.5 -o "$dir/tone.wav" >/dev/null || exit 1

expect 2 "no file" "$meter"
expect 2 "channel 0" "$meter" --channel 0 "$dir/tone.wav"
expect 2 "carrier below range" "$meter" --carrier 100 "$dir/tone.wav"
expect 2 "plot of unknown type" "$meter" --plot "$dir/plot.jpg" "$dir/tone.wav"
expect 2 "unknown option" "$meter" --frobnicate "$dir/tone.wav"

expect 1 "missing file" "$meter" "$dir/missing.wav"
[ "$(wc -l <"$dir/err")" -eq 1 ] || { echo "FAIL: missing file: not one line on stderr"; failures=$((failures + 1)); }
grep -q "missing.wav: cannot open it" "$dir/err" || { echo "FAIL: missing file: $(cat "$dir/err")"; failures=$((failures + 1)); }
expect 1 "channel beyond the file's" "$meter" --channel 2 "$dir/tone.wav"

expect 0 "summary" "$meter" "$dir/tone.wav"
grep -q "^Weighted peak: *0.49" "$dir/out" || { echo "FAIL: summary: $(cat "$dir/out")"; failures=$((failures + 1)); }
expect 0 "json and plot" "$meter" --json --plot "$dir/plot.png" "$dir/tone.wav"
for key in carrier_hz nominal_hz speed_error_percent weighted_peak_percent unweighted_peak_percent \
    weighted_rms_percent modulation_hz duration_s; do
    grep -q "\"$key\": [-0-9]" "$dir/out" || { echo "FAIL: json lacks $key"; failures=$((failures + 1)); }
done
[ -s "$dir/plot.png" ] || { echo "FAIL: no plot"; failures=$((failures + 1)); }
[ ! -s "$dir/err" ] || { echo "FAIL: stderr not empty when not a terminal: $(cat "$dir/err")"; failures=$((failures + 1)); }
expect 1 "plot into a missing directory" "$meter" --plot "$dir/none/plot.SVG" "$dir/tone.wav"
grep -q "^Weighted peak" "$dir/out" || { echo "FAIL: readings not printed before the plot failed"; failures=$((failures + 1)); }
grep -q "cannot write the plot" "$dir/err" || { echo "FAIL: plot failure: $(cat "$dir/err")"; failures=$((failures + 1)); }

if [ -w /dev/full ]; then
    expect 1 "readings to a full disk" sh -c '"$1" "$2" >/dev/full' sh "$meter" "$dir/tone.wav"
    grep -q "^wobblemeter: cannot write the readings: " "$dir/err" || { echo "FAIL: full disk: $(cat "$dir/err")"; failures=$((failures + 1)); }
    expect 1 "JSON to a full disk" sh -c '"$1" --json "$2" >/dev/full' sh "$meter" "$dir/tone.wav"
fi

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
