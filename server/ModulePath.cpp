#include "server/ModulePath.h"

#include <algorithm>
#include <vector>

#include "common/WideText.h"

namespace tellavo::server {

namespace {

// The longest path that the system's wide-character functions accept.
constexpr DWORD kLongestPath = 32768;

constexpr DWORD kModuleNameBuffer = 262;
constexpr DWORD kLongPathBuffer = 261;

} // namespace

std::u16string ReadPath(const std::function<DWORD(LPWSTR buffer, DWORD size)>& call,
                        DWORD firstSize) {
  std::vector<WCHAR> buffer(firstSize);
  for (;;) {
    const auto size = static_cast<DWORD>(buffer.size());
    const DWORD written = call(buffer.data(), size);
    if (written == 0)
      return {};
    if (written < size)
      return FromWide(buffer.data(), written);
    if (size >= kLongestPath)
      return {};
    buffer.resize(std::min(kLongestPath, std::max(written, size * 2)));
  }
}

std::u16string ModulePath(HMODULE module, LongPathNameFunction longPathName) {
  const std::u16string path =
      ReadPath([&](LPWSTR buffer, DWORD size) { return GetModuleFileNameW(module, buffer, size); },
               kModuleNameBuffer);
  if (longPathName == nullptr || path.empty())
    return path;
  const std::u16string longPath =
      ReadPath([&](LPWSTR buffer, DWORD size) { return longPathName(Wide(path), buffer, size); },
               kLongPathBuffer);
  return longPath.empty() ? path : longPath;
}

std::u16string ShortPathName(const std::u16string& path) {
  return ReadPath(
      [&](LPWSTR buffer, DWORD size) { return GetShortPathNameW(Wide(path), buffer, size); },
      static_cast<DWORD>(path.size() + 1));
}

} // namespace tellavo::server
