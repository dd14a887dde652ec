#!/bin/sh
# wobblemeter's exit statuses, messages and output forms: usage errors 2, unmeasurable files and
# lost output 1 with one line on stderr, readings 0. Arguments: the wobblemeter and wobblegen-cli
# executables.
set -u
meter=$1
generator=$2
dir=$(mktemp -d)
trap 'umount "$dir/small" 2>/dev/null; rm -rf "$dir"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

expect() {  # expect STATUS DESCRIPTION COMMAND...
    want=$1 what=$2
    shift 2
    "$@" >"$dir/out" 2>"$dir/err"
    got=$?
    [ "$got" -eq "$want" ] || { fail "$what: exit status $got, expected $want"; cat "$dir/err"; }
}

# The whole of stderr is this one line.
expect_message() {  # expect_message DESCRIPTION LINE
    [ "$(cat "$dir/err")" = "$2" ] && [ "$(wc -l <"$dir/err")" -eq 1 ] ||
        fail "$1: stderr is '$(cat "$dir/err")', expected '$2'"
}

expect_no_output() {  # nothing on stdout: nothing was measured
    [ ! -s "$dir/out" ] || fail "$1: stdout is not empty: $(head -c 200 "$dir/out")"
}

# A reading of the JSON object on stdout, printed with six decimals.
reading() {
    python3 -c 'import json, sys; print("%.6f" % json.load(open(sys.argv[1]))[sys.argv[2]])' \
        "$dir/out" "$1"
}

expect_near() {  # expect_near DESCRIPTION VALUE EXPECTED TOLERANCE
    awk -v v="$2" -v e="$3" -v t="$4" 'BEGIN { d = v - e; exit !(d <= t && -d <= t) }' ||
        fail "$1: $2, expected $3 +- $4"
}

# A complete PNG of the plot's size: every chunk's CRC right, IEND last, nothing after it.
valid_png() {
    python3 - "$1" <<'EOF'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "signature"
at, names = 8, []
while at < len(data):
    length, name = struct.unpack(">I4s", data[at:at + 8])
    body = data[at + 8:at + 8 + length]
    crc, = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
    assert zlib.crc32(name + body) == crc, "CRC of " + repr(name)
    if name == b"IHDR":
        # Below the spectrum, the speed error's panel: the plot is 970 pixels high.
        assert struct.unpack(">II", body[:8]) == (1000, 970), "size"
    names.append(name)
    at += 12 + length
assert names[0] == b"IHDR" and names[-1] == b"IEND" and at == len(data), names
EOF
}

valid_svg() {
    python3 -c 'import sys, xml.etree.ElementTree as t; assert t.parse(sys.argv[1]).getroot().tag.endswith("svg")' "$1"
}

"$generator" --rate 22050 --duration 10 --level 0.5 -o "$dir/tone.wav" >/dev/null || exit 1
tone=$dir/tone.wav

# --- Usage errors: status 2, one line, nothing measured, no plot left behind.
expect 2 "no file" "$meter"
expect 2 "unknown option" "$meter" --frobnicate "$tone"
expect 2 "channel 0" "$meter" --channel 0 "$tone"
expect 2 "hexadecimal channel" "$meter" --channel 0x1 "$tone"
expect_message "hexadecimal channel" \
    "wobblemeter: --channel: '0x1' is not allowed: give a whole number from 1 to 1024 (see --help)"
expect 2 "channel with an exponent" "$meter" --channel 1e1 "$tone"
expect 2 "carrier nan" "$meter" --carrier nan --plot "$dir/usage.png" "$tone"
expect_message "carrier nan" \
    "wobblemeter: --carrier: 'nan' is not allowed: give a decimal number of Hz from 500 to 20000 (see --help)"
