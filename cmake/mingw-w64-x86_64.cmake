# Cross-building the Windows programs on Debian with mingw-w64 (g++-mingw-w64-x86-64-posix):
# 64-bit Windows, the posix-thread compiler (std::mutex and std::thread, which GoogleTest
# needs), everything linked statically so that the .exe files need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(WOBBLEGEN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WOBBLEGEN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WOBBLEGEN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${WOBBLEGEN_MINGW_PREFIX}-windres)

# The libraries scripts/windows-deps.sh builds: its prefix, given as -DWOBBLEGEN_WINDOWS_DEPS= to
# our build (and passed on to try_compile) or in the environment to the libraries' own builds.
if(NOT WOBBLEGEN_WINDOWS_DEPS AND DEFINED ENV{WOBBLEGEN_WINDOWS_DEPS})
  set(WOBBLEGEN_WINDOWS_DEPS "$ENV{WOBBLEGEN_WINDOWS_DEPS}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WOBBLEGEN_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${WOBBLEGEN_MINGW_PREFIX} ${WOBBLEGEN_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLL at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
