#!/bin/sh
# wobblemeter --list-devices and --live on capture devices made of ALSA file plugins, without
# sound card or daemon: live readings equal to the file mode's on the same tone, a tone that
# starts late, stops for a while and stops early, a steady tone's speed read exactly in every
# second it fills, --json, --log and --record, the tone's exact samples from the chosen channel,
# a PCM opened by its ALSA name, errors as one line and status 1 without delay, and none of the
# audio libraries' own chatter. Arguments: wobblemeter,
# wobblegen-cli, the capture device tests.
set -u
meter=$1
generator=$2
device_tests=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# A private ALSA configuration (~/.asoundrc), and no sound server to reach or to start.
export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" PULSE_CLIENTCONFIG="$dir/client.conf"
export JACK_NO_START_SERVER=1
unset PULSE_SERVER ALSA_CONFIG_PATH
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
# Under AddressSanitizer, leaks are looked for in a few runs only: they must unwind slowly to
# pass ALSA's unloaded plugin modules (see lsan_suppressions.txt), a second or two per run.
leak_check=fast_unwind_on_malloc=0
no_leak_check=detect_leaks=0

# The meter captures 32-bit little-endian floats with as many channels as the chosen channel's
# number: the infiles hold exactly that, so that ALSA converts nothing.
raw() { sox "$1" -t raw -e floating-point -b 32 -L "$2"; }
"$generator" --rate 44100 --duration 3 --level 0.5 -o "$dir/tone.wav" >/dev/null &&
    "$generator" --rate 48000 --duration 3 --center 1000 -o "$dir/left.wav" >/dev/null &&
    "$generator" --rate 48000 --duration 3 -o "$dir/right.wav" >/dev/null &&
    "$generator" --rate 48000 --duration 8 -o "$dir/long.wav" >/dev/null &&
    raw "$dir/tone.wav" "$dir/tone.f32" && raw "$dir/right.wav" "$dir/right.f32" &&
    raw "$dir/long.wav" "$dir/long.f32" &&
    sox -M "$dir/left.wav" "$dir/right.wav" -t raw -e floating-point -b 32 -L "$dir/stereo.f32" ||
    exit 1
# The default tone, 30 s (the device outlasts the 20 s read); and the same 20 s long as a file.
"$generator" --rate 48000 --duration 30 -o "$dir/measure.wav" >/dev/null &&
    "$generator" --rate 48000 --duration 20 -o "$dir/twenty.wav" >/dev/null &&
    raw "$dir/measure.wav" "$dir/measure.f32" || exit 1
# A tape's leader, the tone, a gap, the tone again and the end of the tape: 3 s of hiss, 10 s of
# tone, 2 s of silence, 12 s of tone, 3 s of hiss.
"$generator" --rate 48000 --duration 10 -o "$dir/ten.wav" >/dev/null &&
    "$generator" --rate 48000 --duration 12 -o "$dir/twelve.wav" >/dev/null &&
    sox -n -r 48000 -c 1 -t raw -e floating-point -b 32 -L "$dir/hiss.f32" synth 3 whitenoise \
        vol 0.01 && raw "$dir/ten.wav" "$dir/ten.f32" && raw "$dir/twelve.wav" "$dir/twelve.f32" &&
    head -c $((2 * 48000 * 4)) /dev/zero >"$dir/silence.f32" || exit 1
cat "$dir/hiss.f32" "$dir/ten.f32" "$dir/silence.f32" "$dir/twelve.f32" "$dir/hiss.f32" \
    >"$dir/gaps.f32"
# A test record at 33 1/3 rpm swinging 0.1 % once per revolution, 15 s.
"$generator" --rate 48000 --duration 15 --mod 0.55556 --level 0.1 -o "$dir/record.wav" >/dev/null &&
    raw "$dir/record.wav" "$dir/record.f32" || exit 1
# A tone at constant speed from a phase our generator never starts at: from 0.37 s to 10.97 s,
# then from 12.8 s (its phase restarting) to the end at 21.2 s.
python3 - "$dir/steady.f32" <<'EOF' || exit 1
import math, struct, sys
rate, samples = 48000, []
for i in range(int(21.2 * rate)):
    t = i / rate
    cycles = 3150.0 * t - math.floor(3150.0 * t)
    phase = 2 * math.pi * cycles - 0.8 + (1.9 if t >= 12.8 else 0.0)
    samples.append(0.0 if t < 0.37 or 10.97 <= t < 12.8 else 0.5 * math.sin(phase))
open(sys.argv[1], "wb").write(struct.pack("<%df" % len(samples), *samples))
EOF
for name in tone stereo long measure gaps record steady; do
    cat <<EOF
