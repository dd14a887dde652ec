#!/bin/sh
# wobblemeter's outputs never destroy its input or each other: an output that is the input or
# another output (under any spelling, through a link) and an empty --log or --record are refused
# with status 2 and one line before anything is opened; a run that fails leaves an earlier log
# as it was; a run killed part way leaves its log whole row by row. Arguments: the wobblemeter
# and wobblegen-cli executables.
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

# expect STATUS MESSAGE COMMAND...: the exit status, and the whole of stderr is the one line
# "wobblemeter: MESSAGE" (no MESSAGE: stderr is not looked at).
expect() {
    want=$1 message=$2
    shift 2
    "$@" >"$dir/out" 2>"$dir/err"
    got=$?
    [ "$got" -eq "$want" ] || fail "$*: exit status $got, expected $want: $(cat "$dir/err")"
    [ -z "$message" ] || { [ "$(cat "$dir/err")" = "wobblemeter: $message" ] &&
        [ "$(wc -l <"$dir/err")" -eq 1 ]; } ||
        fail "$*: stderr is '$(cat "$dir/err")', expected 'wobblemeter: $message'"
}

unchanged() {  # unchanged FILE COPY: FILE is byte for byte as it was
    cmp -s "$1" "$2" || fail "$1 was changed"
}

# No sound server is reached or started for the live cases.
export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" PULSE_CLIENTCONFIG="$dir/client.conf"
export JACK_NO_START_SERVER=1
unset PULSE_SERVER
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"

cd "$dir" || exit 1
"$generator" --duration 12 -o take.wav >/dev/null && cp take.wav take.orig || exit 1

# An output that is the input: the recording stays whole.
expect 2 "--log 'take.wav' is the input 'take.wav': writing it would destroy the recording (see --help)" \
    "$meter" --log take.wav take.wav
unchanged take.wav take.orig
ln -s take.wav x.csv
expect 2 "--log 'x.csv' is the input 'take.wav': writing it would destroy the recording (see --help)" \
    "$meter" --log x.csv take.wav
unchanged take.wav take.orig
cp take.wav take.png && cp take.png png.orig
expect 2 "--plot 'take.png' is the input 'take.png': writing it would destroy the recording (see --help)" \
    "$meter" --plot take.png take.png
unchanged take.png png.orig
ln take.wav hard.csv
expect 2 "--log 'hard.csv' is the input './take.wav': writing it would destroy the recording (see --help)" \
    "$meter" --log hard.csv ./take.wav
unchanged take.wav take.orig

# Two outputs on one file, whether it is there yet or not.
expect 2 "--plot 'same.png' is the same file as --log 'same.png': give each output its own name (see --help)" \
    "$meter" --log same.png --plot same.png take.wav
[ ! -e same.png ] || fail "--log same.png --plot same.png: same.png was made"
mkdir a
expect 2 "--plot 'a/a.svg' is the same file as --log 'a/./a.svg': give each output its own name (see --help)" \
    "$meter" --log a/./a.svg --plot a/a.svg take.wav
echo "an earlier log" >old.csv && cp old.csv old.orig
expect 2 "--log 'old.csv' is the same file as --record 'old.csv': give each output its own name (see --help)" \
    "$meter" --live --record old.csv --log old.csv
unchanged old.csv old.orig
expect 2 "--plot 'x.png' is the same file as --record 'x.png': give each output its own name (see --help)" \
    "$meter" --live --record x.png --plot x.png
[ ! -e x.png ] || fail "--record x.png --plot x.png: x.png was made"
# A device is never the same file: refused only for the device that is not there (status 1).
expect 1 "" "$meter" --live --device nosuch --log /dev/null --record /dev/null

# Empty names, refused as --plot '' is.
expect 2 "--log: an empty name: give FILE.csv (see --help)" "$meter" --log '' take.wav
expect 2 "--record: an empty name: give FILE.wav (see --help)" "$meter" --live --record ''

# A run that fails leaves an earlier log as it was.
expect 0 "" "$meter" --log prev.csv take.wav
[ "$(wc -l <prev.csv)" -eq 13 ] || fail "the log of 12 s holds $(wc -l <prev.csv) lines, not 13"
cp prev.csv prev.orig
expect 1 "missing.wav: cannot open it: No such file or directory" "$meter" --log prev.csv missing.wav
unchanged prev.csv prev.orig
expect 1 "" "$meter" --live --device nosuch --log prev.csv
unchanged prev.csv prev.orig
expect 1 "" "$meter" --live --device nosuch --log new.csv
[ ! -e new.csv ] || fail "a live session that never started left new.csv"
# An unwritable name is still refused before anything is read.
expect 1 "cannot write the log none/l.csv: No such file or directory" \
    "$meter" --log none/l.csv take.wav

# Killed part way: every row that formed is in the log, whole, and none is cut.
"$generator" --duration 600 -o long.wav >/dev/null || exit 1
"$meter" --log killed.csv long.wav >/dev/null 2>&1 &
pid=$!
for _ in $(seq 1000); do
    [ -f killed.csv ] && [ "$(wc -l <killed.csv)" -ge 5 ] && break
    sleep 0.01
done
if kill -KILL "$pid" 2>/dev/null; then
    wait "$pid" 2>/dev/null
    rows=$(($(wc -l <killed.csv) - 1))
    [ "$rows" -ge 4 ] && [ "$rows" -lt 600 ] || fail "killed: $rows rows"
    # Each line ends; each row holds its 12 fields and the seconds follow one another from 0.
    [ "$(tail -c 1 killed.csv | od -An -c | tr -d ' ')" = '\n' ] || fail "killed: a row is cut"
    awk -F, 'NR > 1 && (NF != 12 || $1 != NR - 2) { exit 1 }' killed.csv ||
        fail "killed: a row is not whole: $(tail -n 2 killed.csv)"
else
    fail "the run over 600 s ended before it could be killed"
fi

[ "$failures" -eq 0 ] || exit 1
echo "all output checks passed"
