// The objects behind the Internet handles and the table that maps handles to
// them. A handle is an opaque number that is never reused, so a closed handle
// stays invalid for good; the objects are shared, so a call in progress keeps
// its object alive even when another thread closes the handle meanwhile.
#pragma once

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"

namespace wininet {

struct CurlEasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// libcurl's process-wide initialisation, done once before the first handle.
void EnsureCurlInitialised();

std::string ToUtf8(LPCWSTR text);
std::string ToUtf8(LPCWSTR text, DWORD length);

enum class Kind { Session, Connection, Request };

enum Timeout { kConnectTimeout, kSendTimeout, kReceiveTimeout, kTimeoutCount };

class Object {
public:
  Object(Kind kind, std::shared_ptr<Object> parent) : kind_(kind), parent_(std::move(parent)) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  Kind GetKind() const { return kind_; }
  const std::shared_ptr<Object>& Parent() const { return parent_; }

  // The time-out in force for this handle: its own, else its parent's, up
  // to the process-wide default.
  DWORD EffectiveTimeout(Timeout which) const;
  void SetTimeout(Timeout which, DWORD milliseconds) { timeouts_[which] = milliseconds; }

  bool Closed() const { return closed_; }
  // Marks the object closed and wakes any call that waits on its transfer.
  virtual void Close() { closed_ = true; }

private:
  friend class HandleTable;
  static constexpr int64_t kUnset = -1;

  const Kind kind_;
  const std::shared_ptr<Object> parent_;
  std::array<std::atomic<int64_t>, kTimeoutCount> timeouts_{kUnset, kUnset, kUnset};
  std::atomic<bool> closed_ = false;
  uintptr_t handle_ = 0;            // set once registered
  std::vector<uintptr_t> children_; // guarded by the table's lock
};

DWORD DefaultTimeout(Timeout which);
void SetDefaultTimeout(Timeout which, DWORD milliseconds);

class Session : public Object {
public:
  Session(std::string agent, DWORD accessType, std::string proxy, std::string proxyBypass)
      : Object(Kind::Session, nullptr), agent(std::move(agent)), accessType(accessType),
        proxy(std::move(proxy)), proxyBypass(std::move(proxyBypass)) {}

  const std::string agent;
  const DWORD accessType;
  const std::string proxy;
  const std::string proxyBypass;
};

// One server. Its requests take their connections from the process's
// connection cache (WinInetConnectionCache.h).
class Connection : public Object {
public:
  Connection(std::shared_ptr<Session> session, std::string host, INTERNET_PORT port,
             std::string userName, std::string password)
      : Object(Kind::Connection, std::move(session)), host(std::move(host)), port(port),
        userName(std::move(userName)), password(std::move(password)) {}

  const Session& GetSession() const { return static_cast<const Session&>(*Parent()); }

  const std::string host;
  const INTERNET_PORT port;
  const std::string userName;
  const std::string password;
  // Held by every call that drives a transfer of this connection's requests.
  std::mutex transferLock;
};

// Handle registry. Register answers null (with the last error set) when the
// parent was closed meanwhile; Find answers null with ERROR_INVALID_HANDLE for
// an unknown handle and ERROR_INTERNET_INCORRECT_HANDLE_TYPE for another kind.
HINTERNET Register(std::shared_ptr<Object> object);
std::shared_ptr<Object> Find(HINTERNET handle);
template <class T> std::shared_ptr<T> Find(HINTERNET handle, Kind kind) {
  std::shared_ptr<Object> object = Find(handle);
  if (object == nullptr)
    return nullptr;
  if (object->GetKind() != kind) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(std::move(object));
}
// Closes the handle and every handle made from it.
bool CloseHandle(HINTERNET handle);

} // namespace wininet
