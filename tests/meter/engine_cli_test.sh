#!/bin/sh
# wobblemeter through its binary on what the measuring engine decides: swings too wide for the
# demodulator (read right or refused with one message), refusals that name the real reason,
# the per-second log and its window, and memory that does not grow with the file's length.
# Arguments: the wobblemeter and wobblegen-cli executables, and 1 when built with sanitizers
# (the memory check is then skipped: the sanitizers' own memory would swamp it).
set -u
meter=$1
generator=$2
sanitized=${3:-0}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run STATUS DESCRIPTION ARGS...: runs the meter, checks its exit status.
run() {
    want=$1 what=$2
    shift 2
    "$meter" "$@" >"$dir/out" 2>"$dir/err"
    got=$?
    [ "$got" -eq "$want" ] || { fail "$what: exit status $got, expected $want: $(cat "$dir/err")"; }
}

# Swings beyond the default band of +-400 Hz: read right in a band sized to them, up to the
# widest the carrier and the rate allow; beyond that, the same refusal at every level.
for level in 10 20 40 60 80; do
    "$generator" --level "$level" --duration 12 -o "$dir/swing.wav" >/dev/null
    run 0 "a $level % swing" "$dir/swing.wav"
    awk -v l="$level" '/^Weighted peak:/ { r = $3; e = 0.99692 * l;
        if (r < 0.99 * e || r > 1.01 * e) { print "reads " r " %, expected " e; exit 1 } }' \
        "$dir/out" || fail "a $level % swing: $(grep '^Weighted peak' "$dir/out")"
done
for level in 90 100; do
    "$generator" --level "$level" --duration 12 -o "$dir/swing.wav" >/dev/null
    run 1 "a $level % swing" "$dir/swing.wav"
    grep -q "the frequency swings beyond ±[0-9]* Hz around [0-9.]* Hz (88.9 % of it)" "$dir/err" ||
        fail "a $level % swing: $(cat "$dir/err")"
done

# Refusals that say the real reason, with numbers that agree with it.
"$generator" --duration 12 -o "$dir/tone.wav" >/dev/null
run 1 "--carrier 500 on a 3150 Hz tone" --carrier 500 "$dir/tone.wav"
grep -q "no tone near 500.0 Hz: .* carries 0 % of the signal's power; the strongest line lies at 3150.0 Hz" \
    "$dir/err" || fail "--carrier 500: $(cat "$dir/err")"
"$generator" --level 0 --center 20000 --duration 12 -o "$dir/edge.wav" >/dev/null
run 0 "a pure 20000 Hz tone" "$dir/edge.wav"
grep -q "^Carrier: *20000.000 Hz" "$dir/out" || fail "20000 Hz: $(cat "$dir/out")"
"$generator" --level 0 --center 499.95 --duration 12 -o "$dir/edge.wav" >/dev/null
run 1 "a pure 499.95 Hz tone" "$dir/edge.wav"
grep -q "499.950 Hz, lies outside the carrier range 500 to 20000 Hz" "$dir/err" ||
    fail "499.95 Hz: $(cat "$dir/err")"
if command -v sox >/dev/null 2>&1; then
    sox -n -r 44100 -b 16 -c 1 "$dir/two.wav" synth 12 sine 3150 sine 3300 channels 1 gain -n -6
    run 1 "two equal tones" "$dir/two.wav"
    grep -q "two tones, at 3150.0 and 3300.0 Hz, beat with each other" "$dir/err" ||
        fail "two tones: $(cat "$dir/err")"
fi

# The log: a header with units, one row per second from 0 s, empty fields until a figure
# exists, the window setting when the readings over it form.
"$generator" --duration 20 -o "$dir/tone.wav" >/dev/null
run 0 "--log" --log "$dir/log.csv" "$dir/tone.wav"
[ "$(head -1 "$dir/log.csv")" = "time (s),carrier (Hz),speed error (%),weighted two-sigma (%),unweighted two-sigma (%),weighted RMS (%),modulation (Hz),tone present,weighted quasi-peak (%),wow RMS (%),flutter RMS (%),drift (%)" ] ||
    fail "log header: $(head -1 "$dir/log.csv")"
[ "$(wc -l <"$dir/log.csv")" -eq 21 ] || fail "log rows: $(wc -l <"$dir/log.csv")"
awk -F, 'NR > 1 && $1 != NR - 2 { print "row " NR ": time " $1; bad = 1 }
    NR == 2 && $4 != "" { print "a figure at 0 s"; bad = 1 }
    NR == 10 && ($4 < 0.98 || $4 > 1.01 || $7 != "4.000" || $8 != 1) { print "second 8: " $0; bad = 1 }
    NR == 10 && ($9 < 0.99 || $9 > 1.01 || $10 < 0.49 || $10 > 0.51 || $11 < 0.49 || $11 > 0.51 ||
                 $12 == "" || $12 > 0.002) { print "second 8, quasi-peak to drift: " $0; bad = 1 }
    END { exit bad }' "$dir/log.csv" || fail "log rows: $(sed -n 1,12p "$dir/log.csv")"
run 0 "--log --window 10" --log "$dir/log.csv" --window 10 "$dir/tone.wav"
awk -F, '(NR == 14 && $4 != "") || (NR == 15 && $4 == "") { bad = 1 } END { exit bad }' \
    "$dir/log.csv" || fail "--window 10: $(sed -n 13,16p "$dir/log.csv")"
run 2 "--window 0" --window 0 "$dir/tone.wav"
run 1 "--log into a missing directory" --log "$dir/none/log.csv" "$dir/tone.wav"
grep -q "cannot write the log" "$dir/err" || fail "unwritable log: $(cat "$dir/err")"
[ ! -s "$dir/out" ] || fail "unwritable log: readings printed: $(cat "$dir/out")"

# Memory does not grow with the file's length: two hours at 8 kHz within 5 MiB of half an hour.
if [ "$sanitized" != 1 ] && [ -x /usr/bin/time ]; then
    peak() {  # peak resident memory of measuring SECONDS at 8 kHz, KiB
        "$generator" --rate 8000 --duration "$1" -o "$dir/long.wav" >/dev/null
        /usr/bin/time -f %M "$meter" "$dir/long.wav" 2>&1 >/dev/null | tail -1
        rm -f "$dir/long.wav"
    }
    short=$(peak 1800)
    long=$(peak 7200)
    [ $((long - short)) -le 5120 ] || fail "memory grows: $short KiB for 30 min, $long KiB for 2 h"
fi

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
