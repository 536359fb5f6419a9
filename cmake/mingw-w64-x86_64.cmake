# Cross build for 64-bit Windows with the mingw-w64 compiler (Debian: mingw-w64).
# Use through the "windows" preset, which also runs the tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${KESTRANE_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${KESTRANE_MINGW_TRIPLE}-windres)

# Libraries and headers of the target only; programs (objdump, wine) of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime goes into each binary, so that the DLL needs nothing beyond the
# system's DLLs and its host: -static also takes winpthread's archive when the posix
# threading variant of the compiler is the one installed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
