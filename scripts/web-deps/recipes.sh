# The WebAssembly recipe of scripts/deps.sh (sourced): Debian's emscripten, every library
# static and -O2, single-threaded, no SIMD; zlib from its source package too.
# shellcheck shell=sh disable=SC2034,SC2154 # variables shared with scripts/deps.sh

# Bump when a library's build options or patches change: the prefix is rebuilt under a new key.
RECIPE=2
# Built in this order (each needs those before it). libsndfile 1.2.0's CMake build links Vorbis
# and Opus whenever it links FLAC, so they come too; FreeType for cairo's fonts, as there is no
# fontconfig.
PACKAGES="zlib libogg flac libvorbis opus libsndfile fftw3 libpng1.6 pixman freetype cairo"

check_tools() {
    for tool in emcc em++ emar emranlib emconfigure emmake em-config node apt-get dpkg-source \
        cmake meson ninja pkg-config make flock; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/setup.sh installs it)"
    done
    # emcc's JavaScript tools need Debian's node modules (acorn), which another node first on
    # the PATH does not look in.
    export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"
    cc_version=$(emcc -dumpversion) || fail "emcc does not run (its log: emcc -v)"
    WOBBLEGEN_EMCC_CLANG=$(em-config LLVM_ROOT)/clang
    WOBBLEGEN_EMCC_CFLAGS=$(EMCC_SKIP_SANITY_CHECK=1 emcc --cflags) || fail "emcc --cflags fails"
    clang_version=$(emcc -v 2>&1 | sed -n 's/.*clang version \([^ ]*\).*/\1/p' | head -n 1)
}

# The text the prefix's key hashes.
cache_key_text() {
    printf 'recipe %s\nemcc %s %s %s\n%s' "$RECIPE" "$cc_version" "$clang_version" \
        "$(dpkg-query -W -f='${Version}' emscripten 2>/dev/null)" "$chosen"
}

# NODE_OPTIONS: the
# configure tests' programs run in node, where emscripten 3.1.6's loader would take node 18's
# fetch for a browser's and fail to read the .wasm beside the .js.
set_env() {
    export NODE_OPTIONS="${NODE_OPTIONS:+$NODE_OPTIONS }--no-experimental-fetch"
    # check_tools ran emcc's checks once; each of the thousands of emcc runs would repeat them
    # (seconds each, as the frozen cache keeps no record of them).
    export EMCC_SKIP_SANITY_CHECK=1
    export CC="$here/web-deps/cc.sh" CXX=em++ AR=emar RANLIB=emranlib
    export WOBBLEGEN_EMCC_CLANG WOBBLEGEN_EMCC_CFLAGS
    export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=
    export CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" CFLAGS=-O2 CXXFLAGS=-O2
    export WOBBLEGEN_WEB_DEPS="$prefix"
}

# configure as emconfigure runs it, but with our CC (emconfigure would set emcc's) and
# pkg-config in the prefix only. No --host: its test programs run in node, as for a native build
# (EMMAKEN_JUST_CONFIGURE: emcc links them as executable scripts).
em_configure() { # configure options...
    EMMAKEN_JUST_CONFIGURE=1 ./configure --prefix="$prefix" "$@"
}

autotools() { # configure options...
    settle_autotools
    em_configure --enable-static --disable-shared "$@" && make -j"$jobs" && make install
}

cmake_build() { # cmake options...
    cmake -S . -B _build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/emscripten.cmake" \
        -DCMAKE_C_COMPILER="$CC" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@" &&
        cmake --build _build -j "$jobs" && cmake --install _build
}

# zlib's own configure (not autoconf): static only; the library and its headers, no tools.
build_zlib() {
    em_configure --static && make -j"$jobs" libz.a && make install
}

build_libogg() {
    cmake_build -DINSTALL_DOCS=OFF
}

build_flac() {
    cmake_build -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
        -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF \
        -DWITH_AVX=OFF -DWITH_ASM=OFF
}

