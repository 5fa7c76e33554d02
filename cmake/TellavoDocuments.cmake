# tellavo_package_documents(STAMP_VARIABLE SOURCE=INSTALLED ...): copies the
# documents a package installs into the folder doc/ of the current build
# folder, each under its installed name, with the links between them mended
# for the installed tree. STAMP_VARIABLE names the file that stands for the
# copy, for targets to depend on.
function(tellavo_package_documents stamp_variable)
  set(sources)
  foreach(document IN LISTS ARGN)
    string(REGEX REPLACE "=.*" "" source "${document}")
    list(APPEND sources ${PROJECT_SOURCE_DIR}/${source})
  endforeach()
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/doc.stamp)
  add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_CURRENT_BINARY_DIR}/doc
      COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/packaging/copy-docs.py
              --source ${PROJECT_SOURCE_DIR} --output ${CMAKE_CURRENT_BINARY_DIR}/doc ${ARGN}
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/packaging/copy-docs.py
      COMMENT "Copying the package's guides" VERBATIM)
  set(${stamp_variable} ${stamp} PARENT_SCOPE)
endfunction()
