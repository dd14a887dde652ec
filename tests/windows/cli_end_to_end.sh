#!/bin/bash
# End-to-end test of wobblegen-cli.exe under Wine: the same files, messages and exit statuses
# as the Linux tool. Each case runs both programs in scratch folders of their own and compares
# the exit status, standard output and standard error (the Windows program writes text-mode
# lines, CR LF, so CRs are dropped before comparing) and every file left behind, byte for byte.
# Without the Linux tool the default file is still checked against its known digest.
# Usage: cli_end_to_end.sh WINE_RUN WINEDIR WOBBLEGEN_CLI_EXE [LINUX_WOBBLEGEN_CLI]
set -euo pipefail

wine_run=$1
winedir=$2
exe=$3
linux=${4:-}
if [ -n "$linux" ] && [ ! -x "$linux" ]; then
    echo "no Linux wobblegen-cli at $linux: the default file is checked against its digest only"
    linux=""
fi
work=$(mktemp -d /tmp/wobblegen-wine-cli-XXXXXX)
trap 'rm -rf "$work"' EXIT

failures=0
passed=0
full_output=false  # run with standard output on a full device
linux_err_as=""     # a sed script for what Windows says differently on standard error
prepare=""          # shell commands run in the case's folder first
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# run NAME SIDE ARGS...: runs the windows or linux side of a case in $work/NAME/SIDE/files;
# leaves status, out and err (CRs dropped) beside.
run() {
    local dir=$work/$1/$2 side=$2
    shift 2
    mkdir -p "$dir/files"
    [ -n "$prepare" ] && (cd "$dir/files" && eval "$prepare")
    local status=0 program=("$linux")
    [ "$side" = windows ] && program=("$wine_run" "$winedir" "$exe")
    if $full_output; then
        : >"$dir/out.raw"
        (cd "$dir/files" && "${program[@]}" "$@" >/dev/full) 2>"$dir/err.raw" || status=$?
    else
        (cd "$dir/files" && "${program[@]}" "$@") >"$dir/out.raw" 2>"$dir/err.raw" || status=$?
    fi
    echo "$status" >"$dir/status"
    tr -d '\r' <"$dir/out.raw" >"$dir/out"
    tr -d '\r' <"$dir/err.raw" >"$dir/err"
}

# check NAME ARGS...: the Windows program against the Linux one, or alone without it.
check() {
    local name=$1
    shift
    run "$name" windows "$@"
    local w=$work/$name/windows
    # Lines end in CR LF on Windows, each of them.
    if [ -s "$w/out.raw" ] && grep -qv $'\r$' "$w/out.raw"; then
        fail "$name: a line of standard output without CR LF"
    fi
    if [ -z "$linux" ]; then
        passed=$((passed + 1))
        return
    fi
    run "$name" linux "$@"
    local l=$work/$name/linux ok=true
    [ -n "$linux_err_as" ] && sed -i "$linux_err_as" "$l/err"
    for part in status out err; do
        if ! cmp -s "$l/$part" "$w/$part"; then
            fail "$name: $part differs"
            diff "$l/$part" "$w/$part" | head -n 10 >&2 || true
            ok=false
        fi
    done
    if ! diff -r "$l/files" "$w/files" >/dev/null; then
        fail "$name: files differ: $(diff -rq "$l/files" "$w/files" | head -n 3)"
        ok=false
    fi
    $ok && passed=$((passed + 1))
    return 0
}

echo "The default file, byte for byte, and its summary"
check defaults
w=$work/defaults/windows
[ "$(cat "$w/status")" = 0 ] || fail "defaults: exit status $(cat "$w/status")"
digest=$(md5sum <"$w/files/test.wav" | cut -d' ' -f1)
[ "$digest" = f381080cbdf77566deea73bb5ada1bf2 ] || fail "default file md5 $digest"
head -n 1 "$w/out" | grep -qx 'Opened test.wav' || fail "defaults: no 'Opened test.wav'"
grep -qx 'Data size = 2646000' "$w/out" || fail "defaults: no data size line"

echo "Options, and files named with folders and other extensions"
check options --rate 48000 --center 3000 --level 0.5 --mod 0.5 --duration 2.5 -o tone.WAV
check short-rate --rate 8000 --duration 1 --output=short.wav
check empty --duration 0 -o empty.wav
check no-rate --rate 0 -o zero.wav

echo "Bad arguments: status 2, one line on standard error, no file"
check letter-rate --rate 44k
check negative-rate --rate -1
check big-rate --rate 2147483648
check negative-duration --duration -1
check infinite-level --level inf
check no-number --mod ''
check empty-name -o ''
check unknown --bogus
check too-long --rate 192000 --duration 6000
w=$work/too-long/windows
[ "$(cat "$w/status")" = 2 ] || fail "too-long: exit status $(cat "$w/status")"
[ -z "$(ls -A "$w/files")" ] || fail "too-long: a file was written"

echo "A file there already is replaced whole; a folder is no file"
prepare='printf previous >tone.wav; mkdir folder'
check replace -o tone.wav --duration 1
check folder -o folder
prepare=""

echo "A file that cannot be opened: status 1"
check no-folder -o missing/tone.wav
[ "$(cat "$work/no-folder/windows/status")" = 1 ] || fail "no-folder: not status 1"
grep -qx 'Cannot open missing/tone.wav' "$work/no-folder/windows/out" || fail "no-folder: no message"

# (A closed standard output cannot be shown to a Windows program under Wine: Wine's loader
# takes the free descriptor for files of its own.)
# Windows' C library drops the unwritten output, and with it the reason, when a write fails:
# the message names no reason there.
echo "Standard output on a full device: the same file, status and message"
full_output=true
linux_err_as='s/(No space left on device)/(a write to it failed)/'
check full-output -o full.wav
full_output=false
linux_err_as=""
[ -s "$work/full-output/windows/files/full.wav" ] || fail "full-output: no file"
[ "$(cat "$work/full-output/windows/status")" = 1 ] || fail "full-output: not status 1"

echo "Ctrl+C removes the unfinished file and leaves the one there before"
# Wine turns SIGINT into the console's Ctrl+C event. 10^9 samples take long enough.
mkdir -p "$work/interrupt"
printf previous >"$work/interrupt/big.wav"
(cd "$work/interrupt" && exec "$wine_run" "$winedir" "$exe" --rate 2000000 --duration 500 \
    -o big.wav >out.txt 2>err.txt) &
pid=$!
deadline=$((SECONDS + 60))
until compgen -G "$work/interrupt/.big.wav.*" >/dev/null; do
    [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if compgen -G "$work/interrupt/.big.wav.*" >/dev/null; then
    sleep 0.3
    kill -INT "$pid"
    status=0
    wait "$pid" || status=$?
    # STATUS_CONTROL_C_EXIT, 0xC000013A, of which a Unix status keeps the low byte.
    [ "$status" = 58 ] || fail "interrupted: status $status, not 58 (STATUS_CONTROL_C_EXIT)"
    [ "$(cat "$work/interrupt/big.wav")" = previous ] || fail "interrupted: big.wav was changed"
    leftover=$(cd "$work/interrupt" && ls -A | grep -v -e '^big.wav$' -e '^out.txt$' -e '^err.txt$' || true)
    [ -z "$leftover" ] || fail "interrupted: left behind: $leftover"
else
    kill "$pid" 2>/dev/null || true
    fail "no temporary file beside big.wav"
fi

echo "Help and version"
check help --help
check version --version
grep -q 'version 1\.0' "$work/version/windows/out" || fail "--version: $(cat "$work/version/windows/out")"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