expect_no_output "carrier nan"
[ ! -e "$dir/usage.png" ] || fail "a refused command line left a plot"
expect 2 "carrier inf" "$meter" --carrier inf "$tone"
expect 2 "hexadecimal carrier" "$meter" --carrier 0xC4E "$tone"
expect 2 "carrier just below the range" "$meter" --carrier 499.99 "$tone"
expect 2 "carrier just above the range" "$meter" --carrier 20000.01 "$tone"
expect 2 "nominal nan" "$meter" --nominal nan "$tone"
expect_message "nominal nan" \
    "wobblemeter: --nominal: 'nan' is not allowed: give a decimal number of Hz from 1 to 1000000 (see --help)"
expect 2 "nominal beyond any double" "$meter" --nominal 1e999 "$tone"
expect 2 "hexadecimal nominal" "$meter" --nominal 0x10 "$tone"
expect 2 "hexadecimal capture rate" "$meter" --live --record "$dir/r.wav" --rate 0x1F40
expect 2 "capture duration nan" "$meter" --live --record "$dir/r.wav" --duration nan
expect 2 "capture duration 0" "$meter" --live --record "$dir/r.wav" --duration 0
expect_message "capture duration 0" \
    "wobblemeter: --duration: '0' is not allowed: give a decimal number of s above 0 (see --help)"
expect 2 "hexadecimal window" "$meter" --log "$dir/w.csv" --window 0x5 "$tone"
expect 2 "window inf" "$meter" --log "$dir/w.csv" --window inf "$tone"
expect 2 "plot of unknown type" "$meter" --plot "$dir/plot.jpg" "$tone"
expect 2 "plot without a name" "$meter" --plot '' "$tone"
expect_message "plot without a name" "wobblemeter: --plot: '' must end in .png or .svg (see --help)"
expect_no_output "plot without a name"

# --- Numbers are decimal, whatever their leading zeros.
expect 1 "channel 010 is channel 10" "$meter" --channel 010 "$tone"
expect_message "channel 010" "wobblemeter: $tone: channel 10 does not exist: the file has 1"
expect 0 "channel 0001" "$meter" --channel 0001 "$tone"
expect 0 "window 05" "$meter" --log "$dir/w.csv" --window 05 "$tone"
expect 0 "nominal 03000" "$meter" --nominal 03000 --carrier 3.15e3 "$tone"
grep -qx "Carrier: *3150.000 Hz (nominal 3000 Hz, speed error +5.000 %)" "$dir/out" ||
    fail "nominal 03000: $(grep Carrier "$dir/out")"
# 08000 is no octal number but decimal 8000: refused only for the device that is not there.
expect 1 "capture rate 08000" "$meter" --live --record "$dir/r.wav" --rate 08000 --device nosuch
! grep -q -- "--rate" "$dir/err" || fail "capture rate 08000: $(cat "$dir/err")"

# White space around a number is ignored for every numeric option but --rpm.
expect 0 "channel with blanks around it" "$meter" --channel " 1	" "$tone"
expect 0 "window with blanks around it" "$meter" --log "$dir/w.csv" --window " 5 " "$tone"

# --- --rpm names a speed: one of six spellings (trailing zeros after the point aside), in
# digits alone; anything else is refused with status 2 and the one line naming them.
rpm_choices="33, 33.3, 33.33 or 33.333 (33 1/3), 45 or 78"
for rpm in 0x2D 0x21 0x4e 33.1 33.2 33.34 33.3333 " 45" "45 " "	78" +45 4.5e1 inf nan ""; do
    expect 2 "rpm '$rpm'" "$meter" --rpm "$rpm" "$tone"
    # The tab given is shown as \t, as every control character in a message.
    shown=$(printf '%s\n' "$rpm" | sed 's/\t/\\t/g')
    expect_message "rpm '$rpm'" "wobblemeter: --rpm: '$shown' is not allowed: give $rpm_choices, written without spaces (see --help)"
    expect_no_output "rpm '$rpm'"
