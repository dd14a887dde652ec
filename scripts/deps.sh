#!/bin/sh
# Builds the meter's libraries for a second platform from Debian 12's own source packages into a
# prefix cached outside the checkout, and prints that prefix on its last line.
#
#   prefix=$(scripts/deps.sh windows)   64-bit Windows (mingw-w64), also scripts/windows-deps.sh
#   prefix=$(scripts/deps.sh web)       WebAssembly (Debian's emscripten), static, no threads
#
# Progress and versions go to standard error.
# The sources come through a private apt setup under the cache: deb-src entries made from this
# machine's deb entries (every suite), its own lists and cache folders; /etc/apt is only read.
# apt checks every file against the signed indexes. The prefix is keyed by the packages'
# versions, the compiler's and the target's RECIPE below, so a second run with the same key
# returns at once; each library's build log is kept beside it. JOBS (default 2) is make's
# parallelism. Patches: scripts/windows-deps/PACKAGE-*.patch, scripts/web-deps/PACKAGE-*.patch.
set -eu

target=${1:-}
case $target in
windows | web) ;;
*)
    echo "usage: scripts/deps.sh windows|web" >&2
    exit 2
    ;;
esac
name=$target-deps

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck disable=SC2034 # repo and jobs: used by the recipes
repo=$(dirname "$here")
# shellcheck disable=SC2034
jobs=${JOBS:-2}
top=${XDG_CACHE_HOME:-$HOME/.cache}/wobblegen/$name
apt_dir=$top/apt
src_dir=$top/src

fail() {
    echo "$name: $*" >&2
    exit 1
}

# The target's recipe: RECIPE, PACKAGES, check_tools, cache_key_text, set_env, build_PACKAGE,
# build_first and complete_text.
# shellcheck source=/dev/null
. "$here/$name/recipes.sh"
check_tools

# One run at a time on a cache (two checkouts' make windows): the second waits, then finds the
# prefix built.
mkdir -p "$top"
exec 9>"$top/lock"
flock 9 || fail "cannot lock $top/lock"

# --- The private apt setup -------------------------------------------------------------------
apt_opts="-o Dir::Etc::sourcelist=$apt_dir/sources.list -o Dir::Etc::sourceparts=-
 -o Dir::State::Lists=$apt_dir/lists -o Dir::Cache=$apt_dir/cache -o APT::Sandbox::User=root"
papt_get() { # shellcheck disable=SC2086
    apt-get $apt_opts "$@"
}
papt_cache() { # shellcheck disable=SC2086
    apt-cache $apt_opts "$@"
}

apt_update() {
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    "$here/windows-deps/apt-sources.sh" >"$apt_dir/sources.list.new"
    [ -s "$apt_dir/sources.list.new" ] || fail "no deb entry in /etc/apt to make deb-src entries of"
    mv "$apt_dir/sources.list.new" "$apt_dir/sources.list"
    papt_get -q update >"$apt_dir/update.log" 2>&1 || {
        tail -n 20 "$apt_dir/update.log" >&2
        fail "apt-get update of the source lists failed (log: $apt_dir/update.log)"
    }
}

# The versions of a source package in the lists, highest first.
versions_of() {
    all=$(papt_cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u)
    for v in $all; do
        n=0
        for w in $all; do
            if dpkg --compare-versions "$w" gt "$v"; then n=$((n + 1)); fi
        done
        echo "$n $v"
    done | sort -n | cut -d' ' -f2
}

# Fetches and unpacks package $1 at version $2 into $src_dir/$1_$2 (apt-get source applies
# Debian's patches), or with $3 = upstream the upstream tarball alone into $src_dir/$1_$2-upstream.
fetch_source() {
    dir=$src_dir/$1_$2
    [ "$3" = upstream ] && dir=$dir-upstream
    [ -f "$dir/.unpacked" ] && return 0
    rm -rf "$dir" && mkdir -p "$dir"
    if [ "$3" = debian ]; then
        (cd "$dir" && papt_get -q source "$1=$2") >"$dir.log" 2>&1 || return 1
    else
        (cd "$dir" && papt_get -q source --tar-only "$1=$2") >"$dir.log" 2>&1 || return 1
        for tarball in "$dir"/*.orig.tar.*; do
            case $tarball in *.asc) continue ;; esac # upstream's signature, not a tarball
            mkdir -p "$dir/upstream" && tar xf "$tarball" -C "$dir/upstream" || return 1
        done
    fi
    touch "$dir/.unpacked"
}

# The unpacked tree of $1 at $2 ($3: debian or upstream).
tree_of() {
    base=$src_dir/$1_$2
    [ "$3" = upstream ] && base=$base-upstream/upstream
    for d in "$base"/*/; do
        [ -f "$d/configure" ] || [ -f "$d/CMakeLists.txt" ] || [ -f "$d/meson.build" ] || continue
        echo "${d%/}"
        return 0
    done
    return 1
}

