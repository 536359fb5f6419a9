# The simulator DLL for the simulator's 32-bit releases: clang in MSVC mode, lld-link, Wine's
# C runtime and Windows headers. Use through the "simulator-x86" preset.
set(KESTRANE_MSVC_TRIPLE i686-pc-windows-msvc)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/clang-msvc.cmake)
