# The simulator DLL for the simulator's 64-bit releases: clang in MSVC mode, lld-link, Wine's
# C runtime and Windows headers. Use through the "simulator-x64" preset.
set(KESTRANE_MSVC_TRIPLE x86_64-pc-windows-msvc)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/clang-msvc.cmake)
