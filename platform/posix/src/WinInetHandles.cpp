// The handle tree and its options: root and connection handles, closing,
// time-outs (per handle and process-wide), and the calls that need no
// transfer.
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "WinInetObjects.h"
#include "WinInetRequest.h"
#include "common/Utf.h"

namespace wininet {

namespace {

// WinINet's own defaults until the process sets others.
std::array<std::atomic<DWORD>, kTimeoutCount> defaultTimeouts{60000, 30000, 30000};

} // namespace

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string ToUtf8(LPCWSTR text) {
  return text == nullptr ? std::string() : tellavo::Utf16ToUtf8(text);
}

std::string ToUtf8(LPCWSTR text, DWORD length) {
  if (text == nullptr)
    return {};
  if (length == static_cast<DWORD>(-1))
    return ToUtf8(text);
  return tellavo::Utf16ToUtf8(std::u16string_view(text, length));
}

DWORD DefaultTimeout(Timeout which) {
  return defaultTimeouts[which];
}

void SetDefaultTimeout(Timeout which, DWORD milliseconds) {
  defaultTimeouts[which] = milliseconds;
}

DWORD Object::EffectiveTimeout(Timeout which) const {
  for (const Object* object = this; object != nullptr; object = object->parent_.get()) {
    const int64_t value = object->timeouts_[which];
    if (value != kUnset)
      return static_cast<DWORD>(value);
  }
  return DefaultTimeout(which);
}

class HandleTable {
public:
  static HandleTable& Instance() {
    static HandleTable table;
    return table;
  }