done
expect 0 "help" "$meter" --help
grep -qF -- "$rpm_choices" "$dir/out" || fail "--help does not name the speeds: $(grep -- --rpm "$dir/out")"
for rpm in 33 33.3 33.33 33.333 33.330 45 45.0 78 78.00; do
    case $rpm in 33*) platter="33 1/3 rpm" ;; *) platter="${rpm%%.*} rpm" ;; esac
    expect 0 "rpm $rpm" "$meter" --rpm "$rpm" "$tone"
    grep -q "^Platter: *$platter (" "$dir/out" || fail "rpm $rpm: $(grep Platter "$dir/out")"
done

# --- Files that cannot be measured: status 1, one line.
expect 1 "missing file" "$meter" "$dir/missing.wav"
expect_message "missing file" "wobblemeter: $dir/missing.wav: cannot open it: No such file or directory"
expect 1 "channel beyond the file's" "$meter" --channel 2 "$tone"
# A copy that lost its last few bytes is truncated, not complete.
head -c -3 "$tone" >"$dir/cut.wav"
expect 1 "file cut by 3 bytes" "$meter" "$dir/cut.wav"
expect_message "file cut by 3 bytes" \
    "wobblemeter: $dir/cut.wav: the file is truncated: 3 bytes of the audio its header declares are missing"
head -c -1 "$tone" >"$dir/cut1.wav"
expect 1 "file cut by 1 byte" "$meter" "$dir/cut1.wav"
expect_message "file cut by 1 byte" \
    "wobblemeter: $dir/cut1.wav: the file is truncated: 1 byte of the audio its header declares is missing"

# A name cannot forge a line nor send the terminal controls: the newline and ESC in it are
# escaped, and the file's failure stays one line.
forged=$(printf 'evil\nwobblemeter: %s: forged \033[2J.wav' "$tone")
expect 1 "forged name" "$meter" "$tone" "$forged"
expect_message "forged name" \
    "wobblemeter: evil\\nwobblemeter: $tone: forged \\x1B[2J.wav: cannot open it: No such file or directory"
! grep -q "$(printf '\033')" "$dir/err" || fail "forged name: an ESC byte on stderr"
grep -q "^Carrier" "$dir/out" || fail "forged name: the good file is not measured"

# --- The carrier range, 500 Hz to 20 kHz: tones found near both ends, and mixed at both ends
# with --carrier (tones half a hertz inside: a tone at the very limit whose wow averages a
# little beyond it is refused).
for carrier in 500.5 550 19000 19999.5; do
    "$generator" --rate 48000 --center "$carrier" --duration 9 -o "$dir/c$carrier.wav" >/dev/null ||
        fail "cannot write a $carrier Hz tone"
done
for carrier in 550 19000 "500.5 --carrier 500" "19999.5 --carrier 20000"; do
    set -- $carrier
    tone_hz=$1
    shift
    expect 0 "$carrier Hz tone" "$meter" --json "$@" "$dir/c$tone_hz.wav"
    expect_near "$carrier Hz tone: carrier" "$(reading carrier_hz)" "$tone_hz" 0.01
    expect_near "$carrier Hz tone: weighted" "$(reading weighted_peak_percent)" 0.99692 0.001
done

# --- Readings.
expect 0 "summary" "$meter" "$tone"
grep -q "^Weighted peak: *0.49" "$dir/out" || fail "summary: $(cat "$dir/out")"
[ ! -s "$dir/err" ] || fail "stderr not empty when not a terminal: $(cat "$dir/err")"

