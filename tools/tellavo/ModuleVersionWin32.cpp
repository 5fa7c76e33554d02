#include <vector>

#include "Platform.h"
#include "common/Utf.h"
#include "tools/tellavo/ModuleVersion.h"

namespace tellavo::cli {

std::optional<std::string> ModuleFileVersion(const std::string& path) {
  const std::u16string wide16 = Utf8ToUtf16(path);
  const std::wstring wide(wide16.begin(), wide16.end());
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &handle);
  if (size == 0)
    return std::nullopt;
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof *fixed)
    return std::nullopt;
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

} // namespace tellavo::cli
