#!/bin/bash
# Takes a screenshot of the wobblegen dialog under its own Xvfb, framed by a window manager
# when icewm is installed. Usage: scripts/screenshot.sh [WOBBLEGEN [OUTPUT.png]]
# Defaults: build/ui/wobblegen and docs/dialog.png. Needs Xvfb, xdotool and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."

gui=$(realpath "${1:-build/ui/wobblegen}")
output=${2:-docs/dialog.png}
caption='Wow and Flutter generator'

work=$(mktemp -d /tmp/wobblegen-shot-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 800x600x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
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

(cd "$work" && exec "$gui" >/dev/null 2>&1) &
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
# Let both the window manager and the dialog finish drawing: wait until two captures agree.
previous=""
for _ in $(seq 1 50); do
    import -window "$target" "$work/shot.png"
    sum=$(md5sum <"$work/shot.png")
    [ "$sum" = "$previous" ] && break
    previous=$sum
    sleep 0.2
done
mkdir -p "$(dirname "$output")"
cp "$work/shot.png" "$output"
echo "wrote $output"