# JSON is valid UTF-8 whatever the file name: bytes that are not UTF-8 become U+FFFD.
name=$(printf 'take-\377-"q"-\001-\342\202-\303\274.wav')
cp "$tone" "$dir/$name"
expect 0 "json" "$meter" --json --plot "$dir/plot.png" "$dir/$name"
python3 - "$dir/out" "$dir" <<'EOF' || fail "json: $(cat "$dir/out")"
import json, sys
reading = json.loads(open(sys.argv[1], "rb").read().decode("utf-8"))  # strict UTF-8
assert reading["file"] == sys.argv[2] + '/take-\ufffd-"q"-\x01-\ufffd-\u00fc.wav', reading["file"]
assert list(reading) == ["file", "sample_rate", "channel", "carrier_hz", "nominal_hz",
                         "speed_error_percent", "weighted_peak_percent",
                         "unweighted_peak_percent", "weighted_quasi_peak_percent",
                         "weighted_rms_percent", "unweighted_rms_percent", "wow_rms_percent",
                         "flutter_rms_percent", "drift_percent", "speed_error_range_percent",
                         "modulation_hz", "rpm", "once_per_revolution_percent",
                         "remaining_rms_percent", "duration_s", "measured_s", "start_s",
                         "dropouts", "overruns", "lost_frames", "lines"], list(reading)
assert reading["overruns"] == 0 and reading["lost_frames"] == 0, reading
assert abs(reading["weighted_peak_percent"] - 0.49846) < 0.0005, reading
assert reading["sample_rate"] == 22050 and reading["dropouts"] == 0, reading
assert abs(reading["lines"][0]["hz"] - 4.0) < 0.01, reading["lines"]
EOF
valid_png "$dir/plot.png" || fail "json and plot: not a whole PNG"

# --- Plots: a path that cannot be written is found before measuring; a plot that cannot be
# written whole leaves nothing behind and an earlier plot as it was; a device is written in
# place and kept.
expect 1 "plot into a missing directory" "$meter" --plot "$dir/none/plot.SVG" "$tone"
expect_message "plot into a missing directory" \
    "wobblemeter: cannot write the plot $dir/none/plot.SVG: No such file or directory"
expect_no_output "plot into a missing directory"
mkdir "$dir/folder.png"
expect 1 "plot onto a directory" "$meter" --plot "$dir/folder.png" "$tone"
expect_message "plot onto a directory" "wobblemeter: cannot write the plot $dir/folder.png: Is a directory"
expect_no_output "plot onto a directory"
expect 1 "plot of a file that cannot be measured" "$meter" --plot "$dir/new.png" "$dir/missing.wav"
[ ! -e "$dir/new.png" ] || fail "a plot was left for a file that could not be measured"
echo "an earlier plot" >"$dir/old.png"
expect 1 "earlier plot, file that cannot be measured" "$meter" --plot "$dir/old.png" "$dir/cut.wav"
[ "$(cat "$dir/old.png")" = "an earlier plot" ] || fail "an earlier plot was changed for nothing"
echo "an earlier plot" >"$dir/big.png"
for plot in big.png big.svg; do
    # 16 blocks of 512 or 1024 bytes: too few for either plot.
    expect 1 "$plot beyond the file-size limit" sh -c 'ulimit -f 16 && exec "$@"' sh \
        "$meter" --plot "$dir/$plot" "$tone"
    expect_message "$plot beyond the file-size limit" \
        "wobblemeter: cannot write the plot $dir/$plot: File too large"
    grep -q "^Weighted peak" "$dir/out" || fail "$plot: no readings"
done
[ "$(cat "$dir/big.png")" = "an earlier plot" ] || fail "a plot that could not be written replaced an earlier one"
# A log cut short by the limit as it grows: said so, and the readings still go out.
"$generator" --rate 8000 --duration 30 -o "$dir/long.wav" >/dev/null  # a log of 2.4 KB
# 2 blocks of 512 bytes: the summary (some 650 bytes) fits, the log does not.
expect 1 "log beyond the file-size limit" sh -c 'ulimit -f 2 && exec "$@"' sh \
    "$meter" --log "$dir/big.csv" "$dir/long.wav"
expect_message "log beyond the file-size limit" \
    "wobblemeter: cannot write the log $dir/big.csv: File too large"
