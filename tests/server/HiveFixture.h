// Points the platform registry at a hive of the test's own, removed again
// when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

#include "FileDescriptor.h"
#include "Platform.h"
#include "common/RegistryKey.h"
#include "common/WideText.h"

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

  // A text value under HKEY_CLASSES_ROOT (or `root`); nothing when the key
  // or value is missing.
  static std::optional<std::u16string>
  Read(const std::u16string& key, const std::u16string& name = u"", HKEY root = HKEY_CLASSES_ROOT) {
    RegistryKey opened;
    if (RegOpenKeyExW(root, Wide(key), 0, KEY_READ, opened.Out()) != ERROR_SUCCESS)
      return std::nullopt;
    WCHAR data[512] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExW(opened.Get(), Wide(name), nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &size);
    if (status != ERROR_SUCCESS || type != REG_SZ)
      return std::nullopt;
    return std::u16string(FromWide(data));
  }

  // The hive file's text as it is on disk.
  std::string Text() const {
    std::ifstream file(path_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

private:
  std::string path_;
};

// Counts the times a file is replaced by a rename into its folder, which is
// how the hive is rewritten.
class RewriteCounter {
public:
  explicit RewriteCounter(const std::string& path)
      : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
        name_(path.substr(path.find_last_of('/') + 1)) {
    inotify_add_watch(fd_.Get(), path.substr(0, path.find_last_of('/')).c_str(), IN_MOVED_TO);
  }

  // The rewrites since the last call.
  int Take() {
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd_.Get(), buffer, sizeof buffer)) > 0) {
      for (char* at = buffer; at < buffer + n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && name_ == event->name)
          ++count;
        at += sizeof(inotify_event) + event->len;
      }
    }
    return count;
  }

private:
  FileDescriptor fd_;
  std::string name_;
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
