# Fails unless every name the DLL imports from the simulator's executable is one the 2016
# release's orbiter.exe exports: Windows loads no DLL with an import it cannot resolve. The
# list holds the exports demangled; llvm-undname demangles the DLL's imports into the same form
# but for the blanks, so both are compared with every blank removed.
# Usage: cmake -DREADOBJ= -DUNDNAME= -DLIBRARY=<dll> -DHOST=orbiter.exe -DEXPORTS=<exports.2016.txt>
#              -P check_2016_imports.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/tool_output.cmake)
cmake_policy(SET CMP0057 NEW)
cmake_policy(SET CMP0007 NEW)

if(NOT EXISTS "${EXPORTS}")
  message(FATAL_ERROR "The 2016 export list is not there: '${EXPORTS}'")
endif()
file(STRINGS ${EXPORTS} lines)
set(exported)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "[ \t\r]" "" line "${line}")
  if(line)
    list(APPEND exported "${line}")
  endif()
endforeach()
list(LENGTH exported exported_count)
# A list cut short or read wrongly would let imports through unchecked.
if(exported_count LESS 1000)
  message(FATAL_ERROR "${EXPORTS}: ${exported_count} names; the 2016 release exports more than a thousand")
endif()

# "Name: <dll>" opens a DLL's list, "Symbol: <name> (<hint>)" are its members.
tool_lines(lines ${READOBJ} --coff-imports ${LIBRARY})
set(imports)
set(current "")
foreach(line IN LISTS lines)
  if(line MATCHES "^  Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" current)
  elseif(line MATCHES "^  Symbol: ([^ ]+) \\([0-9]+\\)$" AND current STREQUAL HOST)
    list(APPEND imports "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT imports)
  message(FATAL_ERROR "${LIBRARY} imports nothing from ${HOST}")
endif()

set(missing)
set(checked 0)
foreach(name IN LISTS imports)
  # llvm-undname prints the name as given, then its demangled form.
  tool_lines(out ${UNDNAME} ${name})
  list(GET out 1 plain)
  string(REGEX REPLACE "[ \t\r]" "" bare "${plain}")
  if(NOT bare OR bare STREQUAL name OR NOT bare IN_LIST exported)
    list(APPEND missing "${plain} (${name})")
  endif()
  math(EXPR checked "${checked} + 1")
endforeach()
if(missing)
  list(LENGTH missing missing_count)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "${LIBRARY} imports ${missing_count} name(s) from ${HOST} that the 2016 release "
                      "does not export, so it would not load there:\n  ${text}")
endif()
message("${LIBRARY}: all ${checked} names it imports from ${HOST} are in ${EXPORTS}")
message("2016 imports: ${checked} passed, 0 failed")