grep -q "^Weighted peak" "$dir/out" || fail "log beyond the file-size limit: no readings"
[ ! -e "$dir/big.svg" ] || fail "a partial plot stays"
[ "$(find "$dir" -name '.big*')" = "" ] || fail "a temporary plot stays: $(find "$dir" -name '.big*')"
# A real full file system, where one can be mounted (as root).
mkdir "$dir/small"
if mount -t tmpfs -o size=64k tmpfs "$dir/small" 2>/dev/null; then
    echo "an earlier plot" >"$dir/small/plot.png"
    head -c 40000 /dev/zero >"$dir/small/filler"
    expect 1 "plot on a full disk" "$meter" --plot "$dir/small/plot.png" "$tone"
    expect_message "plot on a full disk" \
        "wobblemeter: cannot write the plot $dir/small/plot.png: No space left on device"
    [ "$(ls -A "$dir/small" | tr '\n' ' ')" = "filler plot.png " ] &&
        [ "$(cat "$dir/small/plot.png")" = "an earlier plot" ] ||
        fail "plot on a full disk: $(ls -A "$dir/small")"
    umount "$dir/small"
fi
if [ -w /dev/full ]; then
    ln -s /dev/full "$dir/full.png"
    expect 1 "plot to a full device" "$meter" --plot "$dir/full.png" "$tone"
    expect_message "plot to a full device" \
        "wobblemeter: cannot write the plot $dir/full.png: No space left on device"
    [ -L "$dir/full.png" ] && [ -c /dev/full ] || fail "plot to a full device: the device was removed"
fi
# Ended while it reads a long recording (18 hours of 8 kHz silence, a sparse file): the
# unfinished plot goes.
python3 - "$dir/pending.wav" <<'EOF'
import struct, sys
n = 0x7FFF0000
with open(sys.argv[1], "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", 36 + n) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, 8000, 16000, 2, 16) + b"data" + struct.pack("<I", n))
    f.truncate(44 + n)
EOF
echo "an earlier plot" >"$dir/ended.png"
"$meter" --plot "$dir/ended.png" "$dir/pending.wav" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 50); do
    [ -n "$(find "$dir" -name '.ended.png.*')" ] && break
    sleep 0.1
done
kill -TERM "$pid"
wait "$pid" 2>/dev/null  # without the shell's note of the ended job
status=$?
[ "$status" -eq 143 ] || fail "ended while measuring: exit status $status, expected 143"
rm -f "$dir/pending.wav"
[ -z "$(find "$dir" -name '.ended.png.*')" ] || fail "ended while measuring: a temporary plot stays"
[ "$(cat "$dir/ended.png")" = "an earlier plot" ] || fail "ended while measuring: the earlier plot changed"
expect 0 "svg plot" "$meter" --plot "$dir/plot.svg" "$tone"
valid_svg "$dir/plot.svg" || fail "svg plot: not valid XML"

# --- Standard output lost (closed at start, full, a pipe without reader): status 1 and one line,
# never a signal; the plot is still written.
expect 1 "standard output closed" sh -c 'exec "$@" >&-' sh "$meter" --plot "$dir/p1.png" "$tone"
expect_message "standard output closed" \
    "wobblemeter: cannot write the readings to standard output: it was closed (the plot $dir/p1.png is written)"
valid_png "$dir/p1.png" || fail "standard output closed: the plot is not a whole PNG"
if [ -w /dev/full ]; then
    expect 1 "readings to a full disk" sh -c 'exec "$@" >/dev/full' sh "$meter" --plot "$dir/p2.svg" "$tone"
    expect_message "readings to a full disk" \
        "wobblemeter: cannot write the readings to standard output: No space left on device (the plot $dir/p2.svg is written)"
    valid_svg "$dir/p2.svg" || fail "readings to a full disk: the plot is not valid"
    expect 1 "JSON to a full disk" sh -c 'exec "$@" >/dev/full' sh "$meter" --json "$tone"
    expect_message "JSON to a full disk" \
        "wobblemeter: cannot write the readings to standard output: No space left on device"
    expect 1 "help to a full disk" sh -c 'exec "$@" >/dev/full' sh "$meter" --help
