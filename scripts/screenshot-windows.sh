#!/bin/bash
# Takes a screenshot of a Windows program under Wine, on an Xvfb of its own: the Win32 dialog of
# wobblegen.exe, or the meter's window wobblemeter-gui.exe measuring a file or live from a
# PulseAudio null sink of the script's own. Wine draws the frame itself (no window manager).
#   scripts/screenshot-windows.sh [WOBBLEGEN_EXE [OUTPUT.png]]
#   scripts/screenshot-windows.sh build-windows/meterwin/wobblemeter-gui.exe [OUTPUT.png] [file|live]
# Defaults: build-windows/ui/wobblegen.exe and docs/dialog-windows.png; for the meter
# docs/meter-windows-file.png or docs/meter-windows-live.png, the tone written by the Linux
# build's wobblegen-cli (WOBBLEGEN_CLI, default build/wobblegen-cli). The Wine prefix is
# build-windows/wine/gui, made when missing; its session, the Xvfb and the sound daemon end
# with the script.
set -euo pipefail
cd "$(dirname "$0")/.."

gui=$(realpath "${1:-build-windows/ui/wobblegen.exe}")
meter=false
[ "$(basename "$gui")" = wobblemeter-gui.exe ] && meter=true
mode=${3:-file}
if $meter; then
    output=${2:-docs/meter-windows-$mode.png}
    caption='Wow and Flutter Meter'
    screen=1280x900x24
    generator=$(realpath "${WOBBLEGEN_CLI:-build/wobblegen-cli}")
else
    output=${2:-docs/dialog-windows.png}
    caption='Wow and Flutter generator'
    screen=800x600x24
fi
mkdir -p build-windows/wine/gui/home
winedir=$(cd build-windows/wine/gui && pwd)

work=$(mktemp -d /tmp/wobblegen-shot-XXXXXX)
pids=()
app_pid=""
wine_started=false
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    $wine_started && wobblegen_wine_stop
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

arguments=()
if $meter; then
    "$generator" --center 3158 --level 0.08 --mod 3.3 --duration 40 -o "$work/take.wav" >/dev/null
    if [ "$mode" = live ]; then
        # shellcheck source=tests/windows/pulse_env.sh
        . tests/windows/pulse_env.sh
        started=0
        wobblegen_pulse_start "$work/pulse" screenshot || started=$?
        pids+=("$wobblegen_pulse_pid")
        [ "$started" -eq 0 ] || exit 1
    else
        arguments=(take.wav) # as the heading names it
    fi
fi

# shellcheck source=tests/windows/wine_env.sh
. tests/windows/wine_env.sh "$winedir"
wine_started=true
wobblegen_wine_prefix
wobblegen_wine_server

(cd "$work" && exec "$WOBBLEGEN_WINE" "$gui" "${arguments[@]}" >/dev/null 2>&1) &
app_pid=$!

deadline=$((SECONDS + 30))
id=""
while [ -z "$id" ]; do
    [ $SECONDS -lt $deadline ] || { echo "no window within 30s" >&2; exit 1; }
    id=$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null | head -n 1 || true)
    sleep 0.2
done
attempts=50
if $meter; then
    xdotool mousemove 0 0
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id" || true
    if [ "$mode" = live ]; then
        xdotool key F5
        sleep 1
        paplay -d screenshot "$work/take.wav" &
        pids+=($!)
        sleep 15
        attempts=1
    else
        sleep 4 # measured
    fi
fi
# Wait until two captures agree: the window has finished drawing.
previous=""
for _ in $(seq 1 $attempts); do
    import -window "$id" "$work/shot.png"
    sum=$(md5sum <"$work/shot.png")
    [ "$sum" = "$previous" ] && break
    previous=$sum
    sleep 0.2
done
mkdir -p "$(dirname "$output")"
cp "$work/shot.png" "$output"
echo "wrote $output"
