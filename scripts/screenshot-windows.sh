#!/bin/bash
# Takes a screenshot of the Win32 dialog of wobblegen.exe under Wine, on an Xvfb of its own.
# Wine draws the frame itself (no window manager). Usage:
#   scripts/screenshot-windows.sh [WOBBLEGEN_EXE [OUTPUT.png]]
# Defaults: build-windows/ui/wobblegen.exe and docs/dialog-windows.png. The Wine prefix is
# build-windows/wine/gui, made when missing, and its session ends with the script.
set -euo pipefail
cd "$(dirname "$0")/.."

gui=$(realpath "${1:-build-windows/ui/wobblegen.exe}")
output=${2:-docs/dialog-windows.png}
caption='Wow and Flutter generator'
mkdir -p build-windows/wine/gui/home
winedir=$(cd build-windows/wine/gui && pwd)

work=$(mktemp -d /tmp/wobblegen-shot-XXXXXX)
xvfb_pid=""
app_pid=""
wine_started=false
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    $wine_started && wobblegen_wine_stop
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 800x600x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 -u 3 number || { echo "Xvfb did not start" >&2; exit 1; }
exec 3<&-
export DISPLAY=":$number"

# shellcheck source=tests/windows/wine_env.sh
. tests/windows/wine_env.sh "$winedir"
wine_started=true
wobblegen_wine_prefix
wobblegen_wine_server

(cd "$work" && exec "$WOBBLEGEN_WINE" "$gui" >/dev/null 2>&1) &
app_pid=$!

deadline=$((SECONDS + 30))
id=""
while [ -z "$id" ]; do
    [ $SECONDS -lt $deadline ] || { echo "no dialog within 30s" >&2; exit 1; }
    id=$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null | head -n 1 || true)
    sleep 0.2
done
# Wait until two captures agree: the dialog has finished drawing.
previous=""
for _ in $(seq 1 50); do
    import -window "$id" "$work/shot.png"
    sum=$(md5sum <"$work/shot.png")
    [ "$sum" = "$previous" ] && break
    previous=$sum
    sleep 0.2
done
mkdir -p "$(dirname "$output")"
cp "$work/shot.png" "$output"
echo "wrote $output"
