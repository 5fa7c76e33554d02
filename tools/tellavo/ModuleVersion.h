// What a module file says of its version, read without running it.
#pragma once

#include <optional>
#include <string>

namespace tellavo::cli {

struct ModuleVersion {
  // The file version of its version block ("2.0.0.0"); none where modules
  // carry no such block (posix).
  std::optional<std::string> file;
  // The version of the type library it carries ("2.0").
  std::string typeLibrary;
};

// Throws Exception when the file is not a module with a type library.
ModuleVersion ReadModuleVersion(const std::string& path);
// Defined per platform.
std::optional<std::string> ModuleFileVersion(const std::string& path);

} // namespace tellavo::cli
