#include "WinInetRequest.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace wininet {

namespace {

constexpr DWORD kPeerCheckFlags =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;

// The longest a wait lasts before the closed state of the handles is looked
// at again (closing also wakes the wait at once).
constexpr long kLongestWaitMs = 1000;

// Once this much of the response has been read, the read part is dropped.
constexpr size_t kCompactAfter = 64 * 1024;

// A whole body up to this size goes out in the same write as the headers.
constexpr uint64_t kOneWriteBody = 64 * 1024;

// The environment that gives libcurl its proxy under the preconfigured access type.
constexpr std::array kProxyVariables = {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy",
                                        "ALL_PROXY",   "no_proxy",    "NO_PROXY"};

std::vector<std::string_view> SplitList(std::string_view text) {
  std::vector<std::string_view> items;
  while (!text.empty()) {
    const size_t end = text.find_first_of("; ,");
    if (end != 0)
      items.push_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return items;
}

// A WinINet proxy list is either one "host:port" for every scheme or entries
// "scheme=host:port"; the entry for the request's scheme wins.
std::string ProxyFor(std::string_view list, bool secure) {
  const std::string_view wanted = secure ? "https=" : "http=";
  std::string_view general;
  for (std::string_view item : SplitList(list)) {
    if (item.starts_with(wanted))
      return std::string(item.substr(wanted.size()));
    if (item.find('=') == std::string_view::npos && general.empty())
      general = item;
  }
  return std::string(general);
}

// WinINet separates bypass entries by semicolons or blanks, libcurl by
// commas; "<local>" (names without a dot) has no libcurl counterpart.
std::string BypassFor(std::string_view list) {
  std::string bypass;
  for (std::string_view item : SplitList(list)) {
    if (item == "<local>")
      continue;
    if (!bypass.empty())
      bypass += ',';
    bypass += item;
  }
  return bypass;
}

} // namespace

Request::Request(std::shared_ptr<Connection> connection, std::string verb, std::string objectName,
                 bool http10, DWORD flags)
    : Object(Kind::Request, std::move(connection)), verb_(std::move(verb)),
      objectName_(std::move(objectName)), http10_(http10),
      secure_((flags & INTERNET_FLAG_SECURE) != 0),
      securityFlags_(flags & (INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
                              INTERNET_FLAG_IGNORE_CERT_DATE_INVALID)) {}

Request::~Request() {
  std::lock_guard lock(GetConnection().transferLock);
  ReleaseLease();
}

void Request::Close() {
  Object::Close();
  // A transfer that nobody drives looks at the closed state before it next
  // waits; waking it would only cost the next transfer on the lease a turn.
  if (!driving_)
    return;
  std::lock_guard lock(leaseLock_);
  if (lease_ != nullptr)
    curl_multi_wakeup(lease_->Multi());
}

std::string Request::Url() const {
  const Connection& connection = GetConnection();
  std::string host = connection.host;
  if (host.find(':') != std::string::npos && !host.starts_with('['))
    host = "[" + host + "]";
  INTERNET_PORT port = connection.port;
  if (port == INTERNET_INVALID_PORT_NUMBER)
    port = secure_ ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  std::string path = objectName_;
  if (!path.starts_with('/'))
    path.insert(0, 1, '/');
  return (secure_ ? "https://" : "http://") + host + ":" + std::to_string(port) + path;
}

std::string Request::ReuseKey() const {
  const Connection& connection = GetConnection();
  const Session& session = connection.GetSession();
  const DWORD certificatePolicy =
      securityFlags_ & (kPeerCheckFlags | SECURITY_FLAG_IGNORE_CERT_CN_INVALID);
  std::string key = std::string(secure_ ? "https" : "http") + '\n' + connection.host + '\n' +
                    std::to_string(connection.port) + '\n' + std::to_string(certificatePolicy) +
                    '\n' + std::to_string(session.accessType) + '\n' + session.proxy + '\n' +
                    session.proxyBypass;
  if (session.accessType == INTERNET_OPEN_TYPE_PRECONFIG)
    for (const char* name : kProxyVariables) {
      const char* value = std::getenv(name);
      key += value == nullptr ? std::string("\n-") : "\n=" + std::string(value);
    }
  return key;
}

bool Request::TakeLease(const std::string& key) {
  auto lease = std::make_unique<ConnectionLease>(key);
  if (lease->Multi() == nullptr)
    return false;
  std::lock_guard lock(leaseLock_);
  lease_ = std::move(lease);
  return true;
}

void Request::ReleaseLease() {
  RemoveFromMulti();
  easy_.reset();
  std::unique_ptr<ConnectionLease> lease;
  {
    std::lock_guard lock(leaseLock_);
    lease = std::move(lease_);
  }
  if (lease != nullptr && EndedCleanly())
    lease->KeepAlive();
}

void Request::Configure(CURL* easy, curl_slist* headers, uint64_t total) {
  const Connection& connection = GetConnection();
  const Session& session = connection.GetSession();
  curl_easy_setopt(easy, CURLOPT_URL, Url().c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // A transfer abandoned while its host name is being resolved (its handle
  // closed at the exchange's deadline) leaves the resolver thread to finish
  // alone; otherwise libcurl waits for it, and a resolver that never answers
  // holds the call for as long as its own time-outs last.
  curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                   http10_ ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  if (verb_ == "GET" && total == 0) {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  } else if (verb_ == "HEAD" && total == 0) {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else {
    // A declared size: libcurl sends Content-Length, never chunks.
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(total));
    if (bodyCopied_) {
      // libcurl keeps its own copy, which it can send again by itself.
      curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, wholeBody_.data());
    } else {
      curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Request::OnRead);
      curl_easy_setopt(easy, CURLOPT_READDATA, this);
    }
    // A kept connection the server has closed meanwhile fails before any
    // answer; libcurl then sends again on a new one, from the start, if it can
    // rewind the body. A whole body can be; a body given piece by piece never
    // is, so that it goes out at most once: the failure is the caller's.
    if (!bodyCopied_) {
      curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &Request::OnSeek);
      curl_easy_setopt(easy, CURLOPT_SEEKDATA, this);
    }
    if (verb_ != "POST")
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb_.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_SHARE, lease_->Share());
  if (!session.agent.empty())
    curl_easy_setopt(easy, CURLOPT_USERAGENT, session.agent.c_str());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Request::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Request::OnWrite);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Request::OnConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(EffectiveTimeout(kConnectTimeout)));

  const DWORD security = securityFlags_;
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, (security & kPeerCheckFlags) != 0 ? 0L : 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST,
                   (security & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) != 0 ? 0L : 2L);

  // The preconfigured access type leaves libcurl its own proxy settings: the
  // https_proxy, http_proxy and no_proxy environment variables.
  if (session.accessType == INTERNET_OPEN_TYPE_DIRECT) {
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
  } else if (session.accessType == INTERNET_OPEN_TYPE_PROXY) {
    curl_easy_setopt(easy, CURLOPT_PROXY, ProxyFor(session.proxy, secure_).c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, BypassFor(session.proxyBypass).c_str());
  }
  if (!connection.userName.empty()) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, connection.userName.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, connection.password.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
  }
}

