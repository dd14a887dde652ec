# Wine for the Windows tests, sourced by their scripts: the environment of a prefix in a
# folder of the build (never the user's ~/.wine or home), its one-time set-up and its server.
# Usage: . wine_env.sh WINEDIR
# Wine 8 runs the 64-bit programs with the 64-bit loader alone (wine64, no 32-bit packages).

WOBBLEGEN_WINE=/usr/lib/wine/wine64
WOBBLEGEN_WINESERVER=/usr/lib/wine/wineserver
for candidate in wine64 wine; do
    [ -x "$WOBBLEGEN_WINE" ] && break
    WOBBLEGEN_WINE=$(command -v "$candidate" || true)
done
for candidate in wineserver64 wineserver; do
    [ -x "$WOBBLEGEN_WINESERVER" ] && break
    WOBBLEGEN_WINESERVER=$(command -v "$candidate" || true)
done
export WINESERVER=$WOBBLEGEN_WINESERVER

export WINEPREFIX=$1/prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No menu entries or file associations on the desktop, no offer to install Mono or Gecko.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
# Wine puts folders and links into the home folder: one of the build's own.
export HOME=$1/home
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR

# Makes the prefix once (wineboot -i, some 10 to 15 s), under a lock so that tests started
# together wait for it:
# - Wine's own fonts, which it looks for in the prefix's Fonts folder rather than where
#   Debian puts them;
# - without a window manager Wine draws the frames and moves the focus itself (Managed=N);
# - a program that crashes ends instead of waiting in Wine's crash dialog.
wobblegen_wine_prefix() {
    local ready=$WINEPREFIX/.wobblegen-ready
    [ -e "$ready" ] && return 0
    (
        flock 9
        [ -e "$ready" ] && exit 0
        rm -rf "$WINEPREFIX"
        "$WOBBLEGEN_WINE" wineboot -i </dev/null >"${WINEPREFIX%/*}/boot.log" 2>&1 || true
        [ -d "$WINEPREFIX/drive_c/windows" ] || {
            echo "wine_env.sh: no Wine prefix made in $WINEPREFIX" >&2
            exit 1
        }
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
        ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
        "$WOBBLEGEN_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            </dev/null >/dev/null 2>&1
        "$WOBBLEGEN_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD \
            /d 0 /f </dev/null >/dev/null 2>&1
        # The registry reaches its files when the server ends.
        "$WOBBLEGEN_WINESERVER" -w
        touch "$ready"
    ) 9>"${WINEPREFIX%/*}/lock" || return 1
}

# Starts the session, detached from every pipe, unless it runs already: the server, which
# ends a minute after the last program (or at wineserver -k), and the session's services. The
# services keep the standard error of the program that starts them: started by a test's
# program instead, they would hold up whoever reads that output until the session ends.
wobblegen_wine_server() {
    "$WOBBLEGEN_WINESERVER" -p60 </dev/null >/dev/null 2>&1 || return 0
    "$WOBBLEGEN_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

# Ends every Wine process of this prefix and its server.
wobblegen_wine_stop() {
    "$WOBBLEGEN_WINESERVER" -k 2>/dev/null || true
}
