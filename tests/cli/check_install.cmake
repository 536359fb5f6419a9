# Installs the build into a temporary prefix, moves the prefix, and runs the installed program.
function(fail what)
  message(FATAL_ERROR "${what}")
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  fail("cmake --install failed: ${err}")
endif()

# A prefix moved after installing still works: nothing points back into the build or the first place.
set(moved ${WORK}/moved)
file(RENAME ${prefix} ${moved})
foreach(f ${BINDIR}/kestrane-sim ${MODULEDIR}/${MODULE_FILE} ${DATADIR}/fonts/DejaVuSansMono.ttf
          ${DATADIR}/scenarios/demo.scn ${DATADIR}/scenarios/unload.script ${DATADIR}/vessel-classes.cfg
          ${DOCDIR}/README.md ${DOCDIR}/docs/script-format.md ${DOCDIR}/docs/scenario-format.md)
  if(NOT EXISTS ${moved}/${f})
    fail("not installed: ${f}")
  endif()
endforeach()
# Every link of the installed documents leads to an installed file.
foreach(doc README.md docs/script-format.md docs/scenario-format.md docs/manual/Kestrane.md)
  file(READ ${moved}/${DOCDIR}/${doc} text)
  # Brackets would nest in a CMake list: the link's "](" becomes a marker first.
  string(REPLACE "](" "@LINK@" text "${text}")
  string(REGEX MATCHALL "@LINK@[^)( \n:#]+" links "${text}")
  get_filename_component(from ${moved}/${DOCDIR}/${doc} DIRECTORY)
  foreach(link ${links})
    string(REPLACE "@LINK@" "" target "${link}")
    if(NOT EXISTS ${from}/${target})
      fail("${doc} links to ${target}, which is not installed beside it")
    endif()
  endforeach()
endforeach()
set(sim ${moved}/${BINDIR}/kestrane-sim)

execute_process(COMMAND ${sim} --version RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out STREQUAL "kestrane-sim ${VERSION}\n")
  fail("--version gave status ${status}, '${out}' '${err}'")
endif()

execute_process(COMMAND ${sim} run ${moved}/${DATADIR}/scenarios/docked-depot.scn
                        --script ${moved}/${DATADIR}/scenarios/unload.script --out ${WORK}/out --color never
                WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  fail("the installed kestrane-sim failed (${status}): ${err}")
endif()
foreach(expected "Module:   ${moved}/${MODULEDIR}/${MODULE_FILE}" "Font:     ${moved}/${DATADIR}/fonts/DejaVuSansMono.ttf"
                 "Classes:  ${moved}/${DATADIR}/vessel-classes.cfg"
                 "Conservation check: passed" "Fuel Mgt Tanker (DG-S)")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    fail("missing from the output: ${expected}\n${out}")
  endif()
endforeach()
if(NOT EXISTS ${WORK}/out/docked-depot-Left-2s.png)
  fail("no picture written")
endif()

# A font that is no font: refused in one line naming it, before any picture; a run without
# pictures needs none.
set(font ${moved}/${DATADIR}/fonts/DejaVuSansMono.ttf)
file(WRITE ${font} "not a font\n")
file(REMOVE_RECURSE ${WORK}/out)
set(run ${sim} run ${moved}/${DATADIR}/scenarios/docked-depot.scn --out ${WORK}/out)
execute_process(COMMAND ${run} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(FIND "${err}" "kestrane-sim: cannot load the font ${font}: it is no font FreeType can read" named)
string(REGEX MATCHALL "\n" newlines "${err}")
list(LENGTH newlines lines)
if(status EQUAL 0 OR NOT named EQUAL 0 OR NOT lines EQUAL 1 OR NOT out STREQUAL "" OR EXISTS ${WORK}/out)
  fail("a junk font gave status ${status}, '${err}', '${out}'")
endif()
execute_process(COMMAND ${run} --no-pictures RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(FIND "${out}" "Font:     none, no pictures are drawn" at)
if(NOT status EQUAL 0 OR at EQUAL -1)
  fail("a run without pictures wanted the font (${status}): ${err}")
endif()

# Without its module the installed program loads none, not the one of the build tree.
file(REMOVE ${moved}/${MODULEDIR}/${MODULE_FILE})
execute_process(COMMAND ${run} --no-pictures RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(FIND "${err}" "kestrane-sim: module not found: none of '${moved}/${MODULEDIR}/${MODULE_FILE}'" named)
if(status EQUAL 0 OR NOT named EQUAL 0 OR NOT out STREQUAL "")
  fail("without its module the installed program gave status ${status}, '${err}'")
endif()
file(REMOVE_RECURSE ${WORK})
