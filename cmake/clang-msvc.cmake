# Shared part of the clang-msvc-x86/x64 toolchains: the simulator's C++ ABI (MSVC) without MSVC.
# Headers: libc++'s (no library of it exists for this target, so only what is inline can be
# used), a few compatibility wrappers, Wine's MSVC-compatible C runtime and Windows headers
# (Debian: libwine-dev). Libraries: import libraries the build generates (see
# cmake/import_libraries.cmake) and the little the static MSVC runtime would have added
# (windows/msvc_runtime). The host's SDK comes in as a system folder through
# KESTRANE_SIMULATOR_SDK.
set(CMAKE_SYSTEM_NAME Windows)
set(KESTRANE_MSVC_ABI ON)

# One LLVM release for everything: the compiler's own folder (on Debian the link clang++ leads
# to /usr/lib/llvm-<version>/bin) gives the linker, the tools, and libc++'s headers beside it.
find_program(KESTRANE_CLANG NAMES clang++ REQUIRED)
get_filename_component(KESTRANE_LLVM_BIN ${KESTRANE_CLANG} REALPATH)
get_filename_component(KESTRANE_LLVM_BIN ${KESTRANE_LLVM_BIN} DIRECTORY)
set(CMAKE_CXX_COMPILER ${KESTRANE_CLANG})
set(CMAKE_CXX_COMPILER_TARGET ${KESTRANE_MSVC_TRIPLE})
set(CMAKE_LINKER ${KESTRANE_LLVM_BIN}/lld-link)
set(CMAKE_AR ${KESTRANE_LLVM_BIN}/llvm-ar)
set(CMAKE_RANLIB ${KESTRANE_LLVM_BIN}/llvm-ranlib)
set(CMAKE_RC_COMPILER ${KESTRANE_LLVM_BIN}/llvm-rc)
set(CMAKE_MT ${KESTRANE_LLVM_BIN}/llvm-mt)
# Without a runtime to link, the compiler checks can only build static libraries.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# CMake's default Windows libraries would name the SDK's and MSVC's libraries.
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)

set(KESTRANE_WINE_INCLUDE /usr/include/wine/wine CACHE PATH "Wine's include folder that holds msvcrt/ and windows/")
if(KESTRANE_MSVC_TRIPLE MATCHES "^i686")
  set(KESTRANE_WINE_DLLS /usr/lib/i386-linux-gnu/wine/i386-windows CACHE PATH "Wine's 32-bit Windows DLLs")
else()
  set(KESTRANE_WINE_DLLS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "Wine's 64-bit Windows DLLs")
endif()
get_filename_component(kestrane_libcxx ${KESTRANE_LLVM_BIN}/../include/c++/v1 ABSOLUTE)
set(KESTRANE_LIBCXX_INCLUDE ${kestrane_libcxx} CACHE PATH "libc++'s headers (Debian: libc++-dev)")

# Wine's winnt.h defines, as inline functions, names clang knows as builtins; rename its copies.
set(kestrane_builtins _InterlockedAnd64 _InterlockedCompareExchangePointer _InterlockedExchangeAdd64
  _InterlockedExchangePointer _InterlockedIncrement64 _InterlockedDecrement64 _InterlockedOr64
  _InterlockedXor64 _InterlockedCompareExchange128)
set(kestrane_renames)
foreach(name IN LISTS kestrane_builtins)
  string(APPEND kestrane_renames " -D${name}=wine${name}")
endforeach()

# No MSVC or Linux headers: libc++, the wrappers, then Wine's C runtime and Windows headers.
# libc++ is header-only here: its own symbols are not imported from a DLL, it uses no threads
# and takes the C++ runtime's pieces (type_info, exceptions) from its own headers. Static
# initialisation is not guarded (the simulator calls its plug-ins from one thread), which
# also keeps thread-local storage out of the DLL.
set(kestrane_msvc_flags "-nostdlibinc -nostdinc++ -fms-compatibility-version=19.29 -frtti -fno-exceptions -fno-threadsafe-statics \
-isystem ${KESTRANE_LIBCXX_INCLUDE} -isystem ${CMAKE_CURRENT_LIST_DIR}/../windows/msvc_runtime/include \
-isystem ${KESTRANE_WINE_INCLUDE}/msvcrt -isystem ${KESTRANE_WINE_INCLUDE}/windows \
-D_LIBCPP_NO_VCRUNTIME -D_LIBCPP_HAS_NO_THREADS -D_LIBCPP_DISABLE_VISIBILITY_ANNOTATIONS${kestrane_renames}")
set(CMAKE_CXX_FLAGS_INIT "${kestrane_msvc_flags}")
# Nothing from MSVC's library folders: every library is named explicitly.
# (The link line repeats the compile flags, which clang then reports unused.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld-link -nostdlib -Xlinker /nodefaultlib -Wno-unused-command-line-argument")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld-link -nostdlib -Xlinker /nodefaultlib -Wno-unused-command-line-argument")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
