#!/bin/bash
# The Windows installer under Wine, in a prefix of the test's own: installed silently into a
# folder of ours (/D=) and then where it goes by default, its files, Start-menu links and entry
# in the list of installed programs checked, the installed programs run, then uninstalled
# silently and nothing of it left. Usage: installer_test.sh wobblegen-VERSION-setup.exe
# LINUX_WOBBLEGEN_CLI (the Linux build's wobblegen-cli, which makes the tone and the bytes the
# installed wobblegen-cli.exe must write).
set -euo pipefail
setup=$(realpath "$1")
linux_cli=$(realpath "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/wobblegen-setup-XXXXXX)
mkdir -p "$work/home"
# shellcheck source=tests/windows/wine_env.sh
. "$here/windows/wine_env.sh" "$work"
trap 'wobblegen_wine_stop; rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
wine() { "$WOBBLEGEN_WINE" "$@" </dev/null; }

version=$(basename "$setup" | sed -n 's/^wobblegen-\(.*\)-setup\.exe$/\1/p')
[ -n "$version" ] || fail "the installer's name has no version: $setup"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\wobblegen'
drive=$WINEPREFIX/drive_c
start_menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs"
wobblegen_wine_prefix

# The value NAME in the uninstall entry as `reg query` printed it into $work/entry.
reg_value() {
    sed -n "s/^ *$1 *REG_[A-Z_]* *//p" "$work/entry"
}

# Installs silently into the Windows folder WINDIR (none: the default); waits for every Wine
# process to end. Through cmd, as a user types it: NSIS wants /D= last and unquoted, spaces
# and all, which Wine's own quoting of an argument would spoil.
install_to() {
    cp "$setup" "$drive/setup.exe"
    wine cmd /c "C:\\setup.exe /S${1:+ /D=$1}" >/dev/null 2>&1 || fail "setup /S ${1:+/D=$1}: status $?"
    "$WOBBLEGEN_WINESERVER" -w
    rm -f "$drive/setup.exe"
}

# The files in DIR, the links and the uninstall entry for an installation in WINDIR.
check_installed() {
    local dir=$1 windir=$2
    [ -d "$dir" ] || {
        fail "nothing installed in $windir"
        return
    }
    (cd "$dir" && find . -type f | sed 's|^\./||' | sort) >"$work/installed"
    local expected=(LICENSE.txt README.txt Uninstall.exe wobblegen-cli.exe wobblegen.exe wobblemeter.exe
        wobblemeter-gui.exe)
    local links=(wobblegen.lnk "Wow and Flutter Meter.lnk") link
    printf '%s\n' "${expected[@]}" | sort | diff - "$work/installed" || fail "$windir holds other files"
    for link in "${links[@]}"; do
        [ -f "$start_menu/$link" ] || fail "no Start-menu link $link"
    done
    grep -q 'GNU GENERAL PUBLIC LICENSE' "$dir/LICENSE.txt" || fail "LICENSE.txt is no GPL"
    grep -q $'^# wobblegen\r$' "$dir/README.txt" || fail "README.txt is not the README as Windows text"
    local name value
    wine reg query "$key" 2>/dev/null | tr -d '\r' >"$work/entry" || fail "no uninstall entry"
    for name in DisplayName:wobblegen DisplayVersion:"$version" \
        Publisher:"the wobblegen developers" InstallLocation:"$windir" \
        UninstallString:"\"$windir\\Uninstall.exe\"" \
        QuietUninstallString:"\"$windir\\Uninstall.exe\" /S" NoModify:0x1 NoRepair:0x1; do
        value=$(reg_value "${name%%:*}")
        [ "$value" = "${name#*:}" ] || fail "uninstall entry ${name%%:*} is '$value', not '${name#*:}'"
    done
}

# The installed meter reads a tone of the Linux generator as made (4 Hz, 0.5 %); the installed
# generator writes the Linux generator's bytes.
run_installed() {
    local windir=$1
    "$linux_cli" --mod 4 --level 0.5 --duration 10 -o "$drive/tone.wav" >/dev/null
    wobblegen_wine_server
    wine "$windir\\wobblemeter.exe" --json 'C:\tone.wav' >"$work/meter.json" 2>"$work/meter.err" ||
        fail "installed wobblemeter.exe: status $? $(cat "$work/meter.err")"
    python3 -c '
import json, sys
try:
    r = json.load(open(sys.argv[1]))
except ValueError:
    print("no JSON"); sys.exit(1)
peak, mod = r["unweighted_peak_percent"], r["modulation_hz"]
ok = abs(peak - 0.4985) < 0.005 and abs(mod - 4) < 0.05
print("" if ok else f"unweighted {peak} %, modulation {mod} Hz")
sys.exit(0 if ok else 1)' "$work/meter.json" || fail "installed wobblemeter.exe misreads the tone"
    wine "$windir\\wobblegen-cli.exe" --duration 2 -o 'C:\win.wav' >/dev/null 2>&1 ||
        fail "installed wobblegen-cli.exe: status $?"
    "$linux_cli" --duration 2 -o "$work/linux.wav" >/dev/null
    cmp -s "$drive/win.wav" "$work/linux.wav" || fail "installed wobblegen-cli.exe writes other bytes"
    # The meter's window, a windowed program, prints its version where it is given an output.
    wine "$windir\\wobblemeter-gui.exe" --version >"$work/gui-version.txt" 2>/dev/null ||
        fail "installed wobblemeter-gui.exe --version: status $?"
    grep -q '^wobblemeter-gui version ' "$work/gui-version.txt" ||
        fail "installed wobblemeter-gui.exe --version: $(cat "$work/gui-version.txt")"
    rm -f "$drive/tone.wav" "$drive/win.wav"
    wobblegen_wine_stop
    "$WOBBLEGEN_WINESERVER" -w
}

# Uninstalls silently as the list of installed programs would; the uninstaller copies itself
# to a temporary folder and returns at once: wineserver -w waits for that copy to end.
uninstall_from() {
    local dir=$1 windir=$2
    wine "$windir\\Uninstall.exe" /S >/dev/null 2>&1 || fail "Uninstall.exe /S: status $?"
    "$WOBBLEGEN_WINESERVER" -w
    [ -e "$dir" ] && fail "$windir is left: $(ls -A "$dir")"
    local left
    left=$(find "$start_menu" -iname '*.lnk' \( -iname 'wobblegen*' -o -iname 'Wow and Flutter*' \))
    [ -z "$left" ] || fail "Start-menu links left: $left"
    wine reg query "$key" >/dev/null 2>&1 && fail "the uninstall entry is left"
    "$WOBBLEGEN_WINESERVER" -w
}

windir='C:\Tools\wobble gen'
install_to "$windir"
check_installed "$drive/Tools/wobble gen" "$windir"
run_installed "$windir"
uninstall_from "$drive/Tools/wobble gen" "$windir"
[ -d "$drive/Tools" ] || fail "the uninstaller removed the folder above its own"

windir='C:\Program Files\wobblegen'
install_to ""
check_installed "$drive/Program Files/wobblegen" "$windir"
uninstall_from "$drive/Program Files/wobblegen" "$windir"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
[ "$failures" -eq 0 ]
