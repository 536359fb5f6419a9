# Running the binary tools of the build's checks and scripts. Each fails, with the tool's own
# error text, when the tool fails.

# The tool's output as it printed it (a semicolon in it escaped, so that it stays one value).
function(tool_output out)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed: ${err}")
  endif()
  string(REPLACE ";" "\\;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The tool's output as a list of its lines.
function(tool_lines out)
  tool_output(text ${ARGN})
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# The first group of `regex` in each line of the tool's output that matches it, sorted.
function(tool_names out regex)
  tool_lines(lines ${ARGN})
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES "${regex}")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(SORT names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()