pcm.${name}file {
    type file
    slave.pcm "null"
    file "/dev/null"
    infile "$dir/$name.f32"
    format "raw"
}
EOF
done >"$HOME/.asoundrc"

# run STATUS DESCRIPTION ARGUMENTS...: runs the meter (at most 10 s) and checks its status.
asan=$no_leak_check
run() {
    want=$1 what=$2
    shift 2
    ASAN_OPTIONS=$asan timeout 10 "$meter" "$@" >"$dir/out" 2>"$dir/err"
    got=$?
    [ "$got" -eq "$want" ] || { fail "$what: exit status $got, expected $want"; cat "$dir/err"; }
}
# one_line WHAT TEXT: stderr is one line holding TEXT.
one_line() {
    [ "$(wc -l <"$dir/err")" -eq 1 ] && grep -q "$2" "$dir/err" ||
        fail "$1: stderr is not one line with '$2': $(cat "$dir/err")"
}
quiet() { [ ! -s "$dir/err" ] || fail "$1: stderr not empty: $(head -c 300 "$dir/err")"; }
# ours WHAT: stderr holds only the meter's own lines (a line per second, or its messages).
ours() {
    ! grep -v -E '^ *[0-9]+ s  |^wobblemeter: ' "$dir/err" >/dev/null ||
        fail "$1: stderr holds lines not the meter's: $(grep -v -E '^ *[0-9]+ s  |^wobblemeter: ' "$dir/err" | head -3)"
}
# json_field FILE KEY: a number from the meter's JSON.
json_field() { python3 -c "import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])" "$1" "$2"; }
# same_samples WHAT WAV RAW FRAMES RATE: the recording holds FRAMES frames at RATE, the RAW's first.
same_samples() {
    [ "$(soxi -V1 -s "$2" 2>/dev/null)" = "$4" ] || fail "$1: $(soxi -V1 -s "$2" 2>&1) frames, expected $4"
    [ "$(soxi -V1 -r "$2" 2>/dev/null)" = "$5" ] || fail "$1: rate $(soxi -V1 -r "$2" 2>&1), expected $5"
    sox -V1 "$2" -t raw "$dir/got.f32" 2>/dev/null
    cmp -s -n $(($4 * 4)) "$dir/got.f32" "$3" || fail "$1: not the file's samples"
}

run 0 "list" --list-devices
quiet "list"
for name in tonefile stereofile; do
    grep -q " $name\$" "$dir/out" || fail "list lacks $name: $(cat "$dir/out")"
done

# Live readings are the file mode's on the same tone, to every digit: the same samples reach
# the same engine. The recording measures the same again, and the log has a row per second.
asan=$leak_check
run 0 "live" --live --device measurefile --rate 48000 --duration 20 --json --record "$dir/m.wav" \
    --log "$dir/m.csv"
asan=$no_leak_check
ours "live"
cp "$dir/out" "$dir/live.json"
grep -q "^   19 s  carrier 3150" "$dir/err" || fail "live: no line for second 19: $(tail -2 "$dir/err")"
"$meter" --json "$dir/twenty.wav" >"$dir/file.json" && "$meter" --json "$dir/m.wav" >"$dir/again.json" ||
    fail "measuring the files"
python3 - "$dir/file.json" "$dir/live.json" "$dir/again.json" <<'EOF' || fail "live against file"
import json, sys
file, live, again = (json.load(open(p)) for p in sys.argv[1:4])
assert live["device"] == "measurefile" and live["file"].endswith("m.wav"), live
assert set(file) | {"device"} == set(live), sorted(set(file) ^ set(live))
for key in file:
    if key in ("file",):
        continue
    assert live[key] == file[key], (key, live[key], file[key])
    assert again[key] == file[key], (key, again[key], file[key])
assert live["overruns"] == 0 and live["lost_frames"] == 0, live
EOF
[ "$(wc -l <"$dir/m.csv")" -eq 21 ] || fail "live log: $(wc -l <"$dir/m.csv") lines, expected 21"

# A turntable live: the platter's figures and the new figures equal the file's, the summary
# shows them, and the log has them for each second measured.
run 0 "live record" --live --device recordfile --rate 48000 --duration 15 --rpm 33.33 --json \
    --log "$dir/r.csv"
ours "live record"
cp "$dir/out" "$dir/live-record.json"
"$meter" --json --rpm 33 "$dir/record.wav" >"$dir/file-record.json" || fail "measuring the record"
python3 - "$dir/file-record.json" "$dir/live-record.json" "$dir/r.csv" <<'EOF' || fail "live record"
import csv, json, sys
file, live = (json.load(open(p)) for p in sys.argv[1:3])
for key in ("weighted_quasi_peak_percent", "wow_rms_percent", "flutter_rms_percent",
            "drift_percent", "rpm", "once_per_revolution_percent", "remaining_rms_percent"):
    assert live[key] is not None and live[key] == file[key], (key, live[key], file[key])
