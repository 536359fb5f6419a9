# Writes the import libraries an MSVC-ABI image links against, from the names its own object
# files leave undefined: the compiler's spelling of each declaration it used, never a list typed
# by hand. A name goes to the first of the system DLLs that exports it (read from Wine's own
# DLLs); every other name must be a C++ name, and goes to the host program, whose SDK
# declared it. Writes <dll>.def and <dll>.lib into OUT for each of SYSTEM and for HOST (if
# given), and fails on a name nobody provides.
# Usage: cmake -DNM= -DDLLTOOL= -DREADOBJ= -DMACHINE=i386|i386:x86-64 -DOBJECT_LIST=<file>
#              -DSYSTEM_DIR=<folder of Wine's DLLs> "-DSYSTEM=kernel32;gdi32;..." [-DHOST=orbiter.exe]
#              -DOUT=<folder> -P import_libraries.cmake
cmake_policy(SET CMP0057 NEW)  # if(IN_LIST)
file(STRINGS ${OBJECT_LIST} objects)
set(x86 FALSE)
if(MACHINE STREQUAL "i386")
  set(x86 TRUE)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/tool_output.cmake)

# The names the objects define, and the ones they leave to others.
tool_lines(lines ${NM} --defined-only --format=just-symbols ${objects})
set(defined ${lines})
tool_lines(lines ${NM} --undefined-only --format=just-symbols ${objects})
set(needed)
foreach(symbol IN LISTS lines)
  if(symbol STREQUAL "" OR symbol MATCHES ":$")
    continue()
  endif()
  # A reference through the import table names the thunk's address slot.
  string(REGEX REPLACE "^__imp_" "" symbol "${symbol}")
  if(NOT symbol IN_LIST defined)
    list(APPEND needed "${symbol}")
  endif()
endforeach()
list(REMOVE_DUPLICATES needed)
list(SORT needed)

set(dlls ${SYSTEM})
foreach(dll IN LISTS SYSTEM)
  tool_names(names "^  Name: (.+)$" ${READOBJ} --coff-exports ${SYSTEM_DIR}/${dll}.dll)
  set(exports_${dll} ${names})
  set(def_${dll})
endforeach()

set(host_names)
set(unresolved)
foreach(symbol IN LISTS needed)
  if(symbol MATCHES "^\\?")
    # The C++ runtime's own names (std::...) would need a library this target does not have.
    if(symbol MATCHES "@std@@")
      list(APPEND unresolved "${symbol}")
    else()
      list(APPEND host_names "${symbol}")
    endif()
    continue()
  endif()
  # C names: on x86 a leading underscore and, for __stdcall, an @<argument bytes> suffix
  # decorate the name the DLL exports.
  set(def_name "${symbol}")
  if(x86 AND symbol MATCHES "^_")
    string(SUBSTRING "${symbol}" 1 -1 def_name)  # (REGEX REPLACE would repeat a ^ match)
  endif()
  string(REGEX REPLACE "@[0-9]+$" "" export_name "${def_name}")
  # The linker defines this one itself.
  if(def_name STREQUAL "__ImageBase")
    continue()
  endif()
  set(found FALSE)
  foreach(dll IN LISTS SYSTEM)
    if(export_name IN_LIST exports_${dll})
      list(APPEND def_${dll} "${def_name}")
      set(found TRUE)
      break()
    endif()
  endforeach()
  if(NOT found)
    list(APPEND unresolved "${symbol}")
  endif()
endforeach()
if(unresolved)
  list(JOIN unresolved "\n  " text)
  message(FATAL_ERROR "No library provides:\n  ${text}")
endif()
if(host_names AND NOT HOST)
  list(JOIN host_names "\n  " text)
  message(FATAL_ERROR "Host names used by an image that has no host:\n  ${text}")
endif()

function(write_library dll file_name names kill_at)
  set(def "LIBRARY ${file_name}\nEXPORTS\n")
  foreach(name IN LISTS names)
    string(APPEND def "  ${name}\n")
  endforeach()
  file(WRITE ${OUT}/${dll}.def.new "${def}")
  file(COPY_FILE ${OUT}/${dll}.def.new ${OUT}/${dll}.def ONLY_IF_DIFFERENT)
  file(REMOVE ${OUT}/${dll}.def.new)
  set(flags)
  if(kill_at)
    # The DLLs export __stdcall functions without their @<bytes> decoration.
    set(flags -k)
  endif()
  tool_output(ignored ${DLLTOOL} -m ${MACHINE} ${flags} -d ${OUT}/${dll}.def -l ${OUT}/${dll}.lib)
endfunction()

file(MAKE_DIRECTORY ${OUT})
foreach(dll IN LISTS SYSTEM)
  write_library(${dll} ${dll}.dll "${def_${dll}}" ${x86})
endforeach()
if(HOST)
  get_filename_component(host_stem ${HOST} NAME_WE)
  write_library(${host_stem} ${HOST} "${host_names}" FALSE)
endif()