  HINTERNET Register(std::shared_ptr<Object> object) {
    std::lock_guard lock(lock_);
    Object* parent = object->Parent().get();
    if (parent != nullptr && !objects_.contains(parent->handle_)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    const uintptr_t handle = next_++;
    object->handle_ = handle;
    if (parent != nullptr)
      parent->children_.push_back(handle);
    objects_.emplace(handle, std::move(object));
    return reinterpret_cast<HINTERNET>(handle);
  }

  std::shared_ptr<Object> Find(HINTERNET handle) {
    std::lock_guard lock(lock_);
    const auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == objects_.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    return found->second;
  }

  bool Close(HINTERNET handle) {
    // The objects are released after the lock: a request's destructor
    // takes its connection's transfer lock.
    std::vector<std::shared_ptr<Object>> closed;
    {
      std::lock_guard lock(lock_);
      const auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
      if (found == objects_.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
      }
      if (Object* parent = found->second->Parent().get(); parent != nullptr)
        std::erase(parent->children_, found->first);
      Unregister(found->first, closed);
    }
    for (const auto& object : closed)
      object->Close();
    return true;
  }

private:
  void Unregister(uintptr_t handle, std::vector<std::shared_ptr<Object>>& closed) {
    const auto found = objects_.find(handle);
    if (found == objects_.end())
      return;
    std::shared_ptr<Object> object = std::move(found->second);
    objects_.erase(found);
    for (uintptr_t child : object->children_)
      Unregister(child, closed);
    object->children_.clear();
    closed.push_back(std::move(object));
  }

  std::mutex lock_;
  std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects_;
  uintptr_t next_ = 0x10;
};

HINTERNET Register(std::shared_ptr<Object> object) {
  return HandleTable::Instance().Register(std::move(object));
}

std::shared_ptr<Object> Find(HINTERNET handle) {
  return HandleTable::Instance().Find(handle);
}

bool CloseHandle(HINTERNET handle) {
  return HandleTable::Instance().Close(handle);
}

namespace {

std::optional<Timeout> TimeoutOf(DWORD option) {
  switch (option) {
  case INTERNET_OPTION_CONNECT_TIMEOUT:
    return kConnectTimeout;
  case INTERNET_OPTION_SEND_TIMEOUT:
  case INTERNET_OPTION_DATA_SEND_TIMEOUT:
    return kSendTimeout;
  case INTERNET_OPTION_RECEIVE_TIMEOUT:
  case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
    return kReceiveTimeout;
  default:
    return std::nullopt;
  }
}

DWORD HandleTypeOf(Kind kind) {
  switch (kind) {
  case Kind::Session:
    return INTERNET_HANDLE_TYPE_INTERNET;
  case Kind::Connection:
    return INTERNET_HANDLE_TYPE_CONNECT_HTTP;
  case Kind::Request:
    break;
  }
  return INTERNET_HANDLE_TYPE_HTTP_REQUEST;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

} // namespace

} // namespace wininet

using namespace wininet;

DWORD InternetAttemptConnect(DWORD) {
  return ERROR_SUCCESS;
}

HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass,
                        DWORD flags) {
  if ((flags & INTERNET_FLAG_ASYNC) != 0 ||
      (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
       accessType != INTERNET_OPEN_TYPE_PROXY)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  EnsureCurlInitialised();
  return Register(
      std::make_shared<Session>(ToUtf8(agent), accessType, ToUtf8(proxy), ToUtf8(proxyBypass)));
}

HINTERNET InternetConnectW(HINTERNET internet, LPCWSTR serverName, INTERNET_PORT serverPort,
                           LPCWSTR userName, LPCWSTR password, DWORD service, DWORD, DWORD_PTR) {
  auto session = Find<Session>(internet, Kind::Session);
  if (session == nullptr)
    return nullptr;
  if (service != INTERNET_SERVICE_HTTP || serverName == nullptr || serverName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Register(std::make_shared<Connection>(std::move(session), ToUtf8(serverName), serverPort,
                                               ToUtf8(userName), ToUtf8(password)));
}

BOOL InternetCloseHandle(HINTERNET internet) {
  return CloseHandle(internet) ? TRUE : FALSE;
}

BOOL InternetSetOptionW(HINTERNET internet, DWORD option, LPVOID buffer, DWORD bufferLength) {
  const std::optional<Timeout> timeout = TimeoutOf(option);
  if (!timeout && option != INTERNET_OPTION_SECURITY_FLAGS &&
      option != INTERNET_OPTION_REQUEST_TIME_LIMIT)
    return Fail(ERROR_INTERNET_INVALID_OPTION);
  if (buffer == nullptr || bufferLength < sizeof(DWORD))
    return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
  DWORD value;
  std::memcpy(&value, buffer, sizeof value);
  if (internet == nullptr) {
    if (!timeout)
      return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    SetDefaultTimeout(*timeout, value);
    return TRUE;
  }
  std::shared_ptr<Object> object = Find(internet);
  if (object == nullptr)
    return FALSE;
  if (timeout) {
    object->SetTimeout(*timeout, value);
    return TRUE;
  }
  if (object->GetKind() != Kind::Request)
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  Request& request = static_cast<Request&>(*object);
  if (option == INTERNET_OPTION_REQUEST_TIME_LIMIT)
    request.SetTimeLimit(value);
  else
    request.SetSecurityFlags(value);
  return TRUE;
}

// INTERNET_OPTION_DIAGNOSTIC_SOCKET_INFO, of a request handle only.
static BOOL QuerySocketInfo(HINTERNET internet, LPVOID buffer, LPDWORD bufferLength) {
  if (bufferLength == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  if (buffer == nullptr || *bufferLength < sizeof(INTERNET_DIAGNOSTIC_SOCKET_INFO)) {
    *bufferLength = sizeof(INTERNET_DIAGNOSTIC_SOCKET_INFO);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  const std::shared_ptr<Request> request = Find<Request>(internet, Kind::Request);
  if (request == nullptr)
    return FALSE;
  INTERNET_DIAGNOSTIC_SOCKET_INFO info;
  if (const DWORD error = request->SocketInfo(info); error != ERROR_SUCCESS)
    return Fail(error);
  std::memcpy(buffer, &info, sizeof info);
  *bufferLength = sizeof info;
  return TRUE;
}

BOOL InternetQueryOptionW(HINTERNET internet, DWORD option, LPVOID buffer, LPDWORD bufferLength) {
  if (option == INTERNET_OPTION_DIAGNOSTIC_SOCKET_INFO)
    return QuerySocketInfo(internet, buffer, bufferLength);
  const std::optional<Timeout> timeout = TimeoutOf(option);
  if (!timeout && option != INTERNET_OPTION_SECURITY_FLAGS && option != INTERNET_OPTION_HANDLE_TYPE)
    return Fail(ERROR_INTERNET_INVALID_OPTION);
  if (bufferLength == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  if (buffer == nullptr || *bufferLength < sizeof(DWORD)) {
    *bufferLength = sizeof(DWORD);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  DWORD value;
  if (internet == nullptr) {
    if (!timeout)
      return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    value = DefaultTimeout(*timeout);
  } else {
    std::shared_ptr<Object> object = Find(internet);
    if (object == nullptr)
      return FALSE;
    if (timeout) {
      value = object->EffectiveTimeout(*timeout);
    } else if (option == INTERNET_OPTION_HANDLE_TYPE) {
      value = HandleTypeOf(object->GetKind());
    } else if (object->GetKind() == Kind::Request) {
      value = static_cast<Request&>(*object).QuerySecurityFlags();
    } else {
      return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    }
  }
  std::memcpy(buffer, &value, sizeof value);
  *bufferLength = sizeof value;
  return TRUE;
}

DWORD InternetErrorDlg(HWND, HINTERNET, DWORD, DWORD, LPVOID*) {
  return ERROR_SUCCESS;
}

HWND GetDesktopWindow() {
  static char desktop;
  return &desktop;
}
