# Cross-building for the web with Debian's emscripten (WebAssembly, no threads): emscripten's
# own toolchain, which also finds what scripts/deps.sh web built into its prefix.
#   cmake -S . -B build-web -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake \
#     -DWOBBLEGEN_WEB_DEPS=$(scripts/deps.sh web)
if(NOT EMSCRIPTEN_ROOT_PATH)
  find_program(WOBBLEGEN_EMCC emcc REQUIRED)
  execute_process(COMMAND em-config EMSCRIPTEN_ROOT OUTPUT_VARIABLE EMSCRIPTEN_ROOT_PATH
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EMSCRIPTEN_ROOT_PATH)
    set(EMSCRIPTEN_ROOT_PATH /usr/share/emscripten)
  endif()
endif()
# try_run and the tests run programs in node; emscripten 3.1.6's loader would take node 18's
# fetch for a browser's and fail to read the .wasm beside the .js.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(WOBBLEGEN_NODE NAMES node nodejs REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${WOBBLEGEN_NODE};--no-experimental-fetch"
      CACHE STRING "node, to run the WebAssembly programs")
endif()
include(${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake)

# The libraries' prefix: -DWOBBLEGEN_WEB_DEPS= to our build (passed on to try_compile), or in
# the environment to the libraries' own builds. find_* and pkg-config look there and in
# emscripten's sysroot only, never in the build machine's /usr.
if(NOT WOBBLEGEN_WEB_DEPS AND DEFINED ENV{WOBBLEGEN_WEB_DEPS})
  set(WOBBLEGEN_WEB_DEPS "$ENV{WOBBLEGEN_WEB_DEPS}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WOBBLEGEN_WEB_DEPS EMSCRIPTEN_ROOT_PATH)
if(WOBBLEGEN_WEB_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${WOBBLEGEN_WEB_DEPS})
  list(APPEND CMAKE_PREFIX_PATH ${WOBBLEGEN_WEB_DEPS})
  set(ENV{PKG_CONFIG_LIBDIR} "${WOBBLEGEN_WEB_DEPS}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
