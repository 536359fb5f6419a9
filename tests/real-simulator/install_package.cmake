# The package as a pilot installs it: the zip the `package` target makes (CPack with the build's
# configuration), unzipped into a fresh copy of the real simulator's run folder.
# Usage: cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DOUT=<folder for the zip>
#              -DNAME=<the zip's name without .zip> -DKIT_RUN=<the kit's run folder>
#              -DROOT=<the simulator folder to make> -DSTAMP=<file touched when done>
#              -P install_package.cmake
set(ZIP ${OUT}/${NAME}.zip)
file(REMOVE ${ZIP} ${STAMP})
execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT EXISTS ${ZIP})
  message(FATAL_ERROR "cpack made no ${ZIP}:\n${out}")
endif()
file(REMOVE_RECURSE ${ROOT})
# Writable, though the kit's folder may be read-only.
file(COPY ${KIT_RUN}/ DESTINATION ${ROOT} NO_SOURCE_PERMISSIONS)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${ROOT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot unzip ${ZIP} into ${ROOT}")
endif()
foreach(installed IN ITEMS Modules/Plugin/Kestrane.dll Doc/Kestrane Scenarios/Kestrane/Description.txt)
  if(NOT EXISTS ${ROOT}/${installed})
    message(FATAL_ERROR "${ZIP} put no ${installed} into the simulator's folder")
  endif()
endforeach()
file(TOUCH ${STAMP})
