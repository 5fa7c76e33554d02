#include "WinInetHeaders.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <stdexcept>

#include "common/SameText.h"
#include "common/Utf.h"

namespace wininet {

namespace {

constexpr DWORD HTTP_QUERY_FLAG_REQUEST_HEADERS = 0x80000000;
constexpr DWORD HTTP_QUERY_FLAG_SYSTEMTIME = 0x40000000;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// The header names of the fixed query levels.
std::string_view FieldNameOf(DWORD level) {
  switch (level) {
  case HTTP_QUERY_CONTENT_TYPE:
    return "Content-Type";
  case HTTP_QUERY_CONTENT_LENGTH:
    return "Content-Length";
  case HTTP_QUERY_DATE:
    return "Date";
  case HTTP_QUERY_CONNECTION:
    return "Connection";
  case HTTP_QUERY_LOCATION:
    return "Location";
  case HTTP_QUERY_SERVER:
    return "Server";
  case HTTP_QUERY_WWW_AUTHENTICATE:
    return "WWW-Authenticate";
  default:
    return {};
  }
}

void Append(CurlList& list, const std::string& line) {
  curl_slist* extended = curl_slist_append(list.get(), line.c_str());
  if (extended == nullptr)
    throw std::bad_alloc();
  list.release();
  list.reset(extended);
}

} // namespace

DWORD RequestHeaders::Add(std::string_view text, DWORD modifiers) {
  // All lines or none: a refused line leaves the list as it was.
  std::vector<std::pair<std::string, std::string>> fields = fields_;
  while (!text.empty()) {
    const size_t end = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (Trim(line).empty())
      continue;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || Trim(line.substr(0, colon)).empty())
      return ERROR_HTTP_INVALID_HEADER;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    const auto sameName = [&](const auto& field) { return tellavo::SameText(field.first, name); };
    const bool exists = std::ranges::any_of(fields, sameName);
    if ((modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0 && exists)
      return ERROR_HTTP_HEADER_ALREADY_EXISTS;
    if ((modifiers & HTTP_ADDREQ_FLAG_REPLACE) != 0) {
      if (!exists && (modifiers & HTTP_ADDREQ_FLAG_ADD) == 0)
        return ERROR_HTTP_HEADER_NOT_FOUND;
      std::erase_if(fields, sameName);
      if (value.empty())
        continue;
    }
    fields.emplace_back(name, value);
  }
  fields_ = std::move(fields);
  return ERROR_SUCCESS;
}

CurlList RequestHeaders::ToCurlList() const {
  CurlList list;
  for (const auto& [name, value] : fields_) {
    // "Name:" would make libcurl drop the header; "Name;" sends it empty.
    Append(list, value.empty() ? name + ";" : name + ": " + value);
  }
  for (std::string_view own : {"Accept", "Expect", "Content-Type", "Proxy-Connection"}) {
    if (std::ranges::none_of(
            fields_, [&](const auto& field) { return tellavo::SameText(field.first, own); }))
      Append(list, std::string(own) + ":");
  }
  return list;
}

void Response::AddLine(std::string_view line) {
  // A flood of header lines would otherwise grow without end; a new status
  // line (after an interim response) starts the count again.
  received += line.size();
  if (received > kMaxResponseHeaderBytes)
    throw std::length_error("response headers too large");
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
    line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    *this = Response();
    received = line.size();
    const size_t space = line.find(' ');
    version = line.substr(0, space);
    if (space == std::string_view::npos)
      return;
    std::string_view rest = line.substr(space + 1);
    const size_t codeEnd = rest.find(' ');
    const std::string_view code = rest.substr(0, codeEnd);
    std::from_chars(code.data(), code.data() + code.size(), status);
    if (codeEnd != std::string_view::npos)
      reason = Trim(rest.substr(codeEnd + 1));
  } else if (line.empty()) {
    complete = status >= 200;
  } else if ((line.front() == ' ' || line.front() == '\t') && !fields.empty()) {
    fields.back().second += ' ';
    fields.back().second += Trim(line);
  } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
    fields.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
}

DWORD QueryResponse(const Response& response, DWORD level, LPVOID buffer, LPDWORD bufferLength,
                    LPDWORD index) {
  if (!response.complete)
    return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  if (bufferLength == nullptr)
    return ERROR_INVALID_PARAMETER;
  if ((level & (HTTP_QUERY_FLAG_REQUEST_HEADERS | HTTP_QUERY_FLAG_SYSTEMTIME)) != 0)
    return ERROR_HTTP_INVALID_QUERY_REQUEST;
  const DWORD info = level & 0xFFFF;

  std::string value;
  bool indexed = false;
  switch (info) {
  case HTTP_QUERY_STATUS_CODE:
    value = std::to_string(response.status);
    break;
  case HTTP_QUERY_STATUS_TEXT:
    value = response.reason;
    break;
  case HTTP_QUERY_VERSION:
    value = response.version;
    break;
  case HTTP_QUERY_RAW_HEADERS_CRLF:
    value = response.version + " " + std::to_string(response.status) + " " + response.reason;
    for (const auto& [name, fieldValue] : response.fields)
      value += "\r\n" + name + ": " + fieldValue;
    value += "\r\n\r\n";
    break;
  default: {
    std::string name;
    if (info == HTTP_QUERY_CUSTOM) {
      if (buffer == nullptr)
        return ERROR_INVALID_PARAMETER;
      name = tellavo::Utf16ToUtf8(static_cast<LPCWSTR>(buffer));
    } else {
      name = FieldNameOf(info);
    }
    if (name.empty())
      return ERROR_HTTP_INVALID_QUERY_REQUEST;
    DWORD wanted = index == nullptr ? 0 : *index;
    const auto found = std::ranges::find_if(response.fields, [&](const auto& field) {
      return tellavo::SameText(field.first, name) && wanted-- == 0;
    });
    if (found == response.fields.end())
      return ERROR_HTTP_HEADER_NOT_FOUND;
    value = found->second;
    indexed = true;
  }
  }

  if ((level & HTTP_QUERY_FLAG_NUMBER) != 0) {
    DWORD number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size())
      return ERROR_HTTP_INVALID_QUERY_REQUEST;
    if (buffer == nullptr || *bufferLength < sizeof number) {
      *bufferLength = sizeof number;
      return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, &number, sizeof number);
    *bufferLength = sizeof number;
  } else {
    const std::u16string text = tellavo::Utf8ToUtf16(value);
    const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    if (buffer == nullptr || *bufferLength < needed) {
      *bufferLength = needed;
      return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, text.c_str(), needed);
    *bufferLength = needed - sizeof(char16_t);
  }
  if (indexed && index != nullptr)
    ++*index;
  return ERROR_SUCCESS;
}

} // namespace wininet
