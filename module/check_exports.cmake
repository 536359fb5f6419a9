# Fails unless the library's dynamic symbol table defines exactly the callbacks, under
# their plain names, and leaves the host's functions to the process that loads it.
# Usage: cmake -DNM=<nm> -DLIBRARY=<path> -P check_exports.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/callback_exports.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/tool_output.cmake)

# "<address> <type> <name>" for defined symbols, "<type> <name>" for undefined ones.
function(dynamic_symbols which out)
  tool_names(names "([^ ]+)$" ${NM} -D ${which} ${LIBRARY})
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
