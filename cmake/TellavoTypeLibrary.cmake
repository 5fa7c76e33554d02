# tellavo_type_library(NAME IDL file HEADER path SYMBOL name):
# the type library described by an IDL file, for a module to carry.
# - NAME_interfaces: an INTERFACE library whose include path holds HEADER
#   (relative, for example gateway/Tellavo_TLB.h), the C++ identifiers and
#   interfaces generated from the IDL.
# - NAME: what a module links to carry the library. On posix a static
#   library with the serialized library in its ".typelib" section, kept by
#   every link under the symbol SYMBOL; on win32 an object library with the
#   TYPELIB 1 resource that widl compiles (NAME_RC names an .rc that includes
#   the .tlb; the default holds only the type library), built only when
#   widl's type library agrees with the IDL as IdlCompiler.py reads it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TELLAVO_IDL_COMPILER ${CMAKE_CURRENT_LIST_DIR}/../resources/IdlCompiler.py)
set(TELLAVO_MSFT_READER ${CMAKE_CURRENT_LIST_DIR}/../resources/MsftTypeLib.py)

function(tellavo_type_library name)
  cmake_parse_arguments(ARG "" "IDL;HEADER;SYMBOL;RC" "" ${ARGN})
  get_filename_component(idl ${ARG_IDL} ABSOLUTE)
  get_filename_component(base ${idl} NAME_WE)
  set(include_dir ${CMAKE_CURRENT_BINARY_DIR}/${name}_include)
  set(header ${include_dir}/${ARG_HEADER})
  add_custom_command(OUTPUT ${header}
      COMMAND Python3::Interpreter ${TELLAVO_IDL_COMPILER} ${idl} --header ${header}
      DEPENDS ${idl} ${TELLAVO_IDL_COMPILER}
      COMMENT "Generating ${ARG_HEADER} from ${base}.idl" VERBATIM)
  add_custom_target(${name}_header DEPENDS ${header})
  add_library(${name}_interfaces INTERFACE)
  target_include_directories(${name}_interfaces INTERFACE ${include_dir})
  add_dependencies(${name}_interfaces ${name}_header)

  if(TELLAVO_TARGET STREQUAL "win32")
    # Type library strings are read in the system's ANSI code page, and the
    # IDL compiler copies them byte for byte, so the UTF-8 source is handed
    # to it in Windows-1252 (the letters of Tellavo's help strings are the
    # same in the Turkish code page).
    set(ansi_idl ${CMAKE_CURRENT_BINARY_DIR}/${base}.idl)
    add_custom_command(OUTPUT ${ansi_idl}
        COMMAND ${TELLAVO_ICONV} -f UTF-8 -t WINDOWS-1252 -o ${ansi_idl} ${idl}
        DEPENDS ${idl} VERBATIM)
    set(tlb ${CMAKE_CURRENT_BINARY_DIR}/${base}.tlb)
    add_custom_command(OUTPUT ${tlb}
        COMMAND ${TELLAVO_WIDL} --${TELLAVO_WINDOWS_SYSKIND} -t -I ${TELLAVO_IDL_DIR} -I ${CMAKE_CURRENT_SOURCE_DIR}
                -L ${TELLAVO_STDOLE_DIR} -o ${tlb} ${ansi_idl}
        DEPENDS ${ansi_idl} ${TELLAVO_STDOLE_DIR}/stdole2.tlb ${TELLAVO_IDL_DIR}/OleBase.idl
        VERBATIM)
    # The header comes from this IDL through IdlCompiler.py and the type
    # library through widl: the build stops unless both agree.
    set(agreed ${CMAKE_CURRENT_BINARY_DIR}/${base}.tlb.agreed)
    add_custom_command(OUTPUT ${agreed}
        COMMAND Python3::Interpreter ${TELLAVO_IDL_COMPILER} ${idl} --check-tlb ${tlb}
                --syskind ${TELLAVO_WINDOWS_SYSKIND}
        COMMAND ${CMAKE_COMMAND} -E touch ${agreed}
        DEPENDS ${idl} ${tlb} ${TELLAVO_IDL_COMPILER} ${TELLAVO_MSFT_READER}
        COMMENT "Comparing ${base}.tlb with ${base}.idl" VERBATIM)
    if(ARG_RC)
      set(rc ${ARG_RC})
    else()
      set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
      file(WRITE ${rc} "1 TYPELIB \"${base}.tlb\"\n")
    endif()
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${tlb};${agreed}")
    add_library(${name} OBJECT ${rc})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
    add_dependencies(${name} tellavo_stdole)
  else()
    set(data ${CMAKE_CURRENT_BINARY_DIR}/${base}TypeLib.cpp)
    add_custom_command(OUTPUT ${data}
        COMMAND Python3::Interpreter ${TELLAVO_IDL_COMPILER} ${idl} --data ${data}
                --symbol ${ARG_SYMBOL}
        DEPENDS ${idl} ${TELLAVO_IDL_COMPILER}
        COMMENT "Compiling the type library ${base}.idl" VERBATIM)
    # Nothing refers to the data, so every link that takes the library is
    # told to keep it.
    add_library(${name} STATIC ${data})
    target_link_options(${name} INTERFACE "LINKER:--undefined=${ARG_SYMBOL}")
  endif()
endfunction()