DWORD Request::Start(std::string_view extraHeaders, std::string_view initial, uint64_t total,
                     bool inPieces) {
  RequestHeaders headers = headers_;
  if (const DWORD error = headers.Add(extraHeaders, HTTP_ADDREQ_FLAG_ADD); error != ERROR_SUCCESS)
    return error;
  CurlList list = headers.ToCurlList();
  // Judged on the previous transfer, before its state is reset.
  ReleaseLease();
  sentHeaders_ = std::move(list);

  connected_ = false;
  finished_ = false;
  failure_ = ERROR_SUCCESS;
  bodyInPieces_ = inPieces;
  bodyCopied_ = !inPieces && total > 0 && total <= kOneWriteBody;
  wholeBody_ = inPieces ? std::string_view() : initial;
  body_ = bodyCopied_ ? std::string_view() : initial;
  keptBody_.clear();
  bodyTotal_ = total;
  bodySent_ = bodyCopied_ ? total : 0;
  sendPaused_ = false;
  streaming_ = false;
  response_ = Response();
  received_.clear();
  readOffset_ = 0;

  // A transfer that cannot begin ends at once, so that no later call waits on it.
  if (!TakeLease(ReuseKey())) {
    Finish(ERROR_OUTOFMEMORY);
    return failure_;
  }
  easy_.reset(curl_easy_init());
  if (easy_ == nullptr) {
    Finish(ERROR_OUTOFMEMORY);
    return failure_;
  }
  Configure(easy_.get(), sentHeaders_.get(), total);
  if (curl_multi_add_handle(Multi(), easy_.get()) != CURLM_OK) {
    Finish(ERROR_INTERNET_INTERNAL_ERROR);
    return failure_;
  }
  inMulti_ = true;
  return ERROR_SUCCESS;
}

void Request::RemoveFromMulti() {
  if (inMulti_) {
    curl_multi_remove_handle(Multi(), easy_.get());
    inMulti_ = false;
  }
}

void Request::Finish(DWORD failure) {
  finished_ = true;
  failure_ = failure;
  // Taking an unfinished transfer out of the multi handle abandons it and
  // closes its connection; a finished one leaves its connection cached.
  RemoveFromMulti();
}

