// The thread's last error code and the message tables that FormatMessageW
// reads: a few system codes and HRESULTs, and the WinINet codes that the
// Internet client of this layer reports.
#include <string>
#include <string_view>
#include <unordered_map>

#include "WinTypes.h"

namespace {

thread_local DWORD lastError = 0;

// The one module whose message table exists here besides the system's.
char winInetModule;

const std::unordered_map<DWORD, std::u16string_view>& SystemMessages() {
  static const std::unordered_map<DWORD, std::u16string_view> table{
      {0x80004001, u"Not implemented"},
      {0x80004002, u"No such interface supported"},
      {0x80004003, u"Invalid pointer"},
      {0x80004005, u"Unspecified error"},
      {0x8000FFFF, u"Catastrophic failure"},
      {0x8007000E, u"Not enough memory resources are available to complete this operation"},
      {0x80070057, u"The parameter is incorrect"},
      {0x80020003, u"Member not found"},
      {0x80020005, u"Type mismatch"},
      {0x80020006, u"Unknown name"},
      {0x8002000B, u"Invalid index"},
      {0x8002000E, u"Invalid number of parameters"},
      {0x80040110, u"Class does not support aggregation (or class object is remote)"},
      {0x80040111, u"ClassFactory cannot supply requested class"},
  };
  return table;
}

const std::unordered_map<DWORD, std::u16string_view>& WinInetMessages() {
  static const std::unordered_map<DWORD, std::u16string_view> table{};
  return table;
}

} // namespace

DWORD GetLastError() {
  return lastError;
}
void SetLastError(DWORD code) {
  lastError = code;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  std::u16string_view name = moduleName == nullptr ? u"" : moduleName;
  if (name == u"wininet.dll" || name == u"WININET.DLL" || name == u"wininet")
    return &winInetModule;
  return nullptr;
}

DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD, LPWSTR buffer,
                     DWORD size, void*) {
  std::u16string_view text;
  if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0 && source == &winInetModule) {
    if (auto found = WinInetMessages().find(messageId); found != WinInetMessages().end())
      text = found->second;
  }
  if (text.empty() && (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
    if (auto found = SystemMessages().find(messageId); found != SystemMessages().end())
      text = found->second;
  }
  if (text.empty() || buffer == nullptr || size == 0) {
    SetLastError(317); // ERROR_MR_MID_NOT_FOUND
    return 0;
  }
  // Windows texts end in a full stop and CR LF; callers trim what they need.
  std::u16string full(text);
  full += u".\r\n";
  const DWORD n = static_cast<DWORD>(full.size() < size ? full.size() : size - 1);
  full.copy(buffer, n);
  buffer[n] = 0;
  return n;
}
