# Shell functions the end-to-end tests of the desktop programs share: waiting for a window to
# show or to go, by a pattern of its name. Sourced; the caller defines fail() and timeout_s.

# Polls for a visible window whose name matches the pattern; prints its id.
wait_window() {
    local deadline=$((SECONDS + timeout_s)) id
    while [ $SECONDS -lt $deadline ]; do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    fail "no window named '$1' within ${timeout_s}s"
}

# Polls until no visible window's name matches the pattern.
wait_window_gone() {
    local deadline=$((SECONDS + timeout_s))
    while [ $SECONDS -lt $deadline ]; do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "window '$1' still there after ${timeout_s}s"
}

# The ids of every visible window, sorted.
visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort || true; }
