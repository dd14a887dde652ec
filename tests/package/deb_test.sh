#!/bin/bash
# The Debian package on a real system: installs it with apt-get on this machine, checks the
# files it brings and its Depends, runs wobblegen-cli and wobblemeter from /usr/bin, then
# removes it (purge) and checks that every file it brought is gone. Needs root, and a system
# where the package is not installed yet. Usage: deb_test.sh wobblegen_VERSION_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
if [ "$(id -u)" -ne 0 ]; then
    echo "deb_test.sh: installing a package needs root (apt-get); run it as root" >&2
    exit 1
fi
if dpkg-query -W -f='${db:Status-Status}' wobblegen 2>/dev/null | grep -qx installed; then
    echo "deb_test.sh: a wobblegen package is installed already; not touching it" >&2
    exit 1
fi

work=$(mktemp -d /tmp/wobblegen-deb-XXXXXX)
installed=false
cleanup() {
    if $installed; then
        DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq wobblegen >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

echo "Depends names the shared libraries the programs use"
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
for library in libc6 libstdc++6 libfltk1.3 libsndfile1 libcairo2 libfftw3-double3 libsleef3; do
    grep -qxF "$library" <<<"$names" || fail "Depends lacks $library: $depends"
done
dpkg-deb -f "$deb" Section | grep -qx sound || fail "section $(dpkg-deb -f "$deb" Section)"

echo "apt-get installs it"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
    >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt-get install"; exit 1; }
installed=true
dpkg -L wobblegen >"$work/files"
for file in /usr/bin/wobblegen /usr/bin/wobblegen-cli /usr/bin/wobblemeter; do
    [ -x "$file" ] || fail "$file is not there"
done
for file in /usr/share/applications/wobblegen.desktop \
    /usr/share/icons/hicolor/32x32/apps/wobblegen.png \
    /usr/share/icons/hicolor/16x16/apps/wobblegen.png \
    /usr/share/man/man1/wobblegen.1.gz /usr/share/man/man1/wobblegen-cli.1.gz \
    /usr/share/man/man1/wobblemeter.1.gz \
    /usr/share/doc/wobblegen/README.md /usr/share/doc/wobblegen/copyright; do
    [ -f "$file" ] || fail "$file is not there"
done
grep -q 'GPL-3.0-or-later' /usr/share/doc/wobblegen/copyright || fail "no licence in copyright"
zcat /usr/share/man/man1/wobblemeter.1.gz | grep -q '^\.TH WOBBLEMETER 1' || fail "wobblemeter.1"
# Nothing of the build or the tests, nothing outside /usr.
grep -vE '^/usr(/|$)|^/\.$' "$work/files" && fail "files outside /usr"
grep -qiE 'test|bench|fuzz|\.a$|\.h$' "$work/files" && fail "build files in the package: $(grep -iE 'test|bench|fuzz|\.a$|\.h$' "$work/files")"

echo "wobblegen-cli and wobblemeter run from /usr/bin"
cd "$work"
hash -r
[ "$(command -v wobblegen-cli)" = /usr/bin/wobblegen-cli ] || fail "wobblegen-cli is $(command -v wobblegen-cli)"
wobblegen-cli >cli.out || fail "wobblegen-cli: status $?"
[ "$(md5sum <test.wav | cut -d' ' -f1)" = f381080cbdf77566deea73bb5ada1bf2 ] || fail "default file"
wobblegen-cli --level 0.2 --mod 0.8 --duration 12 -o wow.wav >/dev/null || fail "wobblegen-cli options"
wobblemeter --json wow.wav >meter.json || fail "wobblemeter: status $?"
grep -q '"weighted_peak_percent"' meter.json || fail "wobblemeter printed: $(cat meter.json)"
wobblemeter --version | grep -q 'version 1\.0' || fail "wobblemeter --version"
cd /

echo "apt-get removes it, and every file it brought"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq wobblegen >"$work/remove.log" 2>&1 ||
    fail "apt-get remove: $(cat "$work/remove.log")"
installed=false
dpkg-query -W -f='${db:Status-Status}' wobblegen 2>/dev/null | grep -qx installed && fail "still installed"
while read -r path; do
    [ -f "$path" ] || [ -L "$path" ] || continue
    fail "$path left behind"
done <"$work/files"

total=4
echo "$((failures == 0 ? total : 0)) passed, $failures failed"
[ "$failures" -eq 0 ]
