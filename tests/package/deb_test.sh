#!/bin/bash
# The Debian package installed, run and removed. As root (CI) on this machine with apt-get,
# which also resolves its Depends; otherwise with dpkg into a scratch root, with the Depends
# checked against what this machine has installed. Checks the files it brings, runs
# wobblegen-cli, wobblemeter and wobblemeter-gui (--version) from /usr/bin, then removes it (purge) and checks that every
# file it brought is gone. Usage: deb_test.sh wobblegen_VERSION_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d /tmp/wobblegen-deb-XXXXXX)
root=""  # where the package's /usr lands: the system's, or a scratch root's
if [ "$(id -u)" -eq 0 ]; then
    if dpkg-query -W -f='${db:Status-Status}' wobblegen 2>/dev/null | grep -qx installed; then
        echo "deb_test.sh: a wobblegen package is installed already; not touching it" >&2
        exit 1
    fi
else
    root=$work/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    : >"$root/var/lib/dpkg/status"
fi
installed=false
remove() {
    if [ -z "$root" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq wobblegen
    else
        dpkg --root="$root" --force-not-root --force-script-chrootless --purge wobblegen
    fi
}
cleanup() {
    $installed && remove >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
passed=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Ends the group of checks before (passed when it added no failure) and starts the next.
group_start=-1
group() {
    [ "$failures" -eq "$group_start" ] && passed=$((passed + 1))
    group_start=$failures
    [ -n "${1:-}" ] && echo "$1"
    return 0
}

group "Depends names the shared libraries the programs use"
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
for library in libc6 libstdc++6 libfltk1.3 libsndfile1 libcairo2 libfftw3-double3 libsleef3 \
    libportaudio2; do
    grep -qxF "$library" <<<"$names" || fail "Depends lacks $library: $depends"
done
dpkg-deb -f "$deb" Section | grep -qx sound || fail "section $(dpkg-deb -f "$deb" Section)"

if [ -z "$root" ]; then
    group "apt-get installs it"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
        >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt-get install"; exit 1; }
else
    group "dpkg installs it into a scratch root (not root: no apt-get)"
    # The scratch root has no packages of its own: the dependencies are this machine's.
    while read -r name; do
        dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null | grep -qx installed ||
            fail "Depends names $name, which is not installed here"
    done <<<"$names"
    dpkg --root="$root" --force-not-root --force-script-chrootless --force-depends \
        -i "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "dpkg -i"; exit 1; }
fi
installed=true
dpkg --root="${root:-/}" -L wobblegen >"$work/files"
for file in /usr/bin/wobblegen /usr/bin/wobblegen-cli /usr/bin/wobblemeter \
    /usr/bin/wobblemeter-gui; do
    [ -x "$root$file" ] || fail "$file is not there"
done
for file in /usr/share/applications/wobblegen.desktop \
    /usr/share/icons/hicolor/32x32/apps/wobblegen.png \
    /usr/share/icons/hicolor/16x16/apps/wobblegen.png \
    /usr/share/man/man1/wobblegen.1.gz /usr/share/man/man1/wobblegen-cli.1.gz \
    /usr/share/man/man1/wobblemeter.1.gz /usr/share/man/man1/wobblemeter-gui.1.gz \
    /usr/share/applications/wobblemeter-gui.desktop \
    /usr/share/icons/hicolor/32x32/apps/wobblemeter-gui.png \
    /usr/share/icons/hicolor/scalable/apps/wobblemeter-gui.svg \
    /usr/share/doc/wobblegen/README.md /usr/share/doc/wobblegen/copyright \
    /usr/share/doc/wobblegen/docs/meter.md /usr/share/doc/wobblegen/docs/meter-live.png; do
    [ -f "$root$file" ] || fail "$file is not there"
done
grep -q 'GPL-3.0-or-later' "$root/usr/share/doc/wobblegen/copyright" || fail "no licence in copyright"
zcat "$root/usr/share/man/man1/wobblemeter.1.gz" | grep -q '^\.TH WOBBLEMETER 1' || fail "wobblemeter.1"
zcat "$root/usr/share/man/man1/wobblemeter-gui.1.gz" | grep -q '^\.TH WOBBLEMETER-GUI 1' ||
    fail "wobblemeter-gui.1"
grep -qx 'Categories=AudioVideo;Audio;' "$root/usr/share/applications/wobblemeter-gui.desktop" ||
    fail "wobblemeter-gui.desktop's categories"
# Nothing of the build or the tests, nothing outside /usr.
grep -vE '^/usr(/|$)|^/\.$' "$work/files" && fail "files outside /usr"
grep -iE 'test|bench|fuzz|\.a$|\.h$' "$work/files" && fail "build files in the package"

group "wobblegen-cli, wobblemeter and wobblemeter-gui run from /usr/bin"
cd "$work"
export PATH="$root/usr/bin:$PATH"
hash -r
[ "$(command -v wobblegen-cli)" = "$root/usr/bin/wobblegen-cli" ] ||
    fail "wobblegen-cli is $(command -v wobblegen-cli)"
wobblegen-cli >cli.out || fail "wobblegen-cli: status $?"
[ "$(md5sum <test.wav | cut -d' ' -f1)" = f381080cbdf77566deea73bb5ada1bf2 ] || fail "default file"
wobblegen-cli --level 0.2 --mod 0.8 --duration 12 -o wow.wav >/dev/null || fail "wobblegen-cli options"
wobblemeter --json wow.wav >meter.json || fail "wobblemeter: status $?"
grep -q '"weighted_peak_percent"' meter.json || fail "wobblemeter printed: $(cat meter.json)"
wobblemeter --version | grep -q 'version 1\.0' || fail "wobblemeter --version"
wobblemeter-gui --version | grep -q 'version 1\.0' || fail "wobblemeter-gui --version"
# Live commands load PortAudio, which the package's Depends bring (whether or not a device is
# there to list).
JACK_NO_START_SERVER=1 wobblemeter --list-devices >/dev/null 2>list.err || true  # 1: no device here
! grep -q "cannot load" list.err || fail "wobblemeter --list-devices: $(cat list.err)"
cd /

group "Removed with every file it brought"
remove >"$work/remove.log" 2>&1 || fail "remove: $(cat "$work/remove.log")"
installed=false
dpkg --root="${root:-/}" -s wobblegen >/dev/null 2>&1 && fail "still installed"
while read -r path; do
    [ -f "$root$path" ] || [ -L "$root$path" ] || continue
    fail "$path left behind"
done <"$work/files"

group
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
