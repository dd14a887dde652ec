#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing.
# As root it runs apt-get; otherwise it prints the command to run and fails.
set -eu

packages="
  cmake make g++ pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libsleef-dev qemu-user
  libfltk1.3-dev libx11-dev fonts-dejavu-core xvfb xdotool x11-utils imagemagick poppler-utils
  libsndfile1-dev libcairo2-dev libfftw3-dev libpng-dev nlohmann-json3-dev clang libclang-rt-14-dev
  time hyperfine locales
  portaudio19-dev libasound2-dev alsa-utils libasound2-plugins pulseaudio pulseaudio-utils sox
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 fonts-wine zip unzip dpkg-dev file
  libz-mingw-w64-dev meson ninja-build nsis
  emscripten chromium python3-websocket
"

missing=""
for p in $packages; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
else
    echo "Missing packages. Run:" >&2
    echo "  sudo apt-get install$missing" >&2
    exit 1
fi
