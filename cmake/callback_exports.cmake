# The module's callbacks, which each platform's library exports under their plain names and
# nothing else of its own: the X(name) lines of host/callbacks.h, sorted. Included by the build
# of the export map and by the export checks of every platform.
# (Read whole: a line that ends in a backslash would escape the list separator after it.)
file(READ ${CMAKE_CURRENT_LIST_DIR}/../host/callbacks.h callbacks_header)
string(REGEX MATCHALL "\n +X\\([A-Za-z_]+\\)" KESTRANE_CALLBACKS "${callbacks_header}")
list(TRANSFORM KESTRANE_CALLBACKS REPLACE "^\n +X\\(([A-Za-z_]+)\\)$" "\\1")
list(SORT KESTRANE_CALLBACKS)
if(NOT KESTRANE_CALLBACKS)
  message(FATAL_ERROR "no callbacks listed in host/callbacks.h")
endif()

# Fails, naming what is extra and what is missing, unless the sorted list in the variable
# `names_var` holds exactly the callbacks.
function(require_exactly_the_callbacks library names_var)
  set(names ${${names_var}})
  list(SORT names)
  if(NOT names STREQUAL KESTRANE_CALLBACKS)
    set(extra ${names})
    list(REMOVE_ITEM extra ${KESTRANE_CALLBACKS})
    set(missing ${KESTRANE_CALLBACKS})
    if(names)
      list(REMOVE_ITEM missing ${names})
    endif()
    message(FATAL_ERROR "${library} exports the wrong set of names.\n"
      "  not expected: ${extra}\n  missing: ${missing}")
  endif()
endfunction()
