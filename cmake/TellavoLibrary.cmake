# tellavo_library(NAME SOURCES... [DEPENDS libs...]): one static library per
# subsystem, with the project root on the include path so that headers are
# named by their folder ("xml/XMLDoc.h").
function(tellavo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()