fi
# The reader has gone by the time the readings are written.
{ sleep 0.3; "$meter" --plot "$dir/p3.png" "$tone" 2>"$dir/err"; echo $? >"$dir/status"; } | true
[ "$(cat "$dir/status")" = 1 ] || fail "dead pipe: exit status $(cat "$dir/status"), expected 1"
expect_message "dead pipe" \
    "wobblemeter: cannot write the readings to standard output: Broken pipe (the plot $dir/p3.png is written)"
valid_png "$dir/p3.png" || fail "dead pipe: the plot is not a whole PNG"

# --- Several files: each measured, in order, a failure in its place and status 1.
tone2="$dir/second.wav"
"$generator" --rate 48000 --center 3000 --duration 9 --level 0.3 -o "$tone2" >/dev/null || exit 1
expect 1 "several files as CSV" "$meter" --csv "$tone" "$dir/none.wav" "$tone2"
python3 - "$dir/out" "$tone" "$dir/none.wav" "$tone2" <<'EOF' || fail "several files as CSV"
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="")))
header = rows[0]
assert header[0] == "file" and header[-1] == "error", header
for key in ("weighted_quasi_peak_percent", "wow_rms_percent", "flutter_rms_percent",
            "drift_percent", "once_per_revolution_percent"):
    assert key in header, key
assert [r[0] for r in rows[1:]] == sys.argv[2:5], rows
assert all(len(r) == len(header) for r in rows), [len(r) for r in rows]
first, missing, second = (dict(zip(header, r)) for r in rows[1:])
assert abs(float(first["weighted_peak_percent"]) - 0.4985) < 0.0005 and first["error"] == "", first
assert abs(float(second["weighted_peak_percent"]) - 0.2991) < 0.0005, second
assert abs(float(second["weighted_quasi_peak_percent"]) - 0.3) < 0.003, second
assert missing["error"].startswith("cannot open it"), missing
assert all(missing[k] == "" for k in header[1:-1]), missing
EOF
grep -q "^wobblemeter: $dir/none.wav: cannot open it" "$dir/err" ||
    fail "several files: no message for the missing one: $(cat "$dir/err")"
expect 1 "several files as JSON" "$meter" --json "$tone" "$dir/none.wav"
python3 - "$dir/out" <<'EOF' || fail "several files as JSON"
import json, sys
items = json.load(open(sys.argv[1]))
assert len(items) == 2 and "weighted_peak_percent" in items[0], items
assert set(items[1]) == {"file", "error"}, items[1]
EOF
expect 0 "several files summarised" "$meter" "$tone" "$tone2"
[ "$(grep -c '^File: ' "$dir/out")" -eq 2 ] || fail "several summaries: $(cat "$dir/out")"
# One empty line between two summaries, none before the first.
[ "$(grep -B1 '^File: ' "$dir/out" | head -n 1 | cut -c1-5)" = "File:" ] &&
    [ "$(grep -B1 '^File: ' "$dir/out" | tail -n 2 | head -n 1)" = "" ] ||
    fail "several summaries not set apart by one empty line: $(cat "$dir/out")"
# On a terminal, a batch that takes a while (eight 2-minute files: a second or more) counts the
# files done on one line, redrawn in place, and erases it before it ends; it never shows all of
# them done, as the readings follow at once.
on_terminal() { python3 "$(dirname "$0")/on_terminal.py" "$@"; }
"$generator" --rate 48000 --duration 120 -o "$dir/minutes.wav" >/dev/null || exit 1
on_terminal 80 "$dir/tty" "$dir/out" "$meter" --csv "$dir/minutes.wav" "$dir/minutes.wav" \
    "$dir/minutes.wav" "$dir/minutes.wav" "$dir/minutes.wav" "$dir/minutes.wav" \
    "$dir/minutes.wav" "$dir/minutes.wav" ||
    fail "a batch on a terminal: exit status $?: $(cat "$dir/tty")"
