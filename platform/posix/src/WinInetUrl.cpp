// InternetCrackUrlW: splits a URL into its parts as WinINet does, without
// decoding or escaping anything.
#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "Platform.h"
#include "common/SameText.h"

namespace {

struct SchemeInfo {
  std::u16string_view name;
  INTERNET_SCHEME scheme;
  INTERNET_PORT defaultPort;
};

constexpr std::array<SchemeInfo, 7> kSchemes{{
    {u"http", INTERNET_SCHEME_HTTP, INTERNET_DEFAULT_HTTP_PORT},
    {u"https", INTERNET_SCHEME_HTTPS, INTERNET_DEFAULT_HTTPS_PORT},
    {u"ftp", INTERNET_SCHEME_FTP, 21},
    {u"gopher", INTERNET_SCHEME_GOPHER, 70},
    {u"file", INTERNET_SCHEME_FILE, 0},
    {u"news", INTERNET_SCHEME_NEWS, 0},
    {u"mailto", INTERNET_SCHEME_MAILTO, 0},
}};

struct Parts {
  std::u16string_view scheme, userName, password, host, path, extra;
  INTERNET_SCHEME schemeNumber = INTERNET_SCHEME_UNKNOWN;
  INTERNET_PORT port = 0;
};

DWORD Split(std::u16string_view url, Parts& parts) {
  const size_t colon = url.find(u':');
  if (colon == 0 || colon == std::u16string_view::npos)
    return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
  parts.scheme = url.substr(0, colon);
  const auto known = std::ranges::find_if(
      kSchemes, [&](const SchemeInfo& info) { return tellavo::SameText(info.name, parts.scheme); });
  if (known == kSchemes.end())
    return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
  parts.schemeNumber = known->scheme;
  parts.port = known->defaultPort;

  std::u16string_view rest = url.substr(colon + 1);
  if (rest.starts_with(u"//")) {
    rest.remove_prefix(2);
    const size_t authorityEnd = std::min(rest.find_first_of(u"/?#"), rest.size());
    std::u16string_view authority = rest.substr(0, authorityEnd);
    rest.remove_prefix(authorityEnd);
    if (const size_t at = authority.rfind(u'@'); at != std::u16string_view::npos) {
      const std::u16string_view userInfo = authority.substr(0, at);
      const size_t separator = userInfo.find(u':');
      parts.userName = userInfo.substr(0, separator);
      if (separator != std::u16string_view::npos)
        parts.password = userInfo.substr(separator + 1);
      authority.remove_prefix(at + 1);
    }
    std::u16string_view portText;
    if (authority.starts_with(u'[')) {
      const size_t close = authority.find(u']');
      if (close == std::u16string_view::npos)
        return ERROR_INTERNET_INVALID_URL;
      parts.host = authority.substr(1, close - 1);
      const std::u16string_view after = authority.substr(close + 1);
      if (!after.empty() && !after.starts_with(u':'))
        return ERROR_INTERNET_INVALID_URL;
      portText = after.empty() ? after : after.substr(1);
    } else {
      const size_t portColon = authority.find(u':');
      parts.host = authority.substr(0, portColon);
      if (portColon != std::u16string_view::npos)
        portText = authority.substr(portColon + 1);
    }
    if (!portText.empty()) {
      uint32_t port = 0;
      for (char16_t c : portText) {
        if (c < u'0' || c > u'9' || (port = port * 10 + (c - u'0')) > 65535)
          return ERROR_INTERNET_INVALID_URL;
      }
      parts.port = static_cast<INTERNET_PORT>(port);
    }
  }
  if (parts.host.empty() &&
      (parts.schemeNumber == INTERNET_SCHEME_HTTP || parts.schemeNumber == INTERNET_SCHEME_HTTPS))
    return ERROR_INTERNET_INVALID_URL;
  const size_t extraStart = std::min(rest.find_first_of(u"?#"), rest.size());
  parts.path = rest.substr(0, extraStart);
  parts.extra = rest.substr(extraStart);
  return ERROR_SUCCESS;
}

// One wanted component: a null pointer asks for a pointer into the URL, a
// buffer for a copy. Answers false when the buffer is too small (the length
// then tells the size needed, terminator included).
bool Put(LPWSTR& pointer, DWORD& length, std::u16string_view value) {
  if (length == 0)
    return true;
  if (pointer == nullptr) {
    pointer = const_cast<LPWSTR>(value.data());
    length = static_cast<DWORD>(value.size());
    return true;
  }
  if (length <= value.size()) {
    length = static_cast<DWORD>(value.size() + 1);
    return false;
  }
  std::ranges::copy(value, pointer);
  pointer[value.size()] = 0;
  length = static_cast<DWORD>(value.size());
  return true;
}

} // namespace

BOOL InternetCrackUrlW(LPCWSTR url, DWORD urlLength, DWORD flags, LPURL_COMPONENTSW components) {
  if (url == nullptr || components == nullptr ||
      components->dwStructSize != sizeof(URL_COMPONENTSW) || flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string_view text =
      urlLength == 0 ? std::u16string_view(url) : std::u16string_view(url, urlLength);
  Parts parts;
  const DWORD error = Split(text, parts);
  components->nScheme = parts.schemeNumber;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  components->nPort = parts.port;
  // Without a place for the extra information it stays part of the path.
  const bool extraWanted = components->dwExtraInfoLength != 0;
  const std::u16string_view path =
      extraWanted ? parts.path
                  : std::u16string_view(parts.path.data(), parts.path.size() + parts.extra.size());
  bool fits = Put(components->lpszScheme, components->dwSchemeLength, parts.scheme);
  fits &= Put(components->lpszHostName, components->dwHostNameLength, parts.host);
  fits &= Put(components->lpszUserName, components->dwUserNameLength, parts.userName);
  fits &= Put(components->lpszPassword, components->dwPasswordLength, parts.password);
  fits &= Put(components->lpszUrlPath, components->dwUrlPathLength, path);
  fits &= Put(components->lpszExtraInfo, components->dwExtraInfoLength, parts.extra);
  SetLastError(fits ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER);
  return fits ? TRUE : FALSE;
}
