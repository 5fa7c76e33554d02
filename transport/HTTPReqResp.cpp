#include "transport/HTTPReqResp.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/SameText.h"
#include "common/Settings.h"
#include "common/VisibleDesktop.h"
#include "common/WideText.h"
#include "transport/ExchangeDeadline.h"
#include "transport/InternetTimeouts.h"

namespace tellavo {

namespace {

constexpr std::u16string_view kInvalidUrl =
    u"Invalid url '%s' - only supports 'http' and 'https' schemes";
constexpr std::u16string_view kNoUrl =
    u"No WSDL or URL property was set in the THTTPRIO component. You must set the WSDL or URL "
    u"property before invoking the Web Service";
constexpr std::u16string_view kPlatformError = u"%s - URL:%s - SOAPAction:%s";
constexpr std::u16string_view kStatusError = u"%s (%d) - '%s'";
constexpr std::u16string_view kUnknownPlatformError = u"Internet error %d";
constexpr std::u16string_view kAnswerTooLarge =
    u"The answer exceeds the limit of %d bytes - URL:%s";
constexpr std::u16string_view kEmptyRequest = u"Invalid HTTP Request: Length is 0";
constexpr std::u16string_view kInvalidContentType =
    u"Received content of invalid Content-Type setting: %s - SOAP expects \"text/xml\"";

constexpr std::u16string_view kContentTypeLine = u"Content-Type: %s";
constexpr std::u16string_view kContentTypeUtf8 = u"text/xml; charset=\"utf-8\"";
constexpr std::u16string_view kContentTypePlain = u"text/xml";
constexpr std::u16string_view kEmptyAction = u"\"\"";

// Pieces of the body, and the one scratch buffer they go through.
constexpr size_t kPieceSize = 32768;
// How often in a row the error hook may have the same request sent again
// (after credentials were entered, or to pass an unknown authority). A hook
// that keeps asking would otherwise resend for ever. The answer it acts on
// refused the request, so sending it again is safe.
constexpr int kMaxResends = 3;
// How often a request that may be repeated is sent again after its
// connection ended with no answer (a kept connection the server had
// closed): once is enough for that, and a server that takes every request
// and never answers is not asked without end.
constexpr int kMaxRepeats = 1;
// Buffer size of the content type query, in characters with the terminator.
constexpr size_t kContentTypeChars = 128;

// The boundary parameter of a multipart content type, unquoted; empty for
// every other type.
std::u16string BoundaryOf(std::u16string_view contentType) {
  if (contentType.size() < 10 || !SameText(contentType.substr(0, 10), u"multipart/"))
    return {};
  constexpr std::u16string_view key = u"boundary=";
  for (size_t at = 0; at + key.size() <= contentType.size(); ++at) {
    if (!SameText(contentType.substr(at, key.size()), key))
      continue;
    std::u16string_view value = contentType.substr(at + key.size());
    if (value.starts_with(u'"')) {
      value.remove_prefix(1);
      return std::u16string(value.substr(0, value.find(u'"')));
    }
    return std::u16string(value.substr(0, value.find_first_of(u"; ")));
  }
  return {};
}

// A response header's text in full, however long; nothing when the response
// has no such header.
std::optional<std::u16string> QueryText(HINTERNET request, DWORD level) {
  std::u16string text(64, u'\0');
  for (;;) {
    DWORD length = static_cast<DWORD>(text.size() * sizeof(char16_t));
    DWORD index = 0;
    if (HttpQueryInfoW(request, level, text.data(), &length, &index)) {
      text.resize(std::char_traits<char16_t>::length(text.c_str()));
      return text;
    }
    const DWORD needed = length / sizeof(char16_t) + 1;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= text.size())
      return std::nullopt;
    text.assign(needed, u'\0');
  }
}

// The declared body length; nothing when there is none or it is not a number.
// A length past what 64 bits hold is as good as endless.
std::optional<uint64_t> DeclaredLength(HINTERNET request) {
  const std::optional<std::u16string> text = QueryText(request, HTTP_QUERY_CONTENT_LENGTH);
  if (!text || text->empty())
    return std::nullopt;
  uint64_t length = 0;
  for (char16_t digit : *text) {
    if (digit < u'0' || digit > u'9')
      return std::nullopt;
    if (length > (UINT64_MAX - 9) / 10)
      return UINT64_MAX;
    length = length * 10 + (digit - u'0');
  }
  return length;
}

// Whether the request's connection is secured. A request on https that has
// been started without one has only asked a proxy for its tunnel so far.
bool SecureConnection(HINTERNET request) {
  DWORD flags = 0;
  DWORD length = sizeof flags;
  return InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &length) &&
         (flags & SECURITY_FLAG_SECURE) != 0;
}

