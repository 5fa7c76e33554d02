// Header lists of a request: the lines the caller added, and the response's
// status line and header fields as the server sent them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "WinInetObjects.h"

namespace wininet {

// Lines added with HttpAddRequestHeadersW, each "Name: value", in order.
class RequestHeaders {
public:
  // Adds every line of `text` (lines end in CR LF, CR or LF); answers 0 or
  // the error code. A line without a colon is refused, so nothing the caller
  // passes can end a header early or start a body.
  DWORD Add(std::string_view text, DWORD modifiers);

  // The list handed to libcurl: the lines as given, plus the removal of the
  // headers libcurl would add on its own (Accept, Expect, a form
  // Content-Type, Proxy-Connection) unless the caller set them.
  CurlList ToCurlList() const;

private:
  std::vector<std::pair<std::string, std::string>> fields_;
};

struct Response {
  // The most a response's status line and header lines may add up to.
  static constexpr size_t kMaxResponseHeaderBytes = 1024 * 1024;

  // Takes one line from libcurl's header callback. A status line starts a
  // new response (after an interim 1xx one); the empty line completes a
  // final one.
  void AddLine(std::string_view line);

  bool complete = false;
  int status = 0;
  std::string version;
  std::string reason;
  std::vector<std::pair<std::string, std::string>> fields;
  size_t received = 0; // bytes of the lines so far
};

// HttpQueryInfoW on a received response.
DWORD QueryResponse(const Response& response, DWORD level, LPVOID buffer, LPDWORD bufferLength,
                    LPDWORD index);

} // namespace wininet
