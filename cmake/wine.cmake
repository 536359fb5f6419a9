# Wine for the tests that run the simulator DLL: the loader for this build's architecture, the
# environment it is started in, and whether it can run here at all. Included by each folder whose
# tests start Wine (its variables are the including folder's).
#
#   KESTRANE_WINE_LOADER          the loader: for x64 the 64-bit loader itself (Debian's `wine`
#                                 starts the 32-bit one whenever 32-bit Wine is installed, and that
#                                 fails where the machine executes no 32-bit program); for x86 `wine`
#   kestrane_wine_environment     WINELOADER (x64), WINEDEBUG and the DLL overrides, for ENVIRONMENT
#   kestrane_wine_runs            ON when Wine runs this architecture's programs here; else OFF, and
#   kestrane_wine_off_because     says why
set(kestrane_wine_environment WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")
set(kestrane_wine_runs ON)
set(kestrane_wine_off_because "")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(KESTRANE_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine REQUIRED
               DOC "Wine's loader for 64-bit programs")
  # Wine starts the programs a program starts (wineboot's services, say) through WINELOADER.
  list(APPEND kestrane_wine_environment WINELOADER=${KESTRANE_WINE_LOADER})
  message(STATUS "Wine for the x64 runs: ${KESTRANE_WINE_LOADER}")
else()
  find_program(KESTRANE_WINE_LOADER NAMES wine REQUIRED DOC "Wine, which starts 32-bit programs with its 32-bit loader")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/runs-32-bit-programs
                  OUTPUT_VARIABLE kestrane_probe RESULT_VARIABLE kestrane_probe_status
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT kestrane_probe_status EQUAL 0)
    set(kestrane_wine_runs OFF)
    set(kestrane_wine_off_because "${kestrane_probe}")
  elseif(EXISTS /usr/lib/wine/wine64 AND NOT EXISTS /usr/lib/wine/wine)
    # Debian's packaging: 64-bit Wine without its 32-bit half.
    set(kestrane_wine_runs OFF)
    set(kestrane_wine_off_because "32-bit Wine is not installed (Debian: wine32:i386)")
  endif()
  if(kestrane_wine_runs)
    message(STATUS "Wine for the x86 runs: ${KESTRANE_WINE_LOADER}")
  else()
    message(STATUS "The x86 runs under Wine are off: ${kestrane_wine_off_because}")
  endif()
endif()
