#!/bin/sh
# The C compiler of the web libraries' builds: a compile to an object (-c) runs emcc's clang at
# once with the flags emcc would give it (WOBBLEGEN_EMCC_CFLAGS, from `emcc --cflags`); links
# and the rest go to emcc. emcc's own start-up costs seconds on a busy machine, per file.
for arg in "$@"; do
    if [ "$arg" = -c ]; then
        # shellcheck disable=SC2086
        exec "$WOBBLEGEN_EMCC_CLANG" $WOBBLEGEN_EMCC_CFLAGS "$@"
    fi
done
exec emcc "$@"
