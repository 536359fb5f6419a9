# The real simulator, built by its kit: once. A build folder that already holds a simulator is
# used as it is (remove it to build again).
# Usage: cmake -DKIT=<the kit's folder> -DOUT=<its build folder> [-DARCH=x64|x86] -P build_kit.cmake
# x86 needs 32-bit Wine's Windows-side static libraries (libwine-dev:i386), or WINE_LIBDIR naming them.
if(EXISTS ${OUT}/run/Orbiter.exe AND EXISTS ${OUT}/run/Modules/Plugin/MfdDriver.dll)
  return()
endif()
# The kit names its resource scripts to llvm-rc by absolute paths, which llvm-rc misreads as
# options under some folders: it runs llvm-rc through a wrapper that ends the options first.
if(DEFINED ENV{LLVM_RC})
  set(llvm_rc $ENV{LLVM_RC})
else()
  find_program(llvm_rc NAMES llvm-rc-14 llvm-rc REQUIRED)
endif()
set(ENV{KESTRANE_KIT_LLVM_RC} ${llvm_rc})
set(ENV{LLVM_RC} ${CMAKE_CURRENT_LIST_DIR}/llvm-rc-input-after-options)

if(NOT ARCH)
  set(ARCH x64)
endif()
message("Building the ${ARCH} real simulator from its public source into ${OUT} (x64: about 2 minutes on 2 cores, x86: 7)")
execute_process(COMMAND ${KIT}/build ${OUT} -j 2 --arch ${ARCH} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  # The kit keeps the command and messages of what failed there: show them where CI shows output.
  file(GLOB logs ${OUT}/work/log/*)
  foreach(log IN LISTS logs)
    file(READ ${log} text LIMIT 4000)
    message("--- ${log}\n${text}")
  endforeach()
  message(FATAL_ERROR "the real simulator's build failed (${rc}); its logs are in ${OUT}/work/log")
endif()
