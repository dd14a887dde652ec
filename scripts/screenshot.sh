#!/bin/bash
# Takes a screenshot of the wobblegen dialog, or of the meter's window, under its own Xvfb,
# framed by a window manager when icewm is installed; or, given wobblemeter, the picture of its
# service report's page (--report, drawn by pdftoppm of poppler-utils, no display needed).
# Usage: scripts/screenshot.sh [WOBBLEGEN [OUTPUT.png]]
#        scripts/screenshot.sh WOBBLEMETER_GUI [OUTPUT.png [file|live]]
#        scripts/screenshot.sh WOBBLEMETER [OUTPUT.png]   (default docs/meter-report.png)
# Defaults: build/ui/wobblegen and docs/dialog.png; for the meter's window docs/meter-file.png
# (a recording of a test tone opened) or docs/meter-live.png (the same tone played into a
# PulseAudio null sink of the script's own and measured live). Needs Xvfb, xdotool and
# ImageMagick; the meter's window wobblegen-cli beside it in the build, the live one PulseAudio.
set -euo pipefail
cd "$(dirname "$0")/.."

gui=$(realpath "${1:-build/ui/wobblegen}")
if [ "$(basename "$gui")" = wobblemeter ]; then
    # The report of the tone the window's pictures show, on A4 at 110 dpi.
    output=${2:-docs/meter-report.png}
    work=$(mktemp -d /tmp/wobblegen-shot-XXXXXX)
    trap 'rm -rf "$work"' EXIT
    "$(dirname "$gui")/../wobblegen-cli" --center 3158 --level 0.08 --mod 3.3 --duration 40 \
        -o "$work/take.wav" >/dev/null
    (cd "$work" && "$gui" --report report.pdf --paper a4 \
        --note "Cassette deck after service: new pinch roller, capstan cleaned" take.wav >/dev/null)
    pdftoppm -r 110 -png -singlefile "$work/report.pdf" "$work/page"
    cp "$work/page.png" "$output"
    echo "wrote $output"
    exit 0
fi
meter=false
[ "$(basename "$gui")" = wobblemeter-gui ] && meter=true
mode=${3:-file}
if $meter; then
    output=${2:-docs/meter-$mode.png}
    caption='Wow and Flutter Meter'
    screen=1280x900x24
    # wobblegen-cli of the same build: build/meterwin/wobblemeter-gui -> build/wobblegen-cli.
    generator=$(dirname "$gui")/../wobblegen-cli
else
    output=${2:-docs/dialog.png}
    caption='Wow and Flutter generator'
    screen=800x600x24
fi

work=$(mktemp -d /tmp/wobblegen-shot-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 $screen -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 30 -u 3 number || { echo "Xvfb did not start" >&2; exit 1; }
exec 3<&-
export DISPLAY=":$number"

managed=false
if command -v icewm >/dev/null; then
    HOME="$work" icewm >"$work/wm.log" 2>&1 &
    pids+=($!)
    managed=true
fi

arguments=()
if $meter; then
    # A deck a little fast, with some flutter: the tone the pictures show.
    "$generator" --center 3158 --level 0.08 --mod 3.3 --duration 40 -o "$work/take.wav" >/dev/null
    export HOME="$work" XDG_CONFIG_HOME="$work/config"
    if [ "$mode" = live ]; then
        export XDG_RUNTIME_DIR="$work/run" PULSE_CLIENTCONFIG="$work/client.conf"
        export PULSE_SOURCE=screenshot.monitor JACK_NO_START_SERVER=1
        unset PULSE_SERVER
        mkdir -p "$XDG_RUNTIME_DIR"
        chmod 700 "$XDG_RUNTIME_DIR"
        echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
        pulseaudio -n --daemonize=no --exit-idle-time=-1 --log-target=file:"$work/pulse.log" \
            -L module-native-protocol-unix -L "module-null-sink sink_name=screenshot rate=44100" &
        pids+=($!)
        for _ in $(seq 1 50); do
            pactl info >/dev/null 2>&1 && break
            sleep 0.1
        done
    else
        arguments=(take.wav)  # as the heading names it
    fi
fi
(cd "$work" && exec "$gui" "${arguments[@]}" >/dev/null 2>&1) &
pids+=($!)

deadline=$((SECONDS + 30))
id=""
while [ -z "$id" ]; do
    [ $SECONDS -lt $deadline ] || { echo "no dialog within 30s" >&2; exit 1; }
    id=$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null | head -n 1 || true)
    sleep 0.2
done
# With a window manager the dialog sits inside frame windows: capture the outermost.
target=$id
if $managed; then
    root=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
    for _ in $(seq 1 50); do
        parent=$(xwininfo -children -id "$target" |
            sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')
        [ -z "$parent" ] || [ "$parent" = "$root" ] && break
        target=$parent
    done
fi
xdotool windowfocus --sync "$id" 2>/dev/null || true
if $meter; then
    # The pointer off the panels (Xvfb puts it in the screen's middle): no cursor readout in
    # the picture.
    xdotool mousemove 0 0
    if [ "$mode" = live ]; then
        # Start (F5), the tone played, the picture taken with 15 s of it measured.
        xdotool key F5
        sleep 1
        paplay -d screenshot "$work/take.wav" &
        pids+=($!)
        sleep 15
    else
        sleep 3  # measured
    fi
fi
# Let both the window manager and the dialog finish drawing: wait until two captures agree
# (a live meter never rests: its one capture is taken as it is).
previous=""
attempts=50
$meter && [ "$mode" = live ] && attempts=1
for _ in $(seq 1 $attempts); do
    import -window "$target" "$work/shot.png"
    sum=$(md5sum <"$work/shot.png")
    [ "$sum" = "$previous" ] && break
    previous=$sum
    sleep 0.2
done
mkdir -p "$(dirname "$output")"
cp "$work/shot.png" "$output"
echo "wrote $output"