// Whether a response head came: Wine's client ends a request whose connection
// closed without a byte of answer as if one had come, with status 0.
bool HasStatus(HINTERNET request) {
  DWORD status = 0;
  DWORD length = sizeof status;
  DWORD index = 0;
  return HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                        &index) &&
         status != 0;
}

// Whether the request went over a connection kept from an earlier exchange;
// nothing when the platform does not say.
std::optional<bool> ReusedConnection(HINTERNET request) {
  INTERNET_DIAGNOSTIC_SOCKET_INFO info{};
  DWORD length = sizeof info;
  if (!InternetQueryOptionW(request, INTERNET_OPTION_DIAGNOSTIC_SOCKET_INFO, &info, &length))
    return std::nullopt;
  return (info.Flags & IDSI_FLAG_KEEP_ALIVE) != 0;
}

} // namespace

size_t TRequestStream::Read(void* buffer, size_t count) {
  const size_t n = std::min(count, Size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

const size_t THTTPReqResp::kDefaultMaxAnswerBytes = TELLAVO_MAX_ANSWER_BYTES;

TSOAPInvokeOptions THTTPReqResp::DefaultInvokeOptions() {
  TSOAPInvokeOptions options;
  options.set(soIgnoreInvalidCerts, !BuiltInSettings().Flag(SettingId::VerifyCertificates));
  options.set(soAutoCheckAccessPointViaUDDI);
  return options;
}

void THTTPReqResp::SetURL(std::u16string_view url) {
  if (url.empty()) {
    url_.clear();
    urlSet_ = false;
    scheme_ = INTERNET_SCHEME_DEFAULT;
    host_.clear();
    port_ = 0;
    path_.clear();
    Disconnect();
    return;
  }
  const std::u16string text(url);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  // Null pointers with a non-zero length ask for pointers into `text`.
  parts.dwSchemeLength = 1;
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  const bool split = InternetCrackUrlW(Wide(text), 0, 0, &parts) != FALSE;
  if (!split || (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
    throw ESOAPHTTPException(Format(kInvalidUrl, {text}));
  const auto part = [](const WCHAR* start, DWORD length) {
    return start == nullptr ? std::u16string() : FromWide(start, length);
  };
  scheme_ = parts.nScheme;
  port_ = parts.nPort;
  host_ = part(parts.lpszHostName, parts.dwHostNameLength);
  path_ = part(parts.lpszUrlPath, parts.dwUrlPathLength);
  url_ = text;
  urlSet_ = true;
  Disconnect();
}

void THTTPReqResp::BeforeExecute(std::u16string_view actionUri) {
  if (!urlSet_)
    throw ESOAPHTTPException(std::u16string(kNoUrl));
  soapAction_ = actionUri;
}

void THTTPReqResp::Disconnect() {
  connection_.reset();
  root_.reset();
  connected_ = false;
}

std::u16string THTTPReqResp::HeaderAction() const {
  if (soapAction_.empty() && !InvokeOptions.test(soNoValueForEmptySOAPAction))
    return std::u16string(kEmptyAction);
  return soapAction_;
}

std::u16string THTTPReqResp::SOAPActionHeader() const {
  const std::u16string action = HeaderAction();
  if (action.empty())
    return u"SOAPAction:";
  if (action == kEmptyAction)
    return u"SOAPAction: \"\"";
  return u"SOAPAction: \"" + action + u"\"";
}

DWORD THTTPReqResp::RequestFlags() const {
  DWORD flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_CACHE_WRITE;
  if (scheme_ == INTERNET_SCHEME_HTTPS) {
    flags |= INTERNET_FLAG_SECURE;
    if (InvokeOptions.test(soIgnoreInvalidCerts))
      flags |= INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
               SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  }
  return flags;
}

void THTTPReqResp::Check(bool failed) const {
  const DWORD code = GetLastError();
  if (failed && code != 0)
    RaisePlatformError(code);
}

void THTTPReqResp::RaisePlatformError(DWORD code) const {
  std::u16string text = MessageTableText(code, GetModuleHandleW(Wide(u"wininet.dll")));
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r'))
    text.pop_back();
  // A code the platform has no text for still says what failed.
  if (text.empty())
    text = Format(kUnknownPlatformError, {static_cast<long>(code)});
  throw ESOAPHTTPException(Format(kPlatformError, {text, url_, HeaderAction()}));
}

void THTTPReqResp::Connect() {
  if (connected_)
    return;
  const DWORD access = Proxy.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY;
  if (InternetAttemptConnect(0) != ERROR_SUCCESS)
    throw EAbort();
  root_.reset(InternetOpenW(Wide(Agent), access, Wide(Proxy), Wide(ProxyByPass), 0));
  if (!root_.Valid())
    Check(true);
  try {
    connection_.reset(InternetConnectW(root_.Get(), Wide(host_), port_, Wide(UserName),
                                       Wide(Password), INTERNET_SERVICE_HTTP, 0,
                                       reinterpret_cast<DWORD_PTR>(this)));
    if (!connection_.Valid())
      Check(true);
  } catch (...) {
    root_.reset();
    throw;
  }
  connected_ = true;
}

void THTTPReqResp::AddHeader(HINTERNET request, const std::u16string& line) {
  HttpAddRequestHeadersW(request, Wide(line), static_cast<DWORD>(line.size()),
                         HTTP_ADDREQ_FLAG_ADD);
}

void THTTPReqResp::SetTimeout(HINTERNET request, DWORD option, int32_t milliseconds) {
  if (milliseconds <= 0)
    return;
  DWORD value = static_cast<DWORD>(milliseconds);
  Check(!InternetSetOptionW(request, option, &value, sizeof value));
}

DWORD THTTPReqResp::HandleError(DWORD code, HINTERNET request) {
  if (code == ERROR_INTERNET_INVALID_CA) {
    DWORD flags = 0;
    DWORD length = sizeof flags;
    InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &length);
    flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    return ERROR_INTERNET_FORCE_RETRY;
  }
  if (OnWinInetError)
    return OnWinInetError(code, request);
  // Without a visible desktop the dialog would wait for ever: the hook then
  // answers as one without a dialog does, and a 401 or 407 stays the status
  // error it is.
  if (!DesktopIsVisible())
    return 0;
  void* data = nullptr;
  return InternetErrorDlg(GetDesktopWindow(), request, code,
                          FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                              FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                          &data);
}

void THTTPReqResp::PostWhole(HINTERNET request, TRequestStream& stream) {
  std::vector<char> body(stream.Size());
  stream.Read(body.data(), body.size());
  Check(!HttpSendRequestW(request, nullptr, 0, body.data(), static_cast<DWORD>(body.size())));
  stage_ = HasStatus(request) ? Stage::Answered : Stage::Written;
  if (stage_ != Stage::Answered)
    RaisePlatformError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
}

void THTTPReqResp::PostInPieces(HINTERNET request, TRequestStream& stream) {
  const size_t size = stream.Size();
  std::vector<char> scratch(std::min(size, kPieceSize));
  INTERNET_BUFFERSW buffers{};
  buffers.dwStructSize = sizeof buffers;
  buffers.dwBufferTotal = static_cast<DWORD>(size);
  Check(!HttpSendRequestExW(request, &buffers, nullptr, HSR_INITIATE | HSR_SYNC, 0));
  if (scheme_ == INTERNET_SCHEME_HTTPS && !SecureConnection(request)) {
    // Wine's client, starting a request through a proxy on a new connection,
    // sends the proxy its CONNECT and returns before the tunnel stands: what
    // would be written now would go to the proxy in clear. Nothing has
    // reached the server.
    tunnelMissing_ = true;
    RaisePlatformError(ERROR_INTERNET_CANNOT_CONNECT);
  }
  try {
    for (;;) {
      const size_t piece = std::min(size - stream.Position(), kPieceSize);
      if (piece == 0)
        break;
      const size_t read = stream.Read(scratch.data(), piece);
      if (read == 0)
        throw ESOAPHTTPException(std::u16string(kEmptyRequest));
      DWORD written = 0;
      Check(!InternetWriteFile(request, scratch.data(), static_cast<DWORD>(read), &written));
      if (OnPostingData)
        OnPostingData(static_cast<int32_t>(stream.Position()), static_cast<int32_t>(size));
    }
  } catch (...) {
    // The request is abandoned; the failure that stopped it is the one to
    // report, not what ending it may add.
    HttpEndRequestW(request, nullptr, 0, 0);
    throw;
  }
  // From here on the gateway may have the whole request.
  stage_ = Stage::Written;
  Check(!HttpEndRequestW(request, nullptr, 0, 0));
  if (!HasStatus(request))
    RaisePlatformError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
  stage_ = Stage::Answered;
}

InternetHandle THTTPReqResp::OpenRequest() {
  InternetHandle request(HttpOpenRequestW(connection_.Get(), Wide(u"POST"), Wide(path_), nullptr,
                                          nullptr, nullptr, RequestFlags(), 0));
  if (!request.Valid())
    Check(true);
  return request;
}

void THTTPReqResp::Send(HINTERNET handle, TRequestStream& stream) {
  SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, ConnectTimeout);
  SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, SendTimeout);
  SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, ReceiveTimeout);
  if (InvokeOptions.test(soIgnoreInvalidCerts)) {
    DWORD securityFlags = RequestFlags();
    InternetSetOptionW(handle, INTERNET_OPTION_SECURITY_FLAGS, &securityFlags,
                       sizeof securityFlags);
  }
  if (!InvokeOptions.test(soNoSOAPActionHeader))
    AddHeader(handle, SOAPActionHeader());
  AddHeader(handle,
            Format(kContentTypeLine, {UseUTF8InHeader ? kContentTypeUtf8 : kContentTypePlain}));
  if (OnBeforePost)
    OnBeforePost(handle);
  for (int resends = 0;; ++resends) {
    stage_ = Stage::Unsent;
    stream.SetPosition(0);
    if (sendWhole_)
      PostWhole(handle, stream);
    else
      PostInPieces(handle, stream);
    // Only an explicit request to send again (a dialog that took credentials
    // for a 401 or 407, which refused the request) repeats it. Any other
    // answer, among them a dialog that could not be shown, leaves the answer
    // received as it is, so a 401 or 407 ends as the status error it is.
    const DWORD answer = HandleError(GetLastError(), handle);
    if (answer == ERROR_CANCELLED)
      throw EAbort();
    if (answer != ERROR_INTERNET_FORCE_RETRY || resends == kMaxResends)
      return;
  }
}

