# tellavo_idl_declaration(KEYWORD PREFIX): reads the declaration of the
# library, interface or coclass named by KEYWORD from resources/Tellavo.idl,
# the one description of the identifiers that the code is compiled from, and
# sets PREFIX_NAME, PREFIX_UUID, PREFIX_VERSION, PREFIX_HELP and PREFIX_LCID
# in the caller's scope.
function(tellavo_idl_declaration keyword prefix)
  file(READ ${PROJECT_SOURCE_DIR}/resources/Tellavo.idl idl)
  if(NOT idl MATCHES "\\[([^]]*)\\][ \t\r\n]*${keyword} ([A-Za-z_]+)")
    message(FATAL_ERROR "Tellavo.idl declares no ${keyword}")
  endif()
  set(attributes "${CMAKE_MATCH_1}")
  set(${prefix}_NAME "${CMAKE_MATCH_2}" PARENT_SCOPE)
  string(REGEX MATCH "uuid\\(([0-9A-Fa-f-]+)\\)" _ "${attributes}")
  set(${prefix}_UUID "${CMAKE_MATCH_1}" PARENT_SCOPE)
  string(REGEX MATCH "version\\(([0-9.]+)\\)" _ "${attributes}")
  set(${prefix}_VERSION "${CMAKE_MATCH_1}" PARENT_SCOPE)
  string(REGEX MATCH "helpstring\\(\"([^\"]*)\"\\)" _ "${attributes}")
  set(${prefix}_HELP "${CMAKE_MATCH_1}" PARENT_SCOPE)
  string(REGEX MATCH "lcid\\(0x0*([0-9A-Fa-f]+)\\)" _ "${attributes}")
  set(${prefix}_LCID "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# tellavo_class_identity(): what the packages that register the module's one
# class without running its code name it by: the declarations of the
# library, the interface and the class (LIBRARY_*, INTERFACE_*, CLASS_*), the
# class's PROGID and THREADING_MODEL as the module registers them, and
# PROXY_STUB, the automation marshaler (PSOAInterface) that serves every
# dual interface.
macro(tellavo_class_identity)
  tellavo_idl_declaration(library LIBRARY)
  tellavo_idl_declaration(interface INTERFACE)
  tellavo_idl_declaration(coclass CLASS)
  set(PROGID ${LIBRARY_NAME}.${CLASS_NAME})
  set(THREADING_MODEL Apartment)
  set(PROXY_STUB 00020424-0000-0000-C000-000000000046)
endmacro()
