# The module's callbacks, which each platform's library exports under their plain names and
# nothing else of its own; included by the export checks of every platform. Sorted.
set(KESTRANE_CALLBACKS
  __opcGetInterface opcCloseRenderViewport opcDLLExit opcDLLInit opcDeleteVessel opcFocusChanged
  opcOpenRenderViewport opcPreStep opcTimeAccChanged opcTimestep)

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