have_lists() {
    for f in "$apt_dir"/lists/*_Sources*; do
        [ -f "$f" ] && return 0
    done
    return 1
}
if [ ! -f "$apt_dir/sources.list" ] || ! have_lists; then apt_update; fi

# Chooses each package's version: the highest the lists name whose files can all be
# downloaded; failing that, the highest whose upstream tarball can (Debian's patches then
# missing, which is said).
chosen=""
for p in $PACKAGES; do
    vs=$(versions_of "$p")
    if [ -z "$vs" ]; then
        apt_update
        vs=$(versions_of "$p")
    fi
    [ -n "$vs" ] || fail "no source package $p in the lists"
    got=""
    for kind in debian upstream; do
        for v in $vs; do
            if fetch_source "$p" "$v" "$kind"; then
                got=$v
                break 2
            fi
            [ "$kind" = upstream ] ||
                echo "$name: $p $v: not all its files can be downloaded" >&2
        done
    done
    [ -n "$got" ] || fail "no version of $p could be downloaded (logs: $src_dir/${p}_*.log)"
    chosen="$chosen$p $got $kind
"
done

key=$(cache_key_text | sha256sum | cut -c1-16)
prefix=$top/$key
if [ -f "$prefix/.complete" ]; then
    echo "$name: built before: $prefix" >&2
    echo "$prefix"
    exit 0
fi

# --- Building --------------------------------------------------------------------------------
mkdir -p "$prefix/.built" "$prefix/logs"
work=$top/work-$key
set_env
# Generated autotools files made newer than their inputs, which Debian's patches touched: no
# autoconf or automake is run.
settle_autotools() {
    find . -name aclocal.m4 -exec touch {} +
    sleep 1
    find . \( -name configure -o -name Makefile.in -o -name config.h.in \) -exec touch {} +
}

# Builds $1 (version $2) from tree $3, logging to $prefix/logs/$1.log. (The build functions
# chain their steps with &&: set -e does not reach into a subshell that `if` tests.)
build_one() {
    log=$prefix/logs/$1.log
    [ -f "$prefix/.built/$1" ] && {
        echo "  $1 $2: built before" >&2
        return 0
    }
    : >"$log"
    start=$(date +%s)
    rm -rf "${work:?}/$1" && mkdir -p "$work"
    if [ -n "$3" ]; then
        cp -a "$3" "$work/$1"
        for patch in "$here/$name/$1"-*.patch; do
            [ -f "$patch" ] || continue
            patch -d "$work/$1" -p1 <"$patch" >>"$log" 2>&1 || fail "$1: $patch does not apply"
        done
    else
        mkdir -p "$work/$1"
    fi
    fn=build_$(echo "$1" | tr '.' '_')
    if (cd "$work/$1" && $fn) >>"$log" 2>&1; then
        touch "$prefix/.built/$1"
        rm -rf "${work:?}/$1"
        echo "  $1 $2: built in $(($(date +%s) - start)) s" >&2
    else
        tail -n 30 "$log" >&2
        fail "$1 $2 failed after $(($(date +%s) - start)) s; its log: $log"
    fi
}

echo "$name: building into $prefix (logs in $prefix/logs)" >&2
all_start=$(date +%s)
build_first
printf '%s' "$chosen" >"$prefix/versions"
while read -r p v kind; do # not a pipe: fail must end the script
    tree=$(tree_of "$p" "$v" "$kind") || fail "$p $v: no unpacked source tree"
    [ "$kind" = debian ] || echo "  $p $v: the upstream tarball alone (no Debian diff)" >&2
    build_one "$p" "$v" "$tree"
done <"$prefix/versions"
rm -rf "$work"
complete_text >"$prefix/.complete"
echo "$name: all built in $(($(date +%s) - all_start)) s" >&2
echo "$prefix"
