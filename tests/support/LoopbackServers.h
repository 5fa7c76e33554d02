// Small local servers for failures the gateway simulator does not produce.
#pragma once

#include <string>
#include <thread>

namespace tellavo::test {

// A port on 127.0.0.1 on which nothing listens.
int ClosedPort();

// Accepts one connection on 127.0.0.1 and answers whatever arrives with a
// fixed plain-text reply, then closes: a server that speaks no TLS.
class PlainReplyServer {
public:
  explicit PlainReplyServer(std::string reply);
  ~PlainReplyServer();
  PlainReplyServer(const PlainReplyServer&) = delete;
  PlainReplyServer& operator=(const PlainReplyServer&) = delete;
  int Port() const { return port_; }

private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

} // namespace tellavo::test
