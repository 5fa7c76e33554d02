# nlohmann-json, header-only, as the target nlohmann_json::nlohmann_json on
# every build.
if(TELLAVO_TARGET STREQUAL "win32")
  # The cross builds take the build machine's Debian header. Its folder is
  # /usr/include, whose C headers are Linux's and would shadow MinGW's, so the
  # build points at a folder of its own that holds a link to nlohmann/ alone.
  find_path(TELLAVO_NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp
            PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(include_dir ${PROJECT_BINARY_DIR}/nlohmann_json/include)
  file(MAKE_DIRECTORY ${include_dir})
  file(CREATE_LINK ${TELLAVO_NLOHMANN_JSON_INCLUDE_DIR}/nlohmann ${include_dir}/nlohmann SYMBOLIC)
  # An imported target's folders are system folders: the library's own
  # warnings stay out of -Werror.
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
      INTERFACE_INCLUDE_DIRECTORIES ${include_dir})
else()
  find_package(nlohmann_json 3.10 REQUIRED)
endif()
