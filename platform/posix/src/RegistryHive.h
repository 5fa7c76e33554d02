// The registry hive: keys with their values, read from and written to the
// hive file in whole-file transactions under a lock (RegistryFile.cpp).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Platform.h"

namespace tellavo::platform {

struct RegistryValue {
  std::u16string name; // empty: the default value
  DWORD type;          // REG_SZ or REG_DWORD
  std::u16string text;
  DWORD number = 0;
};

struct RegistryKey {
  std::u16string path; // "HKEY_CLASSES_ROOT\CLSID\{...}", as first written
  std::vector<RegistryValue> values;
};

// Keys by their case-folded path; a key's subkeys follow it in this order.
class RegistryHive {
public:
  // The folded form in which paths compare.
  static std::u16string Fold(std::u16string_view path);

  RegistryKey* Find(std::u16string_view path);
  bool Exists(std::u16string_view path);
  // Creates the key and every missing key between it and its root (a root
  // is stored only when it holds values); answers whether the key is new.
  bool Create(std::u16string_view path);
  bool HasSubkeys(std::u16string_view path) const;
  // The names of the direct subkeys, in folded order.
  std::vector<std::u16string> Subkeys(std::u16string_view path) const;
  void Erase(std::u16string_view path);
  // Erases the key's values and its subkeys; with `self` the key too.
  void EraseTree(std::u16string_view path, bool self);

  // False when the text is not a hive.
  bool Parse(std::string_view text);
  // Hands the text to `write` piece by piece; false as soon as it fails.
  bool Serialize(const std::function<bool(std::string_view)>& write) const;

private:
  std::map<std::u16string, RegistryKey> keys_;
};

// The hive file location (see Registry.h).
std::string HivePath();

// Runs `read` on the current hive under a shared lock, or on the thread's
// open transaction's copy.
LSTATUS ReadHive(const std::function<LSTATUS(RegistryHive&)>& read);
// Runs `change` on the current hive under an exclusive lock and writes the
// hive back if it answered ERROR_SUCCESS; within the thread's open
// transaction, on its copy, written back when it commits. A change that
// fails must leave the hive as it was.
LSTATUS ChangeHive(const std::function<LSTATUS(RegistryHive&)>& change);

} // namespace tellavo::platform
