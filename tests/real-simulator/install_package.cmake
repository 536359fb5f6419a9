# The package as a pilot installs it: the zip the `package` target makes, unzipped into a fresh
# copy of the real simulator's run folder.
# Usage: cmake -DBUILD=<the build folder> -DNAME=<the zip's name without .zip>
#              -DKIT_RUN=<the kit's run folder> -DROOT=<the simulator folder to make>
#              -P install_package.cmake
set(ZIP ${BUILD}/${NAME}.zip)
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target package
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT EXISTS ${ZIP})
  message(FATAL_ERROR "the package target made no ${ZIP}:\n${out}")
endif()
if(NOT EXISTS ${KIT_RUN}/Orbiter.exe)
  message(FATAL_ERROR "no real simulator in ${KIT_RUN}: build the real_simulator_kit target")
endif()
file(REMOVE_RECURSE ${ROOT})
# Writable, though the kit's folder may be read-only.
file(COPY ${KIT_RUN}/ DESTINATION ${ROOT} NO_SOURCE_PERMISSIONS)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${ROOT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot unzip ${ZIP} into ${ROOT}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing)
string(REGEX MATCHALL "[^\n]+" files "${listing}")
foreach(installed IN ITEMS Modules/Plugin/Kestrane.dll Scenarios/Kestrane/Description.txt)
  if(NOT EXISTS ${ROOT}/${installed})
    message(FATAL_ERROR "${ZIP} put no ${installed} into the simulator's folder")
  endif()
endforeach()
list(LENGTH files count)
message("installed: ${count} entries of ${NAME}.zip in ${ROOT}")
