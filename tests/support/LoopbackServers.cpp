#include "LoopbackServers.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <stdexcept>

#include "common/UniqueHandle.h"

namespace tellavo::test {
namespace {

// The few socket calls whose names differ between BSD sockets and Winsock.
#ifdef _WIN32
using Socket = SOCKET;
constexpr int kNoSignal = 0;
constexpr int kShutBoth = SD_BOTH;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) {
  closesocket(s);
}
void StartSockets() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started)
    throw std::runtime_error("WSAStartup failed");
}
#else
using Socket = int;
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr int kShutBoth = SHUT_RDWR;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) {
  close(s);
}
void StartSockets() {}
#endif

using OwnedSocket = UniqueHandle<Socket, CloseSocket, kNoSocket>;

// A listening socket on 127.0.0.1 at any free port.
OwnedSocket Listen(int& port) {
  StartSockets();
  OwnedSocket s(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (!s.Valid() || bind(s.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(s.Get(), 1) != 0 ||
      getsockname(s.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  port = ntohs(address.sin_port);
  return s;
}

} // namespace

int ClosedPort() {
  int port = 0;
  // The socket goes again at once, which leaves its port free.
  Listen(port);
  return port;
}

PlainReplyServer::PlainReplyServer(std::string reply) {
  // Closed by the destructor, once the thread that accepts on it has ended.
  const Socket listener = Listen(port_).Release();
  listener_ = static_cast<std::uintptr_t>(listener);
  thread_ = std::thread([listener, reply = std::move(reply)] {
    const OwnedSocket client(accept(listener, nullptr, nullptr));
    if (!client.Valid())
      return;
    char buffer[4096];
    if (recv(client.Get(), buffer, sizeof buffer, 0) > 0)
      send(client.Get(), reply.data(), static_cast<int>(reply.size()), kNoSignal);
  });
}

PlainReplyServer::~PlainReplyServer() {
  // Unblocks an accept that never got its connection.
  const auto listener = static_cast<Socket>(listener_);
  shutdown(listener, kShutBoth);
  thread_.join();
  CloseSocket(listener);
}

} // namespace tellavo::test
