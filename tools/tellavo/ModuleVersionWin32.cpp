#include <cstdio>
#include <vector>

#include "Platform.h"

#include "common/Utf.h"
#include "tools/tellavo/ModuleVersion.h"
#include <softpub.h>

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

// The file's Authenticode signature as WinVerifyTrust judges it, without any
// dialog and without fetching revocation lists, so that the answer never
// waits for the network.
std::optional<std::string> ModuleSignature(const std::string& path) {
  const std::u16string wide16 = Utf8ToUtf16(path);
  const std::wstring wide(wide16.begin(), wide16.end());
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = wide.c_str();
  WINTRUST_DATA request{};
  request.cbStruct = sizeof request;
  request.dwUIChoice = WTD_UI_NONE;
  request.fdwRevocationChecks = WTD_REVOKE_NONE;
  request.dwUnionChoice = WTD_CHOICE_FILE;
  request.pFile = &file;
  request.dwStateAction = WTD_STATEACTION_VERIFY;
  request.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const auto verdict = static_cast<HRESULT>(
      WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &request));
  request.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &request);
  switch (verdict) {
  case S_OK:
    return "signed";
  case TRUST_E_NOSIGNATURE:
    return "unsigned";
  case CERT_E_UNTRUSTEDROOT:
    return "untrusted-root";
  case TRUST_E_BAD_DIGEST:
    return "bad-digest";
  default:
    char text[32];
    std::snprintf(text, sizeof text, "invalid (0x%08lx)", static_cast<unsigned long>(verdict));
    return text;
  }
}

} // namespace tellavo::cli
