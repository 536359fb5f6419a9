# Fails unless the library's dynamic symbol table defines exactly the callbacks, under
# their plain names, and leaves the host's functions to the process that loads it.
# Usage: cmake -DNM=<nm> -DLIBRARY=<path> -P check_exports.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/callback_exports.cmake)

function(dynamic_symbols which out)
  execute_process(COMMAND ${NM} -D ${which} ${LIBRARY}
    OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${err}")
  endif()
  string(REPLACE "\n" ";" lines "${text}")
  set(names)
  foreach(line IN LISTS lines)
    # "<address> <type> <name>" for defined symbols, "<type> <name>" for undefined ones.
    if(line MATCHES "([^ ]+)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(SORT names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

dynamic_symbols(--defined-only defined)
require_exactly_the_callbacks(${LIBRARY} defined)

dynamic_symbols(--undefined-only undefined)
# The host's names are C++ ones: match the plain name inside the mangled one.
if(NOT undefined MATCHES "oapiRegisterMFDMode")
  message(FATAL_ERROR "${LIBRARY} does not leave oapiRegisterMFDMode to its host")
endif()
message(STATUS "${LIBRARY}: exports exactly the callbacks")
