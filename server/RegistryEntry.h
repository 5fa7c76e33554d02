// One row of the module's registration, as Registration.entries lists it
// and the build compiles it (RegistrationEntries.h). Keys, names and data
// hold %NAME% placeholders for what the registering module knows.
#pragma once

#include <string_view>

namespace tellavo::server {

// Who writes the row: the module once per class, or once for its type
// library after the system has registered that.
enum class RegistryPart { Class, Library };

struct RegistryEntry {
  RegistryPart part;
  // One key for both registry views, kept on removal while the module of
  // the other bitness is registered.
  bool shared;
  std::u16string_view key;
  // Empty for the key's default value.
  std::u16string_view name;
  // A key without a value of its own: made by the rows below it, deleted
  // after them.
  bool keyOnly;
  std::u16string_view data;
};

} // namespace tellavo::server