assert abs(live["once_per_revolution_percent"] - 0.1) < 0.002, live
assert live["lines"][0]["revolution_harmonic"] == 1, live["lines"]
rows = list(csv.DictReader(open(sys.argv[3])))
measured = [r for r in rows if r["weighted two-sigma (%)"]]
assert len(measured) >= 5, rows
for r in measured:
    for column in ("weighted quasi-peak (%)", "wow RMS (%)", "flutter RMS (%)", "drift (%)"):
        assert r[column] != "", (column, r)
    assert float(r["wow RMS (%)"]) > 10 * float(r["flutter RMS (%)"]), r
EOF
run 0 "live record summary" --live --device recordfile --rate 48000 --duration 15 --rpm 45 \
    --report "$dir/live.pdf"
for line in "Weighted quasi-peak: " "Wow RMS: " "Drift: " "Platter:             45 rpm" \
    "Once per revolution: "; do
    grep -q "^$line" "$dir/out" || fail "live record summary lacks '$line': $(cat "$dir/out")"
done
# The session's report at its end: one page naming the device and the platter.
[ "$(grep -ac '/Type /Page[^s]' "$dir/live.pdf")" = 1 ] || fail "live report: not one page"
if command -v pdftotext >/dev/null; then
    pdftotext "$dir/live.pdf" - | tr '\n' ' ' >"$dir/live.txt"
    for words in "Device" "recordfile" "45 rpm, peak" "Once per revolution"; do
        grep -q "$words" "$dir/live.txt" || fail "live report lacks '$words'"
    done
fi
run 2 "live csv" --live --device recordfile --duration 15 --csv

# The tone comes late, goes for 2 s, returns and goes early: the longer second stretch is read,
# the seconds between say so, and the log marks where the tone was.
run 0 "a tone that comes and goes" --live --device gapsfile --rate 48000 --duration 29 --json --log "$dir/g.csv"
ours "a tone that comes and goes"
start=$(json_field "$dir/out" start_s)
weighted=$(json_field "$dir/out" weighted_peak_percent)
awk -v s="$start" -v w="$weighted" 'BEGIN { exit !(s > 17.9 && s < 18.3 && w > 0.987 && w < 1.007) }' ||
    fail "comes and goes: start $start s, weighted $weighted %"
grep -q "^    1 s  waiting for the tone" "$dir/err" && grep -q "^   14 s  no tone" "$dir/err" ||
    fail "comes and goes: $(head -20 "$dir/err")"
present=$(tail -n +2 "$dir/g.csv" | cut -d, -f8 | tr -d '\n')
case $present in
000?11111111??0?11111111111?0*) ;;
*) fail "comes and goes: tone present by second $present" ;;
esac

# The steady tone reads its speed exactly in every second it fills, the edges of both stretches
# included; the seconds of the gap, and the last with 0.2 s of tone, are empty.
run 0 "a steady tone" --live --device steadyfile --rate 48000 --duration 21.2 --log "$dir/s.csv"
tail -n +2 "$dir/s.csv" | awk -F, '
    { filled = $1 <= 10 || ($1 >= 13 && $1 <= 20)
      if (filled ? ($3 != "0.0000" && $3 != "-0.0000") : $3 != "") bad = bad " " $1 ":" $3 }
    END { if (NR != 22 || bad != "") { print NR " rows;" bad; exit 1 } }' ||
    fail "steady tone: the speed error by second"

# Two seconds are too short to measure; the recording keeps them exactly.
asan=$leak_check
run 1 "record at the device's rate" --live --device tonefile --duration 2 --record "$dir/a.wav"
asan=$no_leak_check
ours "record"
grep -q "^wobblemeter: 'tonefile': the capture is too short: " "$dir/err" ||
    fail "record: $(cat "$dir/err")"
same_samples "record" "$dir/a.wav" "$dir/tone.f32" 88200 44100

# On a terminal the block is redrawn in place, each line cut one short of the terminal's width
# (of 80 columns when the terminal gives none), so that none wraps: the status line naming a
# long recording is cut, the others are whole. The block is cleared before a message.
long="$dir/a-recording-whose-name-is-longer-than-the-terminal-is-wide-by-several-words.wav"
for columns in 0 100; do
    python3 "$(dirname "$0")/on_terminal.py" $columns "$dir/tty" "$dir/out" env \
        ASAN_OPTIONS=$no_leak_check timeout 10 "$meter" --live --device tonefile --duration 2 \
        --record "$long"
    python3 - "$dir/tty" $columns <<'EOF' || fail "live on a terminal of $columns columns (above)"
