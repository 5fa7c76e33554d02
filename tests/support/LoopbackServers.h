// Small local servers for failures the gateway simulator does not produce.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

namespace tellavo::test {

// A port on 127.0.0.1 on which nothing listens.
int ClosedPort();

// Accepts one connection on 127.0.0.1 and answers whatever arrives with a
// fixed reply, then closes: a server that speaks no TLS, or a proxy that
// accepts a tunnel and then talks plain text into it.
class PlainReplyServer {
public:
  explicit PlainReplyServer(std::string reply);
  ~PlainReplyServer();
  PlainReplyServer(const PlainReplyServer&) = delete;
  PlainReplyServer& operator=(const PlainReplyServer&) = delete;
  int Port() const { return port_; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
  std::uintptr_t listener_;
  int port_ = 0;
  std::thread thread_;
};

} // namespace tellavo::test
