#!/bin/sh
# wobblemeter --report: a one-page PDF whose text holds the readings --json gives, its fonts
# embedded, on the paper --paper or the locale names; status 2 for a name not ending in .pdf and
# for --note or --paper without it, 1 when it cannot be written, nothing left behind then.
# Arguments: the wobblemeter and wobblegen-cli executables. Needs poppler-utils (pdfinfo,
# pdftotext, pdffonts) and python3 for the page's figures; without them, only what needs none.
set -u
meter=$1
generator=$2
dir=$(mktemp -d)
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# expect STATUS MESSAGE COMMAND...: the exit status, and stderr the one line "wobblemeter:
# MESSAGE" (no MESSAGE: stderr is not looked at).
expect() {
    want=$1 message=$2
    shift 2
    "$@" >"$dir/out" 2>"$dir/err"
    got=$?
    [ "$got" -eq "$want" ] || fail "$*: exit status $got, expected $want: $(cat "$dir/err")"
    [ -z "$message" ] || [ "$(cat "$dir/err")" = "wobblemeter: $message" ] ||
        fail "$*: stderr is '$(cat "$dir/err")', expected 'wobblemeter: $message'"
}

# The folder holds exactly the names given (no report, no temporary file beside it).
holds_only() {
    got=$(cd "$dir/w" && ls -A | sort | tr '\n' ' ')
    [ "$got" = "$* " ] || fail "the folder holds '$got', expected '$* '"
}

poppler=yes
for tool in pdfinfo pdftotext pdffonts python3; do
    command -v "$tool" >/dev/null || { echo "SKIP the page's checks: no $tool"; poppler=; }
done

# pages FILE: its page count (pdfinfo's, else the page objects cairo writes).
pages() {
    if [ -n "$poppler" ]; then
        pdfinfo "$1" | sed -n 's/^Pages: *//p'
    else
        grep -ac '/Type /Page[^s]' "$1"
    fi
}

mkdir "$dir/w" && cd "$dir/w" || exit 1
"$generator" --duration 12 --mod 4 --level 0.1 -o "$dir/take.wav" >/dev/null || exit 1

# Written: one page, a PDF, its fonts embedded, its text the JSON's figures.
expect 0 "" "$meter" --report r.pdf --note "Revox B77, new pinch roller" "$dir/take.wav"
head -c 5 r.pdf | grep -q '^%PDF-' || fail "r.pdf is no PDF"
[ "$(pages r.pdf)" = 1 ] || fail "r.pdf has $(pages r.pdf) pages, expected 1"
holds_only r.pdf
if [ -n "$poppler" ]; then
    pdffonts r.pdf >"$dir/fonts"
    [ "$(tail -n +3 "$dir/fonts" | wc -l)" -ge 1 ] || fail "r.pdf names no font"
    tail -n +3 "$dir/fonts" | awk '$(NF-4) != "yes" { bad = 1 } END { exit bad }' ||
        fail "a font of r.pdf is not embedded: $(cat "$dir/fonts")"
    pdftotext -layout r.pdf "$dir/r.txt"
    "$meter" --json "$dir/take.wav" >"$dir/r.json"
    # Each figure as the page prints it: four decimals, more for three significant digits.
    python3 - "$dir/r.json" "$dir/r.txt" <<'PY' || fail "the page lacks figures of the JSON"
import json, math, re, sys
readings = json.load(open(sys.argv[1]))
page = open(sys.argv[2]).read()
def shown(v):
    return "%.*f" % (min(max(4, 2 - math.floor(math.log10(abs(v)))), 9), v)
missing = []
for key in ("weighted_peak_percent", "unweighted_peak_percent", "weighted_quasi_peak_percent",
            "weighted_rms_percent", "wow_rms_percent", "flutter_rms_percent", "drift_percent"):
    if shown(readings[key]) + " %" not in page:
        missing.append(key + " " + shown(readings[key]))
for key in ("carrier_hz", "modulation_hz"):
    if "%.3f Hz" % readings[key] not in page:
        missing.append(key)
for words in ("AES6 / IEC 60386", "DIN 45507 / IEC 386", "JIS / NAB", "Revox B77, new pinch roller",
              "take.wav", "12.00 s at 44100 Hz, channel 1 of 1", "wobblemeter 1"):
    if words not in page:
        missing.append(words)
# The table's header over its three columns.
if not re.search(r"Reading and standard +Value +What it means", page):
    missing.append("the table's header")
# What each reading means, beside it (its first words, before a line may break).
for words in ("Speed variation as the ear weighs it", "The slow part of it: heard as a waver",
              "The tone's mean frequency as played back."):
    if words not in page:
        missing.append(words)
if missing:
    print("missing:", missing)
    sys.exit(1)
PY
    # Under each reading's name, in smaller type, the standard it follows.
    pdftotext -bbox r.pdf "$dir/bbox.html"
    python3 - "$dir/bbox.html" <<'PY' || fail "the standards are not in smaller type than the readings"