import re, sys
shown = open(sys.argv[1], "rb").read().decode()
width = int(sys.argv[2]) or 80
# The block, up to where it is cleared before the message that the capture is too short.
block, cleared, message = shown.rpartition("\033[J")
assert cleared and message.startswith("wobblemeter: 'tonefile': the capture is too short"), repr(shown[-200:])
# Cursor up, carriage return, the rest of the line erased.
lines = [re.sub(r"\033\[\d*[AK]|\r", "", line) for line in block.split("\n")]
drawn = [line for line in lines if line]
assert any(line.startswith("  overruns 0") for line in drawn), drawn
assert max(len(line) for line in drawn) == width - 1, [(len(line), line) for line in drawn]
cut = [line for line in drawn if len(line) == width - 1]
assert all(line.startswith("  overruns 0") for line in cut), cut
EOF
done

run 1 "channel 2" --live --device stereofile --channel 2 --rate 48000 --duration 1.5 \
    --record "$dir/b.wav"
grep -q "too short" "$dir/err" || fail "channel 2: $(cat "$dir/err")"
same_samples "channel 2" "$dir/b.wav" "$dir/right.f32" 72000 48000

# ALSA's null PCM is not listed (PortAudio leaves it out): opened by its ALSA name, at the first
# usual rate it takes. (What it captures is undefined: whatever the buffer held; no tone.)
run 1 "a PCM by its ALSA name" --live --device null --duration 0.5 --record "$dir/c.wav"
[ "$(soxi -V1 -r "$dir/c.wav")" = 44100 ] && [ "$(soxi -V1 -s "$dir/c.wav")" = 22050 ] ||
    fail "null PCM: $(soxi -V1 "$dir/c.wav" 2>&1)"

run 1 "unknown device" --live --device nosuch --duration 1 --record "$dir/d.wav"
one_line "unknown device" "no capture device 'nosuch'"
[ ! -e "$dir/d.wav" ] || fail "unknown device: a recording was created"
run 1 "channel beyond the device's" --live --device tonefile --channel 1000 --duration 1 \
    --record "$dir/e.wav"
one_line "channel beyond" "no channel 1000"
run 1 "recording into a missing directory" --live --device tonefile --duration 1 \
    --record "$dir/none/f.wav"
one_line "missing directory" "^wobblemeter: cannot create $dir/none/f.wav: No such file or directory$"

run 2 "live with a file" --live --record "$dir/g.wav" "$dir/tone.wav"
run 2 "device without live" --device tonefile "$dir/tone.wav"
run 2 "duration of 0" --live --duration 0 --record "$dir/g.wav"

# No device at all: an ALSA configuration whose only PCM is on a card that is not there.
printf 'pcm.nocard {\n type hw\n card 99\n}\n' >"$dir/nocard.conf"
export ALSA_CONFIG_PATH="$dir/nocard.conf"
run 1 "list without devices" --list-devices
one_line "list without devices" "no capture device found"
run 1 "live without devices" --live --record "$dir/h.wav"
one_line "live without devices" "no capture device found"
[ ! -s "$dir/out" ] || fail "live without devices: $(cat "$dir/out")"
unset ALSA_CONFIG_PATH

# A library file that is not PortAudio (the maths library: none of its calls), and one that is
# not there: each named as the reason, status 1, before any device is looked for.
export WOBBLEMETER_PORTAUDIO=libm.so.6
run 1 "a library without PortAudio's calls" --list-devices
one_line "a library without PortAudio's calls" \
    "^wobblemeter: the audio library libm.so.6 lacks Pa_Initialize (not PortAudio 19 with ALSA?)$"
run 1 "live with a library without PortAudio's calls" --live --device tonefile --duration 1 \
    --record "$dir/i.wav"
one_line "live with a library without PortAudio's calls" "lacks Pa_Initialize"
[ ! -e "$dir/i.wav" ] || fail "a library without PortAudio's calls: a recording was created"
export WOBBLEMETER_PORTAUDIO="$dir/none/libportaudio.so.2"
run 1 "a library that is not there" --list-devices
one_line "a library that is not there" \
    "^wobblemeter: cannot load the audio library $dir/none/libportaudio.so.2 (the package libportaudio2): "
unset WOBBLEMETER_PORTAUDIO

ASAN_OPTIONS=$no_leak_check WOBBLEGEN_TEST_CAPTURE_DEVICE=longfile WOBBLEGEN_TEST_CAPTURE_RATE=48000 \
    WOBBLEGEN_TEST_CAPTURE_RAW="$dir/long.f32" \
    "$device_tests" --gtest_filter='CaptureDevice.Unclocked*' --gtest_brief=1 >"$dir/gtest" 2>&1 ||
    { fail "device tests"; cat "$dir/gtest"; }

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
