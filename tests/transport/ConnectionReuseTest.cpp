// The posix Internet layer keeps connections and TLS sessions for the whole
// process, as the Windows Internet client does: exchanges of separate
// transports (each with its own Internet session) share them, across threads
// too. What may not be shared is not: a connection after a failed exchange or
// one the server closed, anything across a change of proxy or certificate
// policy. The simulator counts the connections and handshakes it serves; each
// test has a simulator of its own, so that no connection or TLS session kept
// from an earlier test can serve it.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "Platform.h"
#include "TransportTestSupport.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/Simulator.h"
#include "transport/HTTPReqResp.h"
#include "transport/InternetTimeouts.h"

namespace tellavo::test {
namespace {

class ConnectionReuse : public ::testing::Test {
protected:
  void SetUp() override { SetInternetTimeouts(kBuiltInTimeout); }
  void TearDown() override { SetInternetTimeouts(kBuiltInTimeout); }

  const Simulator& Sim() const { return simulator_; }

  // One exchange on a transport of its own, as every gateway call makes one.
  std::string Post(std::string_view body = "x") const {
    THTTPReqResp transport;
    transport.InvokeOptions.set(soIgnoreInvalidCerts);
    transport.SetURL(Utf8ToUtf16(Sim().BaseUrl() + std::string(kPath)));
    transport.BeforeExecute(kAction);
    std::string response;
    transport.Execute(body, response);
    return response;
  }

  // The simulator's numbers of the connections that carried the requests.
  std::vector<int> ConnectionsOfRequests() const {
    std::vector<int> numbers;
    for (const RecordedRequest& request : Sim().Requests())
      numbers.push_back(request.connection);
    return numbers;
  }

private:
  Simulator simulator_;
};

void ExpectCounts(const ConnectionCounts& counts, long long connections, long long handshakes,
                  long long resumed) {
  EXPECT_EQ(counts.connections, connections);
  EXPECT_EQ(counts.handshakes, handshakes);
  EXPECT_EQ(counts.resumed, resumed);
}

TEST_F(ConnectionReuse, ExchangesOfSeparateSessionsShareOneConnection) {
  Sim().Script(R"({"body": "ok", "count": 0})");
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(Post(), "ok");
  ExpectCounts(Sim().Connections(), 1, 1, 0);
  const std::vector<int> numbers = ConnectionsOfRequests();
  EXPECT_EQ(std::set<int>(numbers.begin(), numbers.end()).size(), 1u);

  // Through the proxy too: one CONNECT, one tunnel for every exchange.
  Sim().Reset();
  Sim().Script(R"({"body": "ok", "count": 0})");
  ScopedProxyEnvironment proxy(Sim());
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Post(), "ok");
  ExpectCounts(Sim().Connections(), 1, 1, 0);
  EXPECT_EQ(Sim().Connects().size(), 1u);
}

TEST_F(ConnectionReuse, ConnectionTheServerClosesIsNotReusedButItsTlsSessionIs) {
  // Announced ("Connection: close") and silent (a keep-alive time run out):
  // either way the next exchange succeeds on a new connection, resuming the
  // TLS session of the closed one.
  Sim().Script(R"([{"body": "one", "close": true}, {"body": "two", "close": "silently"},
                   {"body": "three"}])");
  EXPECT_EQ(Post(), "one");
  EXPECT_EQ(Post(), "two");
  // The simulator's side of a silent close may still be on its way.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Post(), "three");
  ExpectCounts(Sim().Connections(), 3, 3, 2);
  const std::vector<int> numbers = ConnectionsOfRequests();
  EXPECT_EQ(std::set<int>(numbers.begin(), numbers.end()).size(), 3u);
}

TEST_F(ConnectionReuse, FailedExchangeLeavesNoConnectionBehind) {
  // An error status with a body the transport never reads, and an exchange
  // cut at its deadline while the gateway is silent.
  Sim().Script(R"([{"body": "ok"}, {"status": 404, "reason": "Not Found", "body": "gone"},
                   {"body": "ok"}, {"silence": "after_head"}, {"body": "ok"}])");
  EXPECT_EQ(Post(), "ok");
  EXPECT_TRUE(RaisedBy([&] { Post(); }));
  EXPECT_EQ(Post(), "ok");
  SetInternetTimeouts(500);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RaisedBy([&] { Post(); }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  SetInternetTimeouts(kBuiltInTimeout);
  EXPECT_EQ(Post(), "ok");

  const std::vector<int> numbers = ConnectionsOfRequests();
  ASSERT_EQ(numbers.size(), 5u);
  EXPECT_NE(numbers[1], numbers[2]);
  EXPECT_NE(numbers[3], numbers[4]);
  EXPECT_EQ(Sim().Connections().connections, 3);
}

TEST_F(ConnectionReuse, NothingIsSharedAcrossAChangeOfProxyOrCertificatePolicy) {
  Sim().Script(R"({"body": "ok", "count": 0})");
  EXPECT_EQ(Post(), "ok");
  {
    ScopedProxyEnvironment proxy(Sim());
    EXPECT_EQ(Post(), "ok");
  }
  EXPECT_EQ(Sim().Connects().size(), 1u);
  ExpectCounts(Sim().Connections(), 2, 2, 0);
  // Back without the proxy, the connection kept for that serves again.
  EXPECT_EQ(Post(), "ok");
  ExpectCounts(Sim().Connections(), 2, 2, 0);

  // The same server with the host name checked: a connection and a TLS
  // session of its own (the simulator's certificate names 127.0.0.1).
  InternetHandle root(InternetOpenW(u"raw", INTERNET_OPEN_TYPE_DIRECT, u"", u"", 0));
  InternetHandle connection(InternetConnectW(root.Get(), u"127.0.0.1",
                                             static_cast<INTERNET_PORT>(Sim().Port()), u"", u"",
                                             INTERNET_SERVICE_HTTP, 0, 0));
  InternetHandle request(HttpOpenRequestW(connection.Get(), u"POST", u"/GetOriginators/x", nullptr,
                                          nullptr, nullptr, INTERNET_FLAG_SECURE, 0));
  DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  ASSERT_TRUE(InternetSetOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, 4));
  ASSERT_TRUE(HttpSendRequestW(request.Get(), nullptr, 0, const_cast<char*>("x"), 1));
  ExpectCounts(Sim().Connections(), 3, 3, 0);
}

TEST_F(ConnectionReuse, ThreadsShareTheKeptConnections) {
  constexpr int kThreads = 4;
  constexpr int kExchanges = 5;
  Sim().Script(R"({"body": "ok", "count": 0})");
  std::vector<std::thread> threads;
  std::vector<int> answered(kThreads, 0);
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kExchanges; ++i)
        answered[t] += Post() == "ok";
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(answered, std::vector<int>(kThreads, kExchanges));
  // Never more connections than exchanges at once.
  const ConnectionCounts counts = Sim().Connections();
  EXPECT_LE(counts.connections, kThreads);
  EXPECT_EQ(counts.handshakes, counts.connections);
}

} // namespace
} // namespace tellavo::test
