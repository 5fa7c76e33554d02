// One row of the module's registration, as Registration.entries lists it
// and the build compiles it (RegistrationEntries.h). Keys, names and data
// hold %NAME% placeholders for what the registering module knows.
#pragma once

#include <cstddef>
#include <string>
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

// What a class's rows name its identifier (in braces) by, and the module
// file that serves it (InprocServer32's value).
inline constexpr std::u16string_view kClassIdPlaceholder = u"%CLSID%";
inline constexpr std::u16string_view kServerPathPlaceholder = u"%SERVER_PATH%";

// The key among `entries` whose default value names the module file that
// serves the class `classId`; empty when no row names one. Hosts read it
// to find where a class is registered.
template <size_t N>
std::u16string ServerPathKey(const RegistryEntry (&entries)[N], std::u16string_view classId) {
  for (const RegistryEntry& entry : entries) {
    if (entry.part != RegistryPart::Class || !entry.name.empty() ||
        entry.data != kServerPathPlaceholder)
      continue;
    std::u16string key(entry.key);
    for (size_t at = key.find(kClassIdPlaceholder); at != std::u16string::npos;
         at = key.find(kClassIdPlaceholder, at + classId.size()))
      key.replace(at, kClassIdPlaceholder.size(), classId);
    return key;
  }
  return {};
}

} // namespace tellavo::server