void Request::CollectFinished() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(Multi(), &queued)) {
    if (message->msg != CURLMSG_DONE || message->easy_handle != easy_.get())
      continue;
    DWORD failure = ErrorFromCurl(message->data.result, easy_.get());
    // Before the headers are complete, a refusal to take more is libcurl's or
    // our bound on the headers (a header line past libcurl's own limit
    // counts as memory exhausted), not memory running out.
    if (failure == ERROR_OUTOFMEMORY && !response_.complete)
      failure = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    Finish(failure);
  }
}

void Request::SetTimeLimit(DWORD milliseconds) {
  timeLimit_.reset();
  if (milliseconds != 0)
    timeLimit_ = Clock::now() + std::chrono::milliseconds(milliseconds);
}

template <class Condition> DWORD Request::Pump(Condition satisfied) {
  Connection& connection = GetConnection();
  // Time spent by the caller between calls is not idle time of the transfer.
  lastActivity_ = Clock::now();
  driving_ = true;
  while (!finished_ && !satisfied()) {
    if (Closed() || connection.Closed()) {
      Finish(ERROR_INTERNET_OPERATION_CANCELLED);
      break;
    }
    int running = 0;
    if (curl_multi_perform(Multi(), &running) != CURLM_OK) {
      Finish(ERROR_INTERNET_INTERNAL_ERROR);
      break;
    }
    CollectFinished();
    if (finished_ || satisfied())
      break;
    long waitMs = kLongestWaitMs;
    // The request's time limit bounds the whole transfer, connecting included.
    if (timeLimit_) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(*timeLimit_ - Clock::now());
      if (left.count() <= 0) {
        Finish(ERROR_INTERNET_TIMEOUT);
        break;
      }
      waitMs = std::min<long>(waitMs, static_cast<long>(left.count()));
    }
    // Before the connection stands, libcurl's connect time-out governs; after
    // it, the send or receive time-out bounds how long nothing may move.
    if (connected_) {
      const DWORD limit = EffectiveTimeout(BodyComplete() ? kReceiveTimeout : kSendTimeout);
      const auto idle =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity_);
      if (limit != 0 && idle.count() >= limit) {
        Finish(ERROR_INTERNET_TIMEOUT);
        break;
      }
      if (limit != 0)
        waitMs = std::min<long>(waitMs, static_cast<long>(limit - idle.count()));
    }
    curl_multi_poll(Multi(), nullptr, 0, static_cast<int>(waitMs), nullptr);
  }
  driving_ = false;
  return Failure();
}

void Request::KeepRemainingBody() {
  wholeBody_ = {};
  if (finished_) {
    body_ = {};
  } else if (!body_.empty()) {
    std::string remaining(body_);
    keptBody_ = std::move(remaining);
    body_ = keptBody_;
  }
}

DWORD Request::Send(std::string_view extraHeaders, std::string_view body) {
  if (streaming_)
    return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  if (const DWORD error = Start(extraHeaders, body, body.size(), false); error != ERROR_SUCCESS)
    return error;
  const DWORD error = Pump([this] { return response_.complete; });
  KeepRemainingBody();
  return ResponseArrived(error);
}

DWORD Request::BeginSend(std::string_view extraHeaders, std::string_view initial, uint64_t total) {
  if (streaming_)
    return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  if (const DWORD error = Start(extraHeaders, initial, total, true); error != ERROR_SUCCESS)
    return error;
  // Returns once the connection stands and libcurl waits for body bytes.
  const DWORD error = Pump([this] { return sendPaused_ || BodyComplete(); });
  KeepRemainingBody();
  streaming_ = error == ERROR_SUCCESS;
  return error;
}

DWORD Request::Write(std::string_view piece) {
  if (!streaming_)
    return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  // More than the declared size would corrupt the connection's next request.
  if (piece.size() > bodyTotal_ - bodySent_ - body_.size())
    return ERROR_INVALID_PARAMETER;
  if (const DWORD error = Pump([this] { return body_.empty(); }); error != ERROR_SUCCESS)
    return error;
  body_ = piece;
  if (sendPaused_) {
    sendPaused_ = false;
    curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
  }
  const DWORD error = Pump([this] { return body_.empty(); });
  // Whatever libcurl did not take is given up: the transfer has ended (a
  // server may answer before it has read the whole body).
  body_ = {};
  return error;
}

