#!/bin/sh
# wobblemeter --list-devices and --live --record on capture devices made of ALSA file plugins,
# without sound card or daemon: the tone's exact samples from the chosen channel, a PCM opened
# by its ALSA name, errors as one line and status 1 without delay, and none of the audio
# libraries' own chatter. Arguments: wobblemeter, wobblegen-cli, the capture device tests.
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
for name in tone stereo long; do
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

asan=$leak_check
run 0 "record at the device's rate" --live --device tonefile --duration 2 --record "$dir/a.wav"
asan=$no_leak_check
quiet "record"
grep -q "^Lost: *none" "$dir/out" || fail "record: $(cat "$dir/out")"
same_samples "record" "$dir/a.wav" "$dir/tone.f32" 88200 44100

run 0 "channel 2" --live --device stereofile --channel 2 --rate 48000 --duration 1.5 \
    --record "$dir/b.wav"
same_samples "channel 2" "$dir/b.wav" "$dir/right.f32" 72000 48000

# ALSA's null PCM is not listed (PortAudio leaves it out): opened by its ALSA name, at the first
# usual rate it takes. (What it captures is undefined: whatever the buffer held.)
run 0 "a PCM by its ALSA name" --live --device null --duration 0.5 --record "$dir/c.wav"
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
one_line "missing directory" "cannot create"

run 2 "live without a recording" --live --duration 1
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
unset ALSA_CONFIG_PATH

ASAN_OPTIONS=$no_leak_check WOBBLEGEN_TEST_CAPTURE_DEVICE=longfile WOBBLEGEN_TEST_CAPTURE_RATE=48000 \
    WOBBLEGEN_TEST_CAPTURE_RAW="$dir/long.f32" \
    "$device_tests" --gtest_filter='CaptureDevice.Unclocked*' --gtest_brief=1 >"$dir/gtest" 2>&1 ||
    { fail "device tests"; cat "$dir/gtest"; }

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
