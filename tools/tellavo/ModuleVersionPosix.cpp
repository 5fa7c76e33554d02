#include "tools/tellavo/ModuleVersion.h"

namespace tellavo::cli {

// A posix module has no version block; its type library says what it serves.
std::optional<std::string> ModuleFileVersion(const std::string&) {
  return std::nullopt;
}

// Nor an Authenticode signature.
std::optional<std::string> ModuleSignature(const std::string&) {
  return std::nullopt;
}

} // namespace tellavo::cli