DWORD Request::EndSend() {
  if (!streaming_)
    return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  streaming_ = false;
  if (!finished_ && bodySent_ + body_.size() < bodyTotal_) {
    // The declared body was not written in full: the request cannot end.
    Finish(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return failure_;
  }
  return ResponseArrived(Pump([this] { return response_.complete; }));
}

DWORD Request::ResponseArrived(DWORD error) const {
  // The response head arrived: the call succeeded, as the Windows client's
  // does; a failure later in the transfer (a body cut short) is reported
  // where the body is read. Head, body and end often come in one go.
  return response_.complete ? ERROR_SUCCESS : error;
}

DWORD Request::Available(DWORD& count) {
  count = 0;
  if (!response_.complete)
    return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  const DWORD error = Pump([this] { return readOffset_ < received_.size(); });
  const size_t available = received_.size() - readOffset_;
  if (available == 0)
    return error;
  count = static_cast<DWORD>(std::min<size_t>(available, std::numeric_limits<DWORD>::max()));
  return ERROR_SUCCESS;
}

DWORD Request::Read(char* buffer, DWORD size, DWORD& count) {
  count = 0;
  if (!response_.complete)
    return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  if (size == 0)
    return ERROR_SUCCESS;
  const DWORD error = Pump([this] { return readOffset_ < received_.size(); });
  const size_t n = std::min<size_t>(size, received_.size() - readOffset_);
  if (n == 0)
    return error;
  std::memcpy(buffer, received_.data() + readOffset_, n);
  readOffset_ += n;
  if (readOffset_ == received_.size()) {
    received_.clear();
    readOffset_ = 0;
  }
  count = static_cast<DWORD>(n);
  return ERROR_SUCCESS;
}

size_t Request::OnRead(char* buffer, size_t size, size_t count, void* self) {
  auto& request = *static_cast<Request*>(self);
  if (request.body_.empty()) {
    if (request.BodyComplete())
      return 0;
    request.sendPaused_ = true;
    return CURL_READFUNC_PAUSE;
  }
  const size_t n = std::min(size * count, request.body_.size());
  std::memcpy(buffer, request.body_.data(), n);
  request.body_.remove_prefix(n);
  request.bodySent_ += n;
  request.lastActivity_ = Clock::now();
  return n;
}

// The callbacks below run inside libcurl: nothing may be thrown through it.
// A short count makes libcurl fail the transfer with CURLE_WRITE_ERROR.
size_t Request::OnHeader(char* buffer, size_t size, size_t count, void* self) {
  auto& request = *static_cast<Request*>(self);
  request.lastActivity_ = Clock::now();
  try {
    request.response_.AddLine(std::string_view(buffer, size * count));
  } catch (...) {
    return 0;
  }
  return size * count;
}

size_t Request::OnWrite(char* buffer, size_t size, size_t count, void* self) {
  auto& request = *static_cast<Request*>(self);
  request.lastActivity_ = Clock::now();
  try {
    if (request.readOffset_ >= kCompactAfter) {
      request.received_.erase(0, request.readOffset_);
      request.readOffset_ = 0;
    }
    request.received_.append(buffer, size * count);
  } catch (...) {
    return 0;
  }
  return size * count;
}

int Request::OnSeek(void* self, curl_off_t offset, int origin) {
  auto& request = *static_cast<Request*>(self);
  const std::string_view whole = request.wholeBody_;
  if (request.bodyInPieces_ || origin != SEEK_SET || offset < 0 ||
      whole.size() != request.bodyTotal_ || static_cast<uint64_t>(offset) > whole.size())
    return CURL_SEEKFUNC_CANTSEEK;
  request.body_ = whole.substr(static_cast<size_t>(offset));
  request.bodySent_ = static_cast<uint64_t>(offset);
  return CURL_SEEKFUNC_OK;
}

DWORD Request::SocketInfo(INTERNET_DIAGNOSTIC_SOCKET_INFO& info) const {
  if (!connected_)
    return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  long made = 0;
  long local = 0;
  long remote = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_NUM_CONNECTS, &made);
  curl_easy_getinfo(easy_.get(), CURLINFO_LOCAL_PORT, &local);
  curl_easy_getinfo(easy_.get(), CURLINFO_PRIMARY_PORT, &remote);
  info = {};
  info.SourcePort = static_cast<DWORD>(local);
  info.DestPort = static_cast<DWORD>(remote);
  // A transfer that made no connection of its own went over a kept one.
  if (made == 0)
    info.Flags |= IDSI_FLAG_KEEP_ALIVE;
  if (secure_)
    info.Flags |= IDSI_FLAG_SECURE;
  return ERROR_SUCCESS;
}

int Request::OnConnected(void* self, char*, char*, int, int) {
  auto& request = *static_cast<Request*>(self);
  request.connected_ = true;
  request.lastActivity_ = Clock::now();
  return CURL_PREREQFUNC_OK;
}

} // namespace wininet