void THTTPReqResp::Receive(HINTERNET request, std::string& response) {
  if (Trace != nullptr)
    Trace->ResponseHead(QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF).value_or(u""),
                        ReusedConnection(request));
  DWORD status = 0;
  DWORD length = sizeof status;
  DWORD index = 0;
  if (HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                     &index) &&
      status >= 300 && status != 500) {
    // The status alone makes the failure; its text is only reported.
    const std::u16string text = QueryText(request, HTTP_QUERY_STATUS_TEXT).value_or(u"");
    throw ESOAPHTTPException(Format(kStatusError, {text, static_cast<long>(status), url_}),
                             static_cast<int32_t>(status));
  }

  char16_t type[kContentTypeChars] = {};
  length = sizeof type;
  index = 0;
  // A missing or over-long Content-Type counts as none.
  contentType_ = HttpQueryInfoW(request, HTTP_QUERY_CONTENT_TYPE, type, &length, &index)
                     ? std::u16string(type)
                     : std::u16string();
  mimeBoundary_ = BoundaryOf(contentType_);

  // An answer past the bound is refused before its body when it says so, and
  // cut as soon as it grows past it otherwise.
  const auto tooLarge = [this] {
    return ESOAPHTTPException(Format(kAnswerTooLarge, {MaxAnswerBytes, url_}));
  };
  const std::optional<uint64_t> declared = DeclaredLength(request);
  if (declared.value_or(0) > MaxAnswerBytes)
    throw tooLarge();
  // A declared length is allocated once rather than grown into.
  if (declared)
    response.reserve(response.size() + static_cast<size_t>(*declared));
  const size_t answerStart = response.size();
  for (;;) {
    DWORD available = 0;
    Check(!InternetQueryDataAvailable(request, &available, 0, 0));
    if (available == 0)
      break;
    if (available > MaxAnswerBytes - (response.size() - answerStart))
      throw tooLarge();
    const size_t start = response.size();
    response.resize(start + available);
    DWORD read = 0;
    const BOOL ok = InternetReadFile(request, response.data() + start, available, &read);
    response.resize(start + (ok ? read : 0));
    Check(!ok);
    if (OnReceivingData)
      OnReceivingData(static_cast<int32_t>(available), static_cast<int32_t>(read));
    if (read == 0)
      break;
  }

  if (SameText(contentType_, u"text/plain") || SameText(contentType_, u"text/html"))
    throw ESOAPHTTPException(Format(kInvalidContentType, {contentType_}));
}

