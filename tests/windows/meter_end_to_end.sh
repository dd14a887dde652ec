#!/bin/bash
# End-to-end test of wobblemeter.exe under Wine against the Linux wobblemeter: the same test
# tones (one written by the Linux wobblegen-cli, a 24-bit FLAC of it under a name in three
# scripts, the verification set) give the same JSON figures within 1e-6 relative and the same
# exit statuses; --plot a PNG of the same size; a missing file the same status and message. CRs (Windows' text-mode line
# ends) are dropped before comparing.
# Usage: meter_end_to_end.sh WINE_RUN WINEDIR WOBBLEMETER_EXE LINUX_WOBBLEMETER LINUX_WOBBLEGEN_CLI
set -euo pipefail

wine_run=$1
winedir=$2
exe=$3
linux=$4
generator=$5
for tool in "$linux" "$generator"; do
    [ -x "$tool" ] || {
        echo "no Linux program at $tool (make windows passes the Linux build's)" >&2
        exit 1
    }
done
work=$(mktemp -d /tmp/wobblegen-wine-meter-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0
passed=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# run NAME SIDE ARGS...: runs one side in $work (the inputs are shared); leaves NAME.SIDE.status,
# .out and .err (CRs dropped).
run() {
    local name=$1 side=$2 status=0
    shift 2
    local program=("$linux")
    [ "$side" = windows ] && program=("$wine_run" "$winedir" "$exe")
    "${program[@]}" "$@" >"$name.$side.raw" 2>"$name.$side.err.raw" || status=$?
    echo "$status" >"$name.$side.status"
    tr -d '\r' <"$name.$side.raw" >"$name.$side.out"
    tr -d '\r' <"$name.$side.err.raw" >"$name.$side.err"
}

# Every number of the two JSON documents within 1e-6 relative (absolute below 1e-12), every
# other value and every key the same.
same_json() {
    python3 - "$1" "$2" <<'EOF'
import json, sys
def walk(a, b, where):
    if isinstance(a, bool) or isinstance(b, bool) or a is None or b is None:
        return [] if a == b else [f"{where}: {a!r} != {b!r}"]
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        ok = abs(a - b) <= max(1e-6 * max(abs(a), abs(b)), 1e-12)
        return [] if ok else [f"{where}: {a!r} != {b!r}"]
    if isinstance(a, dict) and isinstance(b, dict):
        if sorted(a) != sorted(b):
            return [f"{where}: keys {sorted(a)} != {sorted(b)}"]
        return [e for k in a for e in walk(a[k], b[k], f"{where}.{k}")]
    if isinstance(a, list) and isinstance(b, list):
        if len(a) != len(b):
            return [f"{where}: {len(a)} items != {len(b)}"]
        return [e for i, (x, y) in enumerate(zip(a, b)) for e in walk(x, y, f"{where}[{i}]")]
    return [] if a == b else [f"{where}: {a!r} != {b!r}"]
texts = [open(name, encoding="utf-8").read() for name in sys.argv[1:3]]
if not texts[0].strip() and not texts[1].strip():
    sys.exit(0)  # no JSON from either (an error before any file was read)
try:
    errors = walk(json.loads(texts[0]), json.loads(texts[1]), "$")
except ValueError as e:
    errors = [f"not JSON: {e}"]
if errors:
    print("\n".join(errors[:10]), file=sys.stderr)
sys.exit(1 if errors else 0)
EOF
}

# compare NAME json|text ARGS...: both sides; the same status, and the same JSON figures or the
# same text on both streams.
compare() {
    local name=$1 kind=$2
    shift 2
    run "$name" windows "$@"
    run "$name" linux "$@"
    local ok=true
    if ! cmp -s "$name.linux.status" "$name.windows.status"; then
        fail "$name: status $(cat "$name.windows.status"), Linux $(cat "$name.linux.status")"
        ok=false
    fi
    if [ "$kind" = json ]; then
        same_json "$name.linux.out" "$name.windows.out" || {
            fail "$name: the JSON figures differ"
            ok=false
        }
    else
        for part in out err; do
            cmp -s "$name.linux.$part" "$name.windows.$part" || {
                fail "$name: standard $part differs"
                diff "$name.linux.$part" "$name.windows.$part" | head -n 10 >&2 || true
                ok=false
            }
        done
    fi
    $ok && passed=$((passed + 1))
    return 0
}

echo "A test tone from wobblegen-cli, 20 s of the default signal"
"$generator" --duration 20 -o tone.wav >/dev/null
compare tone json --json tone.wav
[ "$(cat tone.windows.status)" = 0 ] || fail "tone: status $(cat tone.windows.status)"
grep -q '"file":"tone.wav"' tone.windows.out || fail "tone: no file name in $(head -c 200 tone.windows.out)"

echo "--plot: a PNG of the Linux one's size"
# PNG's signature, then the header chunk's width and height (big-endian, from byte 16).
png_size() {
    python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read(24)
print(d[:8] == b"\x89PNG\r\n\x1a\n" and "%d x %d" % struct.unpack(">II", d[16:24]))' "$1"
}
run plot windows --plot plot-windows.png tone.wav
"$linux" --plot plot-linux.png tone.wav >/dev/null
[ "$(cat plot.windows.status)" = 0 ] || fail "plot: status $(cat plot.windows.status)"
if [ -s plot-windows.png ] && [ "$(png_size plot-windows.png)" = "$(png_size plot-linux.png)" ]; then
    passed=$((passed + 1))
else
    fail "plot: $(png_size plot-windows.png 2>&1), Linux $(png_size plot-linux.png)"
fi

echo "The same as a 24-bit FLAC under a name in Latin, Greek and Japanese letters"
flac_name='Tönband-δοκιμή-テスト.flac'
sox tone.wav -b 24 "$flac_name"
compare flac json --json "$flac_name"
[ "$(cat flac.windows.status)" = 0 ] || fail "flac: status $(cat flac.windows.status)"
grep -qF "\"file\":\"$flac_name\"" flac.windows.out || fail "flac: the name is not printed right"

echo "A path with a drive letter and backslashes (Wine's Z: is the root)"
windows_path="Z:${work//\//\\}\\tone.wav"
run drive windows --json "$windows_path"
sed "s|\"file\":\"[^\"]*\"|\"file\":\"tone.wav\"|" drive.windows.out >drive.renamed
if [ "$(cat drive.windows.status)" = 0 ] && grep -qF 'tone.wav"' drive.windows.out &&
    same_json tone.linux.out drive.renamed; then
    passed=$((passed + 1))
else
    fail "drive: status $(cat drive.windows.status): $(head -c 200 drive.windows.out drive.windows.err)"
fi

echo "A missing file: the same status and message"
compare missing text missing.wav
[ "$(cat missing.windows.status)" != 0 ] || fail "missing: status 0"
compare missing-json json --json missing.wav

echo "The verification set: the same table, the same status"
"$generator" --calibration-set set >/dev/null
compare verify text --verify set
[ "$(cat verify.windows.status)" = 0 ] || fail "verify: status $(cat verify.windows.status)"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
