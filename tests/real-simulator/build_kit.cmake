# The real simulator, built by its kit: once. A build folder that already holds a simulator is
# used as it is (remove it to build again).
# Usage: cmake -DKIT=<the kit's folder> -DOUT=<its build folder> -P build_kit.cmake
if(EXISTS ${OUT}/run/Orbiter.exe AND EXISTS ${OUT}/run/Modules/Plugin/MfdDriver.dll)
  return()
endif()
message("Building the real simulator from its public source into ${OUT} (about 2 minutes on 2 cores)")
execute_process(COMMAND ${KIT}/build ${OUT} -j 2 RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the real simulator's build failed (${rc}); its logs are in ${OUT}/work/log")
endif()
