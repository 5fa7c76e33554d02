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
  // What its Authenticode signature says (see ModuleSignature); none where
  // modules carry no such signature (posix).
  std::optional<std::string> signature;
};

// Throws Exception when the file is not a module with a type library.
ModuleVersion ReadModuleVersion(const std::string& path);
// Defined per platform.
std::optional<std::string> ModuleFileVersion(const std::string& path);
// Defined per platform: "unsigned"; "signed" (and trusted by this machine);
// "untrusted-root" (intact, but its chain ends in a root that this machine
// does not trust); "bad-digest" (changed after it was signed); or "invalid
// (0xXXXXXXXX)" with the verification's result for any other fault.
std::optional<std::string> ModuleSignature(const std::string& path);

} // namespace tellavo::cli
