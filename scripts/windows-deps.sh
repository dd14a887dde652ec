#!/bin/sh
# Builds the meter's libraries for 64-bit Windows (mingw-w64) from Debian 12's own source
# packages into a prefix cached outside the checkout, and prints that prefix on its last line.
#
#   prefix=$(scripts/windows-deps.sh)      (progress and versions go to standard error)
#
# The sources come through a private apt setup under the cache: deb-src entries made from this
# machine's deb entries (every suite), its own lists and cache folders; /etc/apt is only read.
# apt checks every file against the signed indexes. The prefix is keyed by the packages'
# versions, the compiler's and RECIPE below, so a second run with the same key returns at once;
# each library's build log is kept beside it. JOBS (default 2) is make's parallelism.
set -eu

# Bump when a library's build options or patches change: the prefix is rebuilt under a new key.
RECIPE=2
HOST=x86_64-w64-mingw32
# Built in this order (each needs those before it); zlib is Debian's prebuilt mingw-w64 one.
# No FLTK: fltk1.3's source tarballs are not to be had from Debian's archive (404, every version),
# so the meter's window on Windows is a Win32 front-end of its own (meterwin/win32/).
PACKAGES="libogg flac libvorbis opus libsndfile fftw3 libpng1.6 pixman cairo portaudio19"

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
jobs=${JOBS:-2}
top=${XDG_CACHE_HOME:-$HOME/.cache}/wobblegen/windows-deps
apt_dir=$top/apt
src_dir=$top/src

fail() {
    echo "windows-deps: $*" >&2
    exit 1
}

for tool in $HOST-gcc-posix $HOST-g++-posix $HOST-ar $HOST-windres apt-get dpkg-source cmake \
    meson ninja pkg-config make flock; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/setup.sh installs it)"
done
[ -f /usr/$HOST/lib/libz.a ] || fail "libz-mingw-w64-dev is missing (scripts/setup.sh installs it)"

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
                echo "windows-deps: $p $v: not all its files can be downloaded" >&2
        done
    done
    [ -n "$got" ] || fail "no version of $p could be downloaded (logs: $src_dir/${p}_*.log)"
    chosen="$chosen$p $got $kind
"
done

zlib_version=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)
cc_version=$($HOST-gcc-posix -dumpfullversion)
key=$(printf 'recipe %s\nzlib %s\ngcc %s %s\n%s' "$RECIPE" "$zlib_version" "$cc_version" \
    "$(dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)" \
    "$chosen" | sha256sum | cut -c1-16)
prefix=$top/$key
if [ -f "$prefix/.complete" ]; then
    echo "windows-deps: built before: $prefix" >&2
    echo "$prefix"
    exit 0
fi

# --- Building --------------------------------------------------------------------------------
mkdir -p "$prefix/.built" "$prefix/logs"
work=$top/work-$key
export CC=$HOST-gcc-posix CXX=$HOST-g++-posix AR=$HOST-ar RANLIB=$HOST-ranlib
export STRIP=$HOST-strip WINDRES=$HOST-windres RC=$HOST-windres
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=
export CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" CFLAGS=-O2 CXXFLAGS=-O2
export WOBBLEGEN_WINDOWS_DEPS="$prefix"

# Generated autotools files made newer than their inputs, which Debian's patches touched: no
# autoconf or automake is run.
settle_autotools() {
    find . -name aclocal.m4 -exec touch {} +
    sleep 1
    find . \( -name configure -o -name Makefile.in -o -name config.h.in \) -exec touch {} +
}

autotools() { # configure options...
    settle_autotools
    ./configure --host=$HOST --prefix="$prefix" --enable-static --disable-shared "$@" &&
        make -j"$jobs" && make install
}

cmake_build() { # cmake options...
    cmake -S . -B _build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@" &&
        cmake --build _build -j "$jobs" && cmake --install _build
}

