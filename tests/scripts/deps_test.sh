#!/bin/sh
# Tests of scripts/deps.sh's front: the target it is given (usage, the Windows wrapper) and the
# tools each target needs, without building anything (a PATH without the compilers).
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# A PATH with the shell's basics but none of the compilers or apt.
mkdir -p "$tmp/bin"
for tool in sh dirname cat sed; do ln -s "$(command -v "$tool")" "$tmp/bin/$tool"; done

expect() { # name, status wanted, text stderr must hold, command...
    name=$1 want=$2 text=$3
    shift 3
    XDG_CACHE_HOME=$tmp/cache PATH=$tmp/bin "$@" >"$tmp/out" 2>"$tmp/err"
    got=$?
    if [ "$got" -ne "$want" ] || ! grep -qF -- "$text" "$tmp/err"; then
        echo "FAIL $name: status $got (wanted $want), stderr:" >&2
        cat "$tmp/err" >&2
        failures=$((failures + 1))
    fi
    if [ -s "$tmp/out" ]; then # the last line of stdout is a prefix only on success
        echo "FAIL $name: printed on stdout: $(cat "$tmp/out")" >&2
        failures=$((failures + 1))
    fi
}

expect NoTarget 2 "usage: scripts/deps.sh windows|web" "$repo/scripts/deps.sh"
expect UnknownTarget 2 "usage: scripts/deps.sh windows|web" "$repo/scripts/deps.sh" mac
expect WebNeedsEmcc 1 "web-deps: emcc is missing (scripts/setup.sh installs it)" \
    "$repo/scripts/deps.sh" web
expect WrapperIsWindows 1 \
    "windows-deps: x86_64-w64-mingw32-gcc-posix is missing (scripts/setup.sh installs it)" \
    "$repo/scripts/windows-deps.sh"
if [ -e "$tmp/cache" ]; then
    echo "FAIL: a failed run left $(find "$tmp/cache" | head -n 3)" >&2
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "deps_test: all passed"
exit "$failures"
