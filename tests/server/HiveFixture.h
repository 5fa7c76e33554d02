// Points the platform registry at a hive of the test's own, removed again
// when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "Platform.h"
#include "server/WideText.h"

namespace tellavo::server::testing {

class ScopedHive {
public:
  explicit ScopedHive(const std::string& path) : path_(path) {
    std::remove(path_.c_str());
    setenv("TELLAVO_REGISTRY", path_.c_str(), 1);
  }
  ~ScopedHive() {
    unsetenv("TELLAVO_REGISTRY");
    std::remove(path_.c_str());
  }
  ScopedHive(const ScopedHive&) = delete;
  ScopedHive& operator=(const ScopedHive&) = delete;

  // A text value under HKEY_CLASSES_ROOT; nothing when the key or value is missing.
  static std::optional<std::u16string> Read(const std::u16string& key,
                                            const std::u16string& name = u"") {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(key), 0, KEY_READ, &opened) != ERROR_SUCCESS)
      return std::nullopt;
    WCHAR data[512] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExW(opened, Wide(name), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS || type != REG_SZ)
      return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(data));
  }

private:
  std::string path_;
};

inline std::string TestHivePath(const char* name) {
  return ::testing::TempDir() + "tellavo-server-" + name + ".hive";
}

// A hive that cannot be written, whoever runs the test: its directory would
// have to be made inside a regular file.
class UnwritableHive {
public:
  UnwritableHive() : file_(TestHivePath("blocker")), hive_(file_ + "/registry.hive") {
    std::fclose(std::fopen(file_.c_str(), "w"));
  }
  ~UnwritableHive() { std::remove(file_.c_str()); }
  UnwritableHive(const UnwritableHive&) = delete;
  UnwritableHive& operator=(const UnwritableHive&) = delete;

private:
  std::string file_;
  ScopedHive hive_;
};

} // namespace tellavo::server::testing
