# Fails unless a Windows DLL exports exactly the module's callbacks under their plain
# names, and imports from nothing but the system's DLLs and its host.
# Usage: cmake -DOBJDUMP=<objdump> -DLIBRARY=<dll> -DHOST=<host dll or exe> -P check_windows_dll.cmake
include(${CMAKE_CURRENT_LIST_DIR}/callback_exports.cmake)
# What every Windows installation has; the compiler's own runtime DLLs are not among them.
set(system_dlls kernel32.dll gdi32.dll user32.dll msvcrt.dll ucrtbase.dll)

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY}
  OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${LIBRARY}: ${err}")
endif()
string(REPLACE "\n" ";" lines "${text}")

# Exports: the lines "[   n] name" of the name pointer table.
set(exports)
set(in_names FALSE)
# Imports: each "DLL Name: x" line, with the member names listed under it.
set(imports)
set(current_dll "")
set(host_members)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
    list(APPEND exports "${CMAKE_MATCH_1}")
  elseif(in_names AND line STREQUAL "")
    set(in_names FALSE)
  endif()
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    set(current_dll "${CMAKE_MATCH_1}")
    string(TOLOWER "${current_dll}" lower)
    list(APPEND imports "${lower}")
  elseif(line STREQUAL "")
    set(current_dll "")
  elseif(current_dll STREQUAL HOST AND line MATCHES "^[ \t]*[0-9a-f]+[ \t]+[0-9]+[ \t]+(.+)$")
    list(APPEND host_members "${CMAKE_MATCH_1}")
  endif()
endforeach()

require_exactly_the_callbacks(${LIBRARY} exports)

string(TOLOWER "${HOST}" host_lower)
set(foreign ${imports})
list(REMOVE_ITEM foreign ${system_dlls} ${host_lower})
list(FILTER foreign EXCLUDE REGEX "^api-ms-win-")
if(foreign)
  message(FATAL_ERROR "${LIBRARY} needs DLLs that are neither the system's nor its host's: ${foreign}")
endif()
if(NOT host_members MATCHES "oapiRegisterMFDMode")
  message(FATAL_ERROR "${LIBRARY} does not take oapiRegisterMFDMode from its host ${HOST} "
    "(imports: ${imports})")
endif()
message(STATUS "${LIBRARY}: exports exactly the callbacks; imports from ${imports}")
