// The thread's last error code and the message tables that FormatMessageW
// reads: a few system codes and HRESULTs, and the WinINet codes that the
// Internet client of this layer reports.
#include <string>
#include <string_view>
#include <unordered_map>

#include "WinInet.h"
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
      {0x80070005, u"Access is denied"},
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
  static const std::unordered_map<DWORD, std::u16string_view> table{
      {ERROR_INTERNET_OUT_OF_HANDLES, u"No more handles could be generated at this time"},
      {ERROR_INTERNET_TIMEOUT, u"The operation timed out"},
      {ERROR_INTERNET_INTERNAL_ERROR, u"An internal error occurred in the Internet extensions"},
      {ERROR_INTERNET_INVALID_URL, u"The URL is invalid"},
      {ERROR_INTERNET_UNRECOGNIZED_SCHEME, u"The URL does not use a recognized protocol"},
      {ERROR_INTERNET_NAME_NOT_RESOLVED, u"The server name or address could not be resolved"},
      {ERROR_INTERNET_INVALID_OPTION, u"The option is invalid"},
      {ERROR_INTERNET_BAD_OPTION_LENGTH, u"The length is incorrect for the option type"},
      {ERROR_INTERNET_OPERATION_CANCELLED, u"The operation was canceled"},
      {ERROR_INTERNET_INCORRECT_HANDLE_TYPE,
       u"The type of handle supplied is incorrect for this operation"},
      {ERROR_INTERNET_INCORRECT_HANDLE_STATE,
       u"The requested operation cannot be carried out because the handle supplied is not in "
       u"the correct state"},
      {ERROR_INTERNET_CANNOT_CONNECT, u"A connection with the server could not be established"},
      {ERROR_INTERNET_CONNECTION_ABORTED,
       u"The connection with the server was terminated abnormally"},
      {ERROR_INTERNET_CONNECTION_RESET, u"The connection with the server was reset"},
      {ERROR_INTERNET_FORCE_RETRY, u"The request must be sent again"},
      {ERROR_INTERNET_SEC_CERT_DATE_INVALID,
       u"The date in the certificate is invalid or has expired"},
      {ERROR_INTERNET_SEC_CERT_CN_INVALID,
       u"The host name in the certificate is invalid or does not match"},
      {ERROR_INTERNET_INVALID_CA, u"The certificate authority is invalid or incorrect"},
      {ERROR_HTTP_HEADER_NOT_FOUND, u"The requested header could not be located"},
      {ERROR_HTTP_INVALID_SERVER_RESPONSE,
       u"The server returned an invalid or unrecognized response"},
      {ERROR_HTTP_INVALID_HEADER, u"The supplied header is invalid"},
      {ERROR_HTTP_INVALID_QUERY_REQUEST, u"The request made to HttpQueryInfo is invalid"},
      {ERROR_HTTP_HEADER_ALREADY_EXISTS,
       u"The header could not be added because it already exists"},
      {ERROR_INTERNET_SECURE_FAILURE, u"A security error occurred"},
  };
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