import re, sys
words = re.findall(r'yMin="([0-9.]+)" xMax="[0-9.]+" yMax="([0-9.]+)">([^<]*)<',
                   open(sys.argv[1]).read())
def height(word):
    return min(float(b) - float(a) for a, b, w in words if w == word)
print("the standard %.1f, the reading %.1f points high" % (height("AES6"), height("Weighted")))
if not height("AES6") < 0.95 * height("Weighted"):
    sys.exit(1)
PY
    # Every word on the page within its margins, down to the last panel's axis title (a word
    # drawn off the page is one pdftotext leaves out).
    within_page() {  # within_page PDF LAST_WORDS
        pdftotext -bbox "$1" "$dir/bbox.html"
        python3 - "$dir/bbox.html" "$2" <<'PY' || fail "$1: words beyond the margins"
import re, sys
html = open(sys.argv[1]).read()
width, height = (float(v) for v in re.search(r'<page width="([0-9.]+)" height="([0-9.]+)"', html).groups())
words = re.findall(r'<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)<', html)
margin = 30.0  # the page's are 40 points; a glyph's box reaches a little beyond its advance
outside = [w[4] for w in words if float(w[0]) < margin or float(w[2]) > width - margin or
           float(w[1]) < margin or float(w[3]) > height - margin]
text = " ".join(w[4] for w in words)
if outside or sys.argv[2] not in text:
    print("outside:", outside[:10], "last words there:", sys.argv[2] in text)
    sys.exit(1)
PY
    }
    within_page r.pdf "modulation frequency, Hz"
    # The readings' table ruled under its header and under each of its 11 rows, margin to margin, in
    # hairlines: at 144 dpi a rule of 0.5 point and 0.7 grey darkens its one or two rows by
    # about 0.3 x 255 x 1 pixel in all.
    if command -v pdftoppm >/dev/null; then
        pdftoppm -r 144 -gray -singlefile r.pdf "$dir/page" || fail "r.pdf: pdftoppm failed"
        python3 - "$dir/page.pgm" <<'PY' || fail "r.pdf: the table's rules"
import sys
data = open(sys.argv[1], "rb").read()
fields = data.split(maxsplit=4)
width, height = int(fields[1]), int(fields[2])
pixels = fields[4]
left, right = 80 + 4, width - 80 - 4  # the margins of 40 points, a little inside
def row(y):
    return pixels[y * width + left:y * width + right]
ruled = [y for y in range(height) if all(v < 250 for v in row(y))]
runs = []
for y in ruled:
    if runs and y == runs[-1][-1] + 1:
        runs[-1].append(y)
    else:
        runs.append([y])
darkness = [sum(sum(255 - v for v in row(y)) / (right - left) for y in range(r[0] - 1, r[-1] + 2))
            for r in runs]
print("rules:", len(runs), "darkness:", ["%.0f" % d for d in darkness])
if len(runs) != 12 or any(abs(d - 76.5) > 20 for d in darkness):
    sys.exit(1)
PY
    fi
    # The paper: --paper, else LC_ALL, LC_PAPER, LANG in that order.
    paper() {  # paper EXPECTED ENV... -- OPTIONS...
        want=$1
        shift
        env "$@" "$dir/take.wav" >/dev/null 2>&1 || fail "$*: not written"
        size=$(pdfinfo p.pdf | sed -n 's/^Page size: *\([0-9.]* x [0-9.]*\) pts.*/\1/p')
        [ "$size" = "$want" ] || fail "$*: page size '$size', expected '$want'"
        rm -f p.pdf
    }
    a4="595.276 x 841.89" letter="612 x 792"
    paper "$letter" LC_ALL= LC_PAPER= LANG=en_US.UTF-8 "$meter" --report p.pdf
    paper "$a4" LC_ALL= LC_PAPER= LANG=en_GB.UTF-8 "$meter" --report p.pdf
    paper "$a4" LC_ALL=de_DE.UTF-8 LC_PAPER=en_US.UTF-8 LANG=en_US.UTF-8 "$meter" --report p.pdf
    paper "$letter" LC_ALL= LC_PAPER=es_MX.UTF-8 LANG=de_DE "$meter" --report p.pdf
    paper "$a4" LC_ALL= LC_PAPER= LANG= "$meter" --report p.pdf
    paper "$a4" LC_ALL=en_US.UTF-8 "$meter" --report p.pdf --paper A4
    paper "$letter" LC_ALL=C "$meter" --report p.pdf --paper letter
    # With a platter speed, its figures and panel.
    expect 0 "" "$meter" --report p.pdf --rpm 33 "$dir/take.wav"
    [ "$(pages p.pdf)" = 1 ] || fail "--rpm: $(pages p.pdf) pages, expected 1"
    pdftotext p.pdf - | grep -q "Once per revolution" || fail "--rpm: no once per revolution"
    # The chart's spokes every 30 degrees, each named at its end.
    angles=" $(pdftotext p.pdf - | grep -o '[0-9]*°' | sort -un | tr '\n' ' ')"
    for angle in 0 30 60 90 120 150 180 210 240 270 300 330; do
        case "$angles" in *" $angle° "*) ;; *) fail "--rpm: no spoke at $angle° (angles:$angles)" ;; esac
    done
    # Beside the chart, its note set apart from the figures above it: twice as far below their
    # last line as its own lines are from each other.
    pdftotext -bbox p.pdf "$dir/bbox.html"
    python3 - "$dir/bbox.html" <<'PY' || fail "--rpm: the chart's note is not set apart"