build_zlib() {
    mkdir -p "$prefix/include" "$prefix/lib/pkgconfig" &&
        cp /usr/$HOST/include/zlib.h /usr/$HOST/include/zconf.h "$prefix/include/" &&
        cp /usr/$HOST/lib/libz.a "$prefix/lib/" &&
        sed "s|/usr/$HOST|$prefix|g" /usr/$HOST/lib/pkgconfig/zlib.pc >"$prefix/lib/pkgconfig/zlib.pc"
}

build_libogg() {
    cmake_build -DINSTALL_DOCS=OFF
}

# Stack protector and _FORTIFY_SOURCE need libssp with mingw-w64: off, as Windows' own CRT has
# its own checks.
build_flac() {
    cmake_build -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
        -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
}

build_libvorbis() {
    cmake_build
}

# Its configure: 1.3.1's tarball lacks a file its CMake build includes.
build_opus() {
    autotools --disable-doc --disable-extra-programs --disable-stack-protector
}

# FLAC__NO_DLL: the FLAC headers declare dllimport functions unless told the library is static.
build_libsndfile() {
    cmake_build -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DENABLE_CPACK=OFF -DENABLE_MPEG=OFF \
        -DENABLE_EXTERNAL_LIBS=ON -DINSTALL_MANPAGES=OFF -DENABLE_PACKAGE_CONFIG=ON \
        -DCMAKE_C_FLAGS=-DFLAC__NO_DLL
}

# Double precision (meter/dsp/fft.cpp uses fftw_*); mingw's malloc lacks the alignment FFTW
# wants, hence its own.
build_fftw3() {
    autotools --with-our-malloc --disable-fortran --disable-doc --enable-sse2 --enable-avx
}

build_libpng1_6() {
    autotools
}

build_pixman() {
    meson setup _build --cross-file "$here/windows-deps/meson-cross.ini" --prefix="$prefix" \
        --libdir=lib --buildtype=release -Ddefault_library=static -Dtests=disabled \
        -Dgtk=disabled -Dlibpng=disabled -Dopenmp=disabled -Dtimers=false -Dgnuplot=false &&
        ninja -C _build -j "$jobs" && ninja -C _build install
}

# The Win32 surface and fonts, PNG, SVG and PDF (the service report); no fontconfig, FreeType or X. Only src/ is built
# (the tests and tools need more than the meter does).
build_cairo() {
    settle_autotools
    ./configure --host=$HOST --prefix="$prefix" --enable-static --disable-shared \
        --enable-win32 --enable-win32-font --disable-ft --disable-fc --disable-xlib \
        --disable-xcb --disable-quartz --disable-gobject --disable-trace --disable-interpreter \
        --disable-script --disable-ps --enable-pdf --enable-png --enable-svg &&
        make -C src -j"$jobs" && make -C src install
}

# WASAPI, with MME (wmme) where WASAPI is missing. Its copies of the WASAPI headers for old
# MinGW go: they would hide mingw-w64's complete ones (see the patch).
build_portaudio19() {
    rm -rf src/hostapi/wasapi/mingw-include && autotools --with-winapi=wmme,wasapi
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
        for patch in "$here/windows-deps/$1"-*.patch; do
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

echo "windows-deps: building into $prefix (logs in $prefix/logs)" >&2
all_start=$(date +%s)
build_one zlib "$zlib_version" ""
printf '%s' "$chosen" >"$prefix/versions"
while read -r p v kind; do # not a pipe: fail must end the script
    tree=$(tree_of "$p" "$v" "$kind") || fail "$p $v: no unpacked source tree"
    [ "$kind" = debian ] || echo "  $p $v: the upstream tarball alone (no Debian diff)" >&2
    build_one "$p" "$v" "$tree"
done <"$prefix/versions"
rm -rf "$work"
printf 'zlib %s debian-prebuilt\n%sgcc %s\n' "$zlib_version" "$chosen" "$cc_version" \
    >"$prefix/.complete"
echo "windows-deps: all built in $(($(date +%s) - all_start)) s" >&2
echo "$prefix"