build_libsndfile() {
    cmake_build -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DENABLE_CPACK=OFF -DENABLE_MPEG=OFF \
        -DENABLE_EXTERNAL_LIBS=ON -DINSTALL_MANPAGES=OFF -DENABLE_PACKAGE_CONFIG=ON \
        -DCMAKE_DISABLE_FIND_PACKAGE_ALSA=ON -DCMAKE_DISABLE_FIND_PACKAGE_SQLite3=ON
}

build_libvorbis() {
    cmake_build
}

# Its configure: 1.3.1's tarball lacks a file its CMake build includes. No intrinsics, as emcc
# takes no x86 ones.
build_opus() {
    autotools --disable-doc --disable-extra-programs --disable-stack-protector --disable-intrinsics \
        --disable-rtcd
}

# Double precision (meter/dsp/fft.cpp uses fftw_*), scalar code: no threads, no SIMD.
build_fftw3() {
    autotools --disable-fortran --disable-doc --disable-threads --disable-openmp
}

# Without --host configure takes the build machine's x86 and would add its SSE filters.
build_libpng1_6() {
    autotools --disable-hardware-optimizations --disable-tools
}

# Meson's threads dependency is -pthread under emscripten, which would make every object that
# sees pixman's flags (cairo's too) need shared memory and the module threads: pixman without it
# keeps its per-thread caches in plain globals, as there is one thread.
build_pixman() {
    sed -i "s/^dep_threads = dependency('threads')\$/dep_threads = dependency('', required : false)/" \
        meson.build &&
        meson setup _build --cross-file "$here/web-deps/meson-cross.ini" --prefix="$prefix" \
        --libdir=lib --buildtype=release -Doptimization=2 -Ddefault_library=static \
        -Dtests=disabled -Dgtk=disabled -Dlibpng=disabled -Dopenmp=disabled -Dtimers=false \
        -Dgnuplot=false -Dloongson-mmi=disabled -Dmmx=disabled -Dsse2=disabled \
        -Dssse3=disabled -Dvmx=disabled -Darm-simd=disabled -Dneon=disabled \
        -Da64-neon=disabled -Diwmmxt=disabled -Dmips-dspr2=disabled -Dgnu-inline-asm=disabled &&
        ninja -C _build -j "$jobs" && ninja -C _build install
}

# TrueType and the other outline formats, with our zlib: FT_DISABLE_ZLIB would not leave zlib
# out but compile FreeType's own copy (1.2.12) in, whose zlibVersion() and inflate the link
# then took over ours. None of the other optional libraries.
build_freetype() {
    cmake_build -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
        -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
}

# The image surface with PNG, SVG and PDF, fonts from FreeType faces only (no fontconfig), no
# threads; no window-system or GL surface. The float word order check greps an object file,
# which emcc's are not laid out for: WebAssembly is little-endian. Only src/ is built. Without
# pthreads cairo has no mutex, and asks to be told that one thread is all it gets.
build_cairo() {
    settle_autotools
    CPPFLAGS="$CPPFLAGS -DCAIRO_NO_MUTEX=1" ax_cv_c_float_words_bigendian=no em_configure \
        --enable-static --disable-shared --enable-ft --disable-fc --disable-pthread \
        --disable-xlib --disable-xcb --disable-xlib-xrender --disable-quartz --disable-win32 \
        --disable-gl --disable-glesv2 --disable-glesv3 --disable-egl --disable-glx \
        --disable-wgl --disable-gobject --disable-trace --disable-interpreter \
        --disable-script --disable-ps --disable-valgrind --disable-symbol-lookup \
        --enable-pdf --enable-png --enable-svg &&
        make -C src -j"$jobs" && make -C src install
}

build_first() {
    :
}

complete_text() {
    printf '%semcc %s (clang %s)\n' "$chosen" "$cc_version" "$clang_version"
}
