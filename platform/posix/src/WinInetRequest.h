// One HTTP request handle and its transfer on libcurl's multi interface. The
// calls are synchronous: each drives the multi handle the request has taken
// from the connection cache until what it waits for has happened. A body in
// pieces is taken from the caller piece by piece (libcurl's read callback
// pauses until the next piece is written), and the response body is handed
// out as it arrives, so neither is held twice; only a small whole body is
// handed to libcurl at once, to go out with the headers. A body in pieces is
// never rewound: libcurl cannot send it again by itself.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "WinInetConnectionCache.h"
#include "WinInetHeaders.h"
#include "WinInetObjects.h"

namespace wininet {

// The WinINet code for a failed libcurl transfer.
DWORD ErrorFromCurl(CURLcode code, CURL* easy);

class Request : public Object {
public:
  Request(std::shared_ptr<Connection> connection, std::string verb, std::string objectName,
          bool http10, DWORD flags);
  ~Request() override;

  Connection& GetConnection() const { return static_cast<Connection&>(*Parent()); }
  void Close() override;

  // The connection the request went over, once it has one.
  DWORD SocketInfo(INTERNET_DIAGNOSTIC_SOCKET_INFO& info) const;

  DWORD SecurityFlags() const { return securityFlags_; }
  // The flags as a query answers them: with SECURITY_FLAG_SECURE once a
  // secured connection stands.
  DWORD QuerySecurityFlags() const {
    return securityFlags_ | (secure_ && connected_ ? SECURITY_FLAG_SECURE : 0);
  }
  void SetSecurityFlags(DWORD flags) { securityFlags_ = flags; }
  // INTERNET_OPTION_REQUEST_TIME_LIMIT: the limit counts from now; 0 lifts it.
  void SetTimeLimit(DWORD milliseconds);

  // The calls below answer ERROR_SUCCESS or a WinINet error code; the caller
  // holds the connection's transfer lock.
  DWORD AddHeaders(std::string_view text, DWORD modifiers) { return headers_.Add(text, modifiers); }
  // Sends the headers and the whole body, and waits for the response headers.
  DWORD Send(std::string_view extraHeaders, std::string_view body);
  // Sends the headers declaring `total` body bytes, starting with `initial`;
  // the rest comes through Write, and EndSend waits for the response.
  DWORD BeginSend(std::string_view extraHeaders, std::string_view initial, uint64_t total);
  DWORD Write(std::string_view piece);
  DWORD EndSend();
  DWORD Available(DWORD& count);
  DWORD Read(char* buffer, DWORD size, DWORD& count);
  DWORD QueryInfo(DWORD level, LPVOID buffer, LPDWORD length, LPDWORD index) const {
    return QueryResponse(response_, level, buffer, length, index);
  }

private:
  using Clock = std::chrono::steady_clock;

  // `initial` is the whole body unless the rest comes in pieces through Write.
  DWORD Start(std::string_view extraHeaders, std::string_view initial, uint64_t total,
              bool inPieces);
  void Configure(CURL* easy, curl_slist* headers, uint64_t total);
  std::string Url() const;
  // What a kept connection must share with this request to serve it.
  std::string ReuseKey() const;
  // Takes a kept connection for the key, or a new one; false when no multi
  // handle could be made.
  bool TakeLease(const std::string& key);
  // Ends the use of the lease: its connection is kept only after a clean transfer.
  void ReleaseLease();
  // The transfer ended without failure and the caller read the whole response.
  bool EndedCleanly() const {
    return finished_ && failure_ == ERROR_SUCCESS && readOffset_ == received_.size();
  }
  CURLM* Multi() const { return lease_->Multi(); }
  void RemoveFromMulti();
  // Marks this request's transfer finished once libcurl says so.
  void CollectFinished();
  // Drives the transfer until `satisfied` holds or it ends; answers the
  // transfer's error code once it has failed.
  template <class Condition> DWORD Pump(Condition satisfied);
  DWORD Failure() const { return finished_ ? failure_ : ERROR_SUCCESS; }
  // What a call that waits for the response head answers after its pump.
  DWORD ResponseArrived(DWORD error) const;
  void Finish(DWORD failure);
  // The body bytes not yet taken by libcurl belong to the caller: copies them
  // so that the caller's buffer may go.
  void KeepRemainingBody();
  bool BodyComplete() const { return bodySent_ == bodyTotal_; }

  static size_t OnRead(char* buffer, size_t size, size_t count, void* self);
  static size_t OnHeader(char* buffer, size_t size, size_t count, void* self);
  static size_t OnWrite(char* buffer, size_t size, size_t count, void* self);
  static int OnConnected(void* self, char*, char*, int, int);
  static int OnSeek(void* self, curl_off_t offset, int origin);

  const std::string verb_;
  const std::string objectName_;
  const bool http10_;
  const bool secure_;
  std::atomic<DWORD> securityFlags_;
  RequestHeaders headers_;

  // Replaced only under leaseLock_ and by the thread that drives the
  // transfer; Close, from any thread, takes the lock to wake the transfer.
  std::mutex leaseLock_;
  std::unique_ptr<ConnectionLease> lease_;
  // Set (before the closed state is looked at) while a call drives the transfer.
  std::atomic<bool> driving_ = false;
  CurlEasy easy_; // after lease_: released before the lease's shared sessions
  CurlList sentHeaders_;
  bool inMulti_ = false;
  bool connected_ = false;
  bool finished_ = false;
  DWORD failure_ = ERROR_SUCCESS;
  Clock::time_point lastActivity_;
  std::optional<Clock::time_point> timeLimit_;

  std::string_view body_;      // the part of the current piece libcurl has not taken
  std::string keptBody_;       // owns body_ once the caller's piece had to be copied
  std::string_view wholeBody_; // the caller's whole body while it may be sent again
  bool bodyInPieces_ = false;
  bool bodyCopied_ = false; // a small whole body, handed to libcurl at once
  uint64_t bodyTotal_ = 0;
  uint64_t bodySent_ = 0;
  bool sendPaused_ = false;
  bool streaming_ = false; // between BeginSend and EndSend

  Response response_;
  std::string received_; // response body bytes not yet read
  size_t readOffset_ = 0;
};

} // namespace wininet
