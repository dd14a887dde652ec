# The Windows recipe of scripts/deps.sh (sourced): 64-bit Windows with Debian's posix-thread
# mingw-w64 compilers, every library static.
# shellcheck shell=sh disable=SC2034,SC2154 # variables shared with scripts/deps.sh

# Bump when a library's build options or patches change: the prefix is rebuilt under a new key.
RECIPE=2
HOST=x86_64-w64-mingw32
# Built in this order (each needs those before it); zlib is Debian's prebuilt mingw-w64 one.
# No FLTK: fltk1.3's source tarballs are not to be had from Debian's archive (404, every version),
# so the meter's window on Windows is a Win32 front-end of its own (meterwin/win32/).
PACKAGES="libogg flac libvorbis opus libsndfile fftw3 libpng1.6 pixman cairo portaudio19"

check_tools() {
    for tool in $HOST-gcc-posix $HOST-g++-posix $HOST-ar $HOST-windres apt-get dpkg-source cmake \
        meson ninja pkg-config make flock; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/setup.sh installs it)"
    done
    [ -f /usr/$HOST/lib/libz.a ] || fail "libz-mingw-w64-dev is missing (scripts/setup.sh installs it)"
    zlib_version=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)
    cc_version=$($HOST-gcc-posix -dumpfullversion)
}

# The text the prefix's key hashes; zlib is Debian's prebuilt mingw-w64 one.
cache_key_text() {
    printf 'recipe %s\nzlib %s\ngcc %s %s\n%s' "$RECIPE" "$zlib_version" "$cc_version" \
        "$(dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)" \
        "$chosen"
}

set_env() {
    export CC=$HOST-gcc-posix CXX=$HOST-g++-posix AR=$HOST-ar RANLIB=$HOST-ranlib
    export STRIP=$HOST-strip WINDRES=$HOST-windres RC=$HOST-windres
    export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=
    export CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" CFLAGS=-O2 CXXFLAGS=-O2
    export WOBBLEGEN_WINDOWS_DEPS="$prefix"
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

# Before the source packages: zlib, copied.
build_first() {
    build_one zlib "$zlib_version" ""
}

complete_text() {
    printf 'zlib %s debian-prebuilt\n%sgcc %s\n' "$zlib_version" "$chosen" "$cc_version"
}