[ "$(wc -l <"$dir/out")" -eq 9 ] || fail "a batch on a terminal: $(wc -l <"$dir/out") lines of CSV"
python3 - "$dir/tty" <<'EOF' || fail "a batch on a terminal (above)"
import re, sys
shown = open(sys.argv[1], "rb").read().decode()
counts = re.findall(r"\rwobblemeter: measured (\d+) of 8 files", shown)
assert all(0 < int(n) < 8 for n in counts), counts
erase = "\r" + " " * 50 + "\r"
assert re.fullmatch(r"(\rwobblemeter: measured \d+ of 8 files(%s)?)*" % erase, shown), repr(shown)
assert not counts or shown.endswith(erase), repr(shown)
EOF
expect 2 "several files and a plot" "$meter" --plot "$dir/several.png" "$tone" "$tone2"
expect 2 "csv and json" "$meter" --csv --json "$tone"

# --- The verification set: all 16 files pass at both carriers; a wrong expectation fails.
"$generator" --calibration-set "$dir/set" >/dev/null || fail "writing the verification set"
expect 0 "verify the set" "$meter" --verify "$dir/set"
grep -q "^All 32 readings of 16 files pass." "$dir/out" || fail "verify: $(tail -3 "$dir/out")"
[ "$(grep -c ' pass (' "$dir/out")" -eq 32 ] || fail "verify: $(grep -v ' pass (' "$dir/out")"
for carrier in 3150 3000; do
    for n in 1 2 3 4 5 6 7 8; do
        [ "$(grep -c "^${carrier}Hz-$n.wav .* pass (" "$dir/out")" -eq 2 ] ||
            fail "verify: ${carrier}Hz-$n.wav does not pass both readings"
    done
done
# Every file passes, but the table cannot be written: a failure, and the reason.
if [ -w /dev/full ]; then
    expect 1 "verify to a full disk" sh -c 'exec "$@" >/dev/full' sh "$meter" --verify "$dir/set"
    expect_message "verify to a full disk" \
        "wobblemeter: cannot write the table to standard output: No space left on device"
fi
sed -i 's/^3000Hz-6.wav,6,3000,48000,0.8,0.1,0.0997,0.0499$/3000Hz-6.wav,6,3000,48000,0.8,0.1,0.0997,0.0520/' \
    "$dir/set/expected.csv"
expect 1 "verify a wrong expectation" "$meter" --verify "$dir/set"
grep -q "^3000Hz-6.wav .*weighted  *0.052 .*FAIL (beyond" "$dir/out" ||
    fail "wrong expectation: $(grep 3000Hz-6 "$dir/out")"
# A table that is not whole, or not a file, is refused with one line before any file is read.
mkdir "$dir/bare"
sed 1d "$dir/set/expected.csv" >"$dir/bare/expected.csv"
expect 1 "verify a table without its header" "$meter" --verify "$dir/bare"
expect_message "table without its header" "wobblemeter: $dir/bare/expected.csv, line 1: not the table's header 'file,signal,carrier_hz,sample_rate_hz,modulation_hz,deviation_percent,unweighted_2sigma_percent,weighted_2sigma_percent'"
expect_no_output "table without its header"
rm "$dir/bare/expected.csv" && mkfifo "$dir/bare/expected.csv"
expect 1 "verify a FIFO table" timeout 5 "$meter" --verify "$dir/bare"
expect_message "FIFO table" "wobblemeter: cannot read $dir/bare/expected.csv: not a regular file"
expect 2 "verify with a file" "$meter" --verify "$dir/set" "$tone"
expect 2 "verify without a directory" "$meter" --verify ""

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