import re, sys
words = re.findall(r'yMax="([0-9.]+)">([^<]*)<', open(sys.argv[1]).read())
last = max(float(y) for y, w in words if w == "without")
first = min(float(y) for y, w in words if w == "Angle")
second = min(float(y) for y, w in words if w == "own);")
ratio = (first - last) / (second - first)
print("the note: %.2f of a line below the figures" % ratio)
if not 1.8 < ratio < 2.2:
    sys.exit(1)
PY
    within_page p.pdf "inwards slower."
    # Below the table, the deviation and spectrum side by side, then the turntable's panel:
    # the room down to the footer shared about evenly between the two rows of panels.
    halves() {  # halves PDF
        pdftotext -bbox "$1" "$dir/bbox.html"
        python3 - "$dir/bbox.html" <<'PY' || fail "$1: the panels' rows do not share the room"
import re, sys
words = re.findall(r'yMin="([0-9.]+)" xMax="[0-9.]+" yMax="[0-9.]+">([^<]*)<',
                   open(sys.argv[1]).read())
tops = [float(y) for y, w in words if w == "Deviation"]
footer = max(float(y) for y, w in words if w == "wobblemeter")
upper, lower = tops[-1] - tops[-2], footer - tops[-1]
print("panels: %.0f and %.0f points" % (upper, lower))
if min(upper, lower) < 0.45 * (upper + lower):
    sys.exit(1)
PY
    }
    halves p.pdf
    expect 0 "" "$meter" --report p.pdf --rpm 78 --paper letter "$dir/take.wav"
    within_page p.pdf "inwards slower."
    halves p.pdf
    rm -f p.pdf
fi

# Refused before measuring: the name, --note or --paper without --report, several files.
expect 2 "--report: 'r.txt' must end in .pdf (see --help)" "$meter" --report r.txt "$dir/take.wav"
expect 2 "--report: '' must end in .pdf (see --help)" "$meter" --report "" "$dir/take.wav"
expect 2 "--report: 'pdf' must end in .pdf (see --help)" "$meter" --report pdf "$dir/take.wav"
expect 2 "" "$meter" --note "x" "$dir/take.wav"
expect 2 "" "$meter" --report q.pdf --paper a5 "$dir/take.wav"
expect 2 "--report takes a single FILE, not 2: measure each file on its own for its report (see --help)" \
    "$meter" --report q.pdf "$dir/take.wav" "$dir/take.wav"
touch same.png && ln -s same.png same.pdf
expect 2 "--plot 'same.png' is the same file as --report 'same.pdf': give each output its own name (see --help)" \
    "$meter" --plot same.png --report same.pdf "$dir/take.wav"
[ ! -s same.png ] || fail "the plot refused beside its report was written"
rm same.png same.pdf
expect 0 "" "$meter" --report UPPER.PDF --plot p.png "$dir/take.wav"
[ "$(pages UPPER.PDF)" = 1 ] || fail "UPPER.PDF: not one page"
[ -s p.png ] || fail "the plot beside the report is missing"
rm -f UPPER.PDF p.png
holds_only r.pdf

# Cannot be written: status 1 before measuring, nothing made; an earlier report stays whole.
expect 1 "cannot write the report missing/r.pdf: No such file or directory" \
    "$meter" --report missing/r.pdf "$dir/take.wav"
[ ! -s "$dir/out" ] || fail "an unwritable report's readings were printed"
mkdir ro && chmod a-w ro
if ! touch ro/x 2>/dev/null; then
    expect 1 "cannot write the report ro/r.pdf: Permission denied" \
        "$meter" --report ro/r.pdf "$dir/take.wav"
    [ -z "$(ls -A ro)" ] || fail "ro/ holds $(ls -A ro)"
fi
rm -rf ro
cp r.pdf "$dir/r.orig"
printf 'not audio\n' >"$dir/bad.wav"
expect 1 "" "$meter" --report r.pdf "$dir/bad.wav"
cmp -s r.pdf "$dir/r.orig" || fail "a failed measurement changed the earlier report"
holds_only r.pdf

[ "$failures" -eq 0 ] && echo "all report checks passed"
[ "$failures" -eq 0 ]