void THTTPReqResp::Execute(std::string_view request, std::string& response) {
  using Clock = std::chrono::steady_clock;
  // The time limit holds for the exchange as a whole, a repeat included:
  // each attempt gets what is left of it (0: no limit at all).
  const DWORD limit = ExchangeTimeLimit();
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(limit);
  const auto remaining = [&]() -> DWORD {
    if (limit == 0)
      return 0;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return static_cast<DWORD>(std::max<int64_t>(1, left.count()));
  };
  sendWhole_ = false;
  for (int repeats = 0;;) {
    try {
      Attempt(request, response, remaining());
      return;
    } catch (Exception& failure) {
      if (stage_ != Stage::Unsent)
        failure.SetRequestWritten();
      const bool timeLeft = limit == 0 || Clock::now() < end;
      // Without a tunnel, a request that may be repeated goes whole, with
      // which Wine's client opens the tunnel itself; it may then repeat the
      // request on its own, until the time limit. A send fails unsent.
      if (std::exchange(tunnelMissing_, false) && Repeatable && !sendWhole_ && timeLeft) {
        sendWhole_ = true;
        continue;
      }
      if (!Repeatable || stage_ != Stage::Written || repeats == kMaxRepeats || !timeLeft)
        throw;
      ++repeats;
    }
  }
}

void THTTPReqResp::Attempt(std::string_view request, std::string& response, DWORD limit) {
  TRequestStream stream(request);
  stage_ = Stage::Unsent;
  Connect();
  bool expired = false;
  try {
    TExchangeDeadline deadline(OpenRequest(), limit);
    try {
      Send(deadline.Request(), stream);
      Receive(deadline.Request(), response);
    } catch (...) {
      // Whatever the closed handle made fail, the time limit ended it.
      if (!deadline.Finish())
        throw;
    }
    expired = deadline.Finish();
  } catch (...) {
    Disconnect();
    throw;
  }
  if (expired) {
    Disconnect();
    RaisePlatformError(ERROR_INTERNET_TIMEOUT);
  }
}

} // namespace tellavo
