# Linking MSVC-ABI images with the clang-msvc toolchains: each image gets import libraries made
# from the names its own objects leave undefined (cmake/import_libraries.cmake).
# LLVM's tools of the compiler's own release (see cmake/clang-msvc.cmake).
find_program(KESTRANE_LLVM_NM NAMES llvm-nm PATHS ${KESTRANE_LLVM_BIN} NO_DEFAULT_PATH REQUIRED)
find_program(KESTRANE_LLVM_DLLTOOL NAMES llvm-dlltool PATHS ${KESTRANE_LLVM_BIN} NO_DEFAULT_PATH REQUIRED)
find_program(KESTRANE_LLVM_READOBJ NAMES llvm-readobj PATHS ${KESTRANE_LLVM_BIN} NO_DEFAULT_PATH REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KESTRANE_DLLTOOL_MACHINE i386)
else()
  set(KESTRANE_DLLTOOL_MACHINE i386:x86-64)
endif()
# The system DLLs an image may import from, in the order a name is looked up.
set(KESTRANE_SYSTEM_DLLS kernel32 user32 gdi32 ucrtbase)

# kestrane_import_libraries(<target> [HOST <program.exe>] OBJECTS <object libraries>...)
# Links <target> against import libraries of the system DLLs and, if given, of the host
# program, generated before the link from the objects of the named object libraries.
function(kestrane_import_libraries target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "HOST" "OBJECTS")
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_imports)
  set(objects)
  foreach(library IN LISTS arg_OBJECTS)
    list(APPEND objects $<TARGET_OBJECTS:${library}>)
  endforeach()
  file(GENERATE OUTPUT ${dir}/objects.txt CONTENT "$<JOIN:${objects},\n>\n")
  set(libraries)
  foreach(dll IN LISTS KESTRANE_SYSTEM_DLLS)
    list(APPEND libraries ${dir}/${dll}.lib)
  endforeach()
  set(host_flag)
  if(arg_HOST)
    get_filename_component(host_stem ${arg_HOST} NAME_WE)
    list(APPEND libraries ${dir}/${host_stem}.lib)
    set(host_flag -DHOST=${arg_HOST})
  endif()
  add_custom_command(OUTPUT ${libraries}
    COMMAND ${CMAKE_COMMAND} -DNM=${KESTRANE_LLVM_NM} -DDLLTOOL=${KESTRANE_LLVM_DLLTOOL}
            -DREADOBJ=${KESTRANE_LLVM_READOBJ} -DMACHINE=${KESTRANE_DLLTOOL_MACHINE}
            -DOBJECT_LIST=${dir}/objects.txt -DSYSTEM_DIR=${KESTRANE_WINE_DLLS}
            "-DSYSTEM=${KESTRANE_SYSTEM_DLLS}" ${host_flag} -DOUT=${dir}
            -P ${PROJECT_SOURCE_DIR}/cmake/import_libraries.cmake
    DEPENDS ${objects} ${dir}/objects.txt ${PROJECT_SOURCE_DIR}/cmake/import_libraries.cmake
            ${PROJECT_SOURCE_DIR}/cmake/tool_output.cmake
    COMMENT "Import libraries of ${target} from the names its objects use"
    VERBATIM)
  add_custom_target(${target}_import_libraries DEPENDS ${libraries})
  add_dependencies(${target} ${target}_import_libraries)
  target_link_libraries(${target} PRIVATE ${libraries})
endfunction()
