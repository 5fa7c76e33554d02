// The request calls: opening, headers, sending (whole or in pieces), the
// response's headers and body.
#include <algorithm>
#include <mutex>

#include "WinInetRequest.h"

using namespace wininet;

namespace {

// Runs one call on a request under its connection's transfer lock and leaves
// the call's code as the thread's last error (ERROR_SUCCESS on success, so
// that a later GetLastError never reads a stale failure).
template <class Call> BOOL OnRequest(HINTERNET handle, Call call) {
  // Declared before the lock: a request closed meanwhile by another thread
  // is released after the lock.
  const std::shared_ptr<Request> request = Find<Request>(handle, Kind::Request);
  if (request == nullptr)
    return FALSE;
  DWORD error;
  {
    std::lock_guard lock(request->GetConnection().transferLock);
    error = call(*request);
  }
  SetLastError(error);
  return error == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, [](char c) {
    return c > ' ' && c < 0x7F && c != ':' && c != '(' && c != ')' && c != '"';
  });
}

} // namespace

HINTERNET HttpOpenRequestW(HINTERNET connect, LPCWSTR verb, LPCWSTR objectName, LPCWSTR version,
                           LPCWSTR referrer, LPCWSTR* acceptTypes, DWORD flags, DWORD_PTR) {
  auto connection = Find<Connection>(connect, Kind::Connection);
  if (connection == nullptr)
    return nullptr;
  const std::string verbText = verb == nullptr || verb[0] == 0 ? "GET" : ToUtf8(verb);
  const std::string versionText = ToUtf8(version);
  // The verb goes into the request line as it is: nothing but a token.
  if (!IsToken(verbText) ||
      (!versionText.empty() && versionText != "HTTP/1.1" && versionText != "HTTP/1.0")) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto request = std::make_shared<Request>(std::move(connection), verbText, ToUtf8(objectName),
                                           versionText == "HTTP/1.0", flags);
  std::string extra;
  if (referrer != nullptr && referrer[0] != 0)
    extra += "Referer: " + ToUtf8(referrer) + "\r\n";
  if (acceptTypes != nullptr && acceptTypes[0] != nullptr) {
    extra += "Accept: ";
    for (LPCWSTR* type = acceptTypes; *type != nullptr; ++type)
      extra += (type == acceptTypes ? "" : ", ") + ToUtf8(*type);
  }
  if (const DWORD error = request->AddHeaders(extra, HTTP_ADDREQ_FLAG_ADD);
      error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  HINTERNET handle = Register(std::move(request));
  if (handle != nullptr)
    SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL HttpAddRequestHeadersW(HINTERNET request, LPCWSTR headers, DWORD headersLength,
                            DWORD modifiers) {
  if (headers == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  const std::string text = ToUtf8(headers, headersLength);
  return OnRequest(request, [&](Request& r) { return r.AddHeaders(text, modifiers); });
}

BOOL HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                      DWORD optionalLength) {
  if (optional == nullptr && optionalLength != 0)
    return Fail(ERROR_INVALID_PARAMETER);
  const std::string extra = ToUtf8(headers, headersLength);
  const std::string_view body(static_cast<const char*>(optional), optionalLength);
  return OnRequest(request, [&](Request& r) { return r.Send(extra, body); });
}

BOOL HttpSendRequestExW(HINTERNET request, LPINTERNET_BUFFERSW buffersIn, LPINTERNET_BUFFERSW,
                        DWORD flags, DWORD_PTR) {
  if ((flags & HSR_ASYNC) != 0)
    return Fail(ERROR_INVALID_PARAMETER);
  std::string extra;
  std::string_view initial;
  uint64_t total = 0;
  if (buffersIn != nullptr) {
    if (buffersIn->lpvBuffer == nullptr && buffersIn->dwBufferLength != 0)
      return Fail(ERROR_INVALID_PARAMETER);
    extra = ToUtf8(buffersIn->lpcszHeader, buffersIn->dwHeadersLength);
    initial =
        std::string_view(static_cast<const char*>(buffersIn->lpvBuffer), buffersIn->dwBufferLength);
    total = std::max(buffersIn->dwBufferTotal, buffersIn->dwBufferLength);
  }
  return OnRequest(request, [&](Request& r) { return r.BeginSend(extra, initial, total); });
}

BOOL InternetWriteFile(HINTERNET file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) {
  if (bytesWritten == nullptr || (buffer == nullptr && bytesToWrite != 0))
    return Fail(ERROR_INVALID_PARAMETER);
  *bytesWritten = 0;
  const std::string_view piece(static_cast<const char*>(buffer), bytesToWrite);
  return OnRequest(file, [&](Request& r) {
    const DWORD error = r.Write(piece);
    if (error == ERROR_SUCCESS)
      *bytesWritten = bytesToWrite;
    return error;
  });
}

BOOL HttpEndRequestW(HINTERNET request, LPINTERNET_BUFFERSW, DWORD, DWORD_PTR) {
  return OnRequest(request, [](Request& r) { return r.EndSend(); });
}

BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                    LPDWORD index) {
  return OnRequest(request,
                   [&](Request& r) { return r.QueryInfo(infoLevel, buffer, bufferLength, index); });
}

BOOL InternetQueryDataAvailable(HINTERNET file, LPDWORD bytesAvailable, DWORD, DWORD_PTR) {
  if (bytesAvailable == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  *bytesAvailable = 0;
  return OnRequest(file, [&](Request& r) { return r.Available(*bytesAvailable); });
}

BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) {
  if (bytesRead == nullptr || (buffer == nullptr && bytesToRead != 0))
    return Fail(ERROR_INVALID_PARAMETER);
  *bytesRead = 0;
  return OnRequest(file, [&](Request& r) {
    return r.Read(static_cast<char*>(buffer), bytesToRead, *bytesRead);
  });
}
