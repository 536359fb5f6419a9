# What the package gives a pilot to read, made when the package is built, into
# <build>/pilot-documents: the manual, the licence and the scenarios with Windows line endings
# (the repository keeps LF; the simulator reads both), and the manual also as one HTML page, as
# Windows has no viewer for Markdown. Installed with the pictures of the manual as they are.
find_program(KESTRANE_CMARK_GFM cmark-gfm REQUIRED)
set(kestrane_documents ${CMAKE_BINARY_DIR}/pilot-documents)
set(kestrane_document_files)

# kestrane_crlf_document(<source> <folder in the package> [<name in the package>])
function(kestrane_crlf_document source folder)
  get_filename_component(name ${source} NAME)
  if(ARGC GREATER 2)
    set(name ${ARGV2})
  endif()
  set(copy ${kestrane_documents}/${folder}/${name})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -DIN=${source} -DOUT=${copy} -P ${PROJECT_SOURCE_DIR}/cmake/crlf_copy.cmake
    DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/crlf_copy.cmake
    VERBATIM)
  install(FILES ${copy} DESTINATION ${folder} COMPONENT pilot)
  set(kestrane_document_files ${kestrane_document_files} ${copy} PARENT_SCOPE)
endfunction()

kestrane_crlf_document(${PROJECT_SOURCE_DIR}/docs/manual/Kestrane.md Doc/Kestrane)
kestrane_crlf_document(${PROJECT_SOURCE_DIR}/LICENSE Doc/Kestrane LICENSE.txt)
file(GLOB kestrane_pilot_scenarios CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scenarios/pilot/*)
foreach(scenario IN LISTS kestrane_pilot_scenarios)
  kestrane_crlf_document(${scenario} Scenarios/Kestrane)
endforeach()

set(kestrane_manual_html ${kestrane_documents}/Doc/Kestrane/Kestrane.html)
add_custom_command(OUTPUT ${kestrane_manual_html}
  COMMAND ${CMAKE_COMMAND} -DCMARK=${KESTRANE_CMARK_GFM} -DIN=${PROJECT_SOURCE_DIR}/docs/manual/Kestrane.md
          -DOUT=${kestrane_manual_html} -P ${PROJECT_SOURCE_DIR}/cmake/manual_html.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/manual/Kestrane.md ${PROJECT_SOURCE_DIR}/cmake/manual_html.cmake
  COMMENT "The manual as an HTML page"
  VERBATIM)
install(FILES ${kestrane_manual_html} DESTINATION Doc/Kestrane COMPONENT pilot)
add_custom_target(pilot_documents ALL DEPENDS ${kestrane_document_files} ${kestrane_manual_html})

# The pictures, and whatever else of the manual's folder is not text.
install(DIRECTORY docs/manual/ DESTINATION Doc/Kestrane COMPONENT pilot PATTERN *.md EXCLUDE)
