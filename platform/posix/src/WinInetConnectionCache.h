// The process's kept-alive connections, shared by every Internet session and
// thread, as the Windows Internet client keeps them.
//
// A kept connection lives in the connection cache of a libcurl multi handle
// that is lent to one request at a time (libcurl does not let threads share
// one connection cache concurrently). Connections are kept per reuse key:
// everything that decides whether a connection may serve a request (scheme,
// server, proxy settings, certificate policy). Each key also has its own
// store of TLS sessions and resolved names, shared under locks by all its
// requests, so a change of proxy or certificate policy neither reuses a
// connection nor resumes a TLS session made under the old settings.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

#include "WinInetObjects.h"

namespace wininet {

class SharedSessions;

class ConnectionLease {
public:
  // Takes an idle kept connection for the key, else a new empty one.
  explicit ConnectionLease(const std::string& key);
  // Gives the connection back for reuse after KeepAlive, closes it otherwise.
  ~ConnectionLease();
  ConnectionLease(const ConnectionLease&) = delete;
  ConnectionLease& operator=(const ConnectionLease&) = delete;

  CURLM* Multi() const { return multi_.get(); }
  // For CURLOPT_SHARE of every transfer on this lease.
  CURLSH* Share() const;
  const std::string& Key() const { return key_; }
  // The last transfer ended cleanly: its connection may serve another request.
  void KeepAlive() { keep_ = true; }

private:
  const std::string key_;
  std::shared_ptr<SharedSessions> sessions_;
  CurlMulti multi_;
  bool keep_ = false;
};

} // namespace wininet
