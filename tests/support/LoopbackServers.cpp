#include "TestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tellavo::test {

namespace {

// A listening socket on 127.0.0.1 at any free port.
int Listen(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(fd, 1) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  port = ntohs(address.sin_port);
  return fd;
}

} // namespace

int ClosedPort() {
  int port = 0;
  close(Listen(port));
  return port;
}

PlainReplyServer::PlainReplyServer(std::string reply) {
  listener_ = Listen(port_);
  thread_ = std::thread([this, reply = std::move(reply)] {
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0)
      return;
    char buffer[4096];
    if (recv(client, buffer, sizeof buffer, 0) > 0)
      send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    close(client);
  });
}

PlainReplyServer::~PlainReplyServer() {
  // Unblocks an accept that never got its connection.
  shutdown(listener_, SHUT_RDWR);
  thread_.join();
  close(listener_);
}

} // namespace tellavo::test
