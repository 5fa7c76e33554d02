# Authenticode signatures on the Windows deliverables; off by default.
#
# With TELLAVO_SIGN=ON every Tellavo.dll, tellavo.exe and TellavoCategories.dll
# is signed as soon as it is linked, so that the packages pack signed files, and every package is
# signed once it is made. The certificate with its key is the PKCS#12 file
# named by the environment variable TELLAVO_SIGN_PKCS12, its password the
# value of TELLAVO_SIGN_PASSWORD; both are read when the build runs, so that
# neither lands in the build folder nor on a command line.
option(TELLAVO_SIGN "Sign the Windows modules, client and packages with osslsigncode" OFF)
set(TELLAVO_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp server that countersigns the signatures (empty: none)")

if(TELLAVO_SIGN)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
    message(FATAL_ERROR "TELLAVO_SIGN signs Windows files: use it with the win32 or win64 build")
  endif()
  find_program(TELLAVO_OSSLSIGNCODE osslsigncode REQUIRED)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(TELLAVO_SIGN_COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/sign-file.py
      --osslsigncode ${TELLAVO_OSSLSIGNCODE})
  if(TELLAVO_SIGN_TIMESTAMP_URL)
    list(APPEND TELLAVO_SIGN_COMMAND --timestamp ${TELLAVO_SIGN_TIMESTAMP_URL})
  endif()
endif()

# tellavo_sign_after_build(TARGET): signs the target's file right after it is
# linked. Called where the target is defined.
function(tellavo_sign_after_build target)
  if(TELLAVO_SIGN)
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${TELLAVO_SIGN_COMMAND} $<TARGET_FILE:${target}> VERBATIM)
  endif()
endfunction()

# tellavo_sign_commands(VARIABLE FILE): sets VARIABLE to the COMMAND that signs
# FILE, to be appended to the custom command that makes it; empty when
# signing is off.
function(tellavo_sign_commands variable file)
  set(commands)
  if(TELLAVO_SIGN)
    set(commands COMMAND ${TELLAVO_SIGN_COMMAND} ${file})
  endif()
  set(${variable} ${commands} PARENT_SCOPE)
endfunction()
