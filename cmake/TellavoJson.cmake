# nlohmann-json, header-only, as the target nlohmann_json::nlohmann_json on
# every build. The cross builds take the build machine's Debian header and
# that folder only: the rest of /usr/include belongs to Linux, not MinGW.
if(TELLAVO_TARGET STREQUAL "win32")
  find_path(TELLAVO_NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp
            PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  # An imported target's folders are system folders: the library's own
  # warnings stay out of -Werror.
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
      INTERFACE_INCLUDE_DIRECTORIES ${TELLAVO_NLOHMANN_JSON_INCLUDE_DIR})
else()
  find_package(nlohmann_json 3.10 REQUIRED)
endif()
