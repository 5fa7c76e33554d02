// A request is sent at most once, by the transport and by the Internet client
// under it: a gateway that takes the whole request and closes without an
// answer receives it once, whether it came over a connection kept from an
// earlier exchange or a new one, directly or through a proxy. A failure says
// whether the whole request had been written, and only a request marked
// repeatable is sent again, once at most, and only when no answer came.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "TransportTestSupport.h"
#include "support/LoopbackServers.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"
#include "support/Wine.h"
#include "transport/HTTPReqResp.h"
#include "transport/InternetTimeouts.h"

namespace tellavo::test {
namespace {

// A built-in host, reached through the simulator as proxy.
constexpr std::string_view kProxiedBase = "https://gateway.tellavo.example";

class AtMostOnce : public SimulatorTest {
protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    SetInternetTimeouts(kBuiltInTimeout);
  }
  void TearDown() override {
    SetInternetTimeouts(kBuiltInTimeout);
    SimulatorTest::TearDown();
  }

  // One exchange on a transport of its own, as every gateway call makes one.
  static std::string Post(const std::string& baseUrl, std::string_view body, bool repeatable) {
    THTTPReqResp transport;
    transport.InvokeOptions.set(soIgnoreInvalidCerts);
    transport.Repeatable = repeatable;
    transport.SetURL(Utf8ToUtf16(baseUrl + std::string(kPath)));
    transport.BeforeExecute(kAction);
    std::string response;
    transport.Execute(body, response);
    return response;
  }
  std::string Post(std::string_view body = "x", bool repeatable = false) const {
    return Post(Sim().BaseUrl(), body, repeatable);
  }
};

TEST_F(AtMostOnce, RequestTakenWithoutAnAnswerIsSentOnceAndSaysItWasWritten) {
  // Small bodies once went out whole, which the Internet client may send
  // again by itself (Wine's does, without end, through a proxy); a body past
  // 32 KiB goes in several pieces.
  // Through the proxy first: Wine's client keeps the proxy settings it
  // first found for the rest of the process.
  for (const bool viaProxy : {true, false}) {
    for (const size_t size : {size_t{100}, size_t{40000}}) {
      SCOPED_TRACE((viaProxy ? "through the proxy, " : "direct, ") + std::to_string(size));
      std::optional<ScopedProxyEnvironment> proxy;
      if (viaProxy)
        proxy.emplace(Sim());
      const std::string base = viaProxy ? std::string(kProxiedBase) : Sim().BaseUrl();
      // A query first, as the credit check before a send, leaves a
      // connection kept for the next exchange.
      Post(base, "x", true);
      Sim().ClearRequests();
      Sim().Script(R"({"close": "unanswered"})");
      const auto raised = RaisedBy([&] { Post(base, std::string(size, 'x'), false); });
      ASSERT_TRUE(raised);
      EXPECT_TRUE(raised->RequestWritten()) << MessageOf(*raised);
      EXPECT_EQ(Sim().Requests().size(), 1u);
    }
  }
}

TEST_F(AtMostOnce, UnderWineARequestOnANewTunnelIsNotSentInPieces) {
  // Wine's client starts a request in pieces through a proxy on a new
  // connection by sending the proxy its CONNECT only, and returns before the
  // tunnel stands (Windows' client sets the tunnel up first). Such a send
  // fails before anything reaches the gateway; a query goes whole instead.
  if (!RunningUnderWine())
    GTEST_SKIP() << "Wine's client alone starts a request before its tunnel";
  ScopedProxyEnvironment proxy(Sim());
  const auto raised = RaisedBy([&] { Post(std::string(kProxiedBase), "x", false); });
  ASSERT_TRUE(raised);
  EXPECT_FALSE(raised->RequestWritten()) << MessageOf(*raised);
  EXPECT_TRUE(Sim().Requests().empty());
  EXPECT_NE(Post(std::string(kProxiedBase), "x", true).find("Envelope"), std::string::npos);
  EXPECT_EQ(Sim().Requests().size(), 1u);
}

TEST_F(AtMostOnce, FailureSaysHowFarTheExchangeGot) {
  // Nothing listens: nothing was written.
  const std::string closed = "https://127.0.0.1:" + std::to_string(ClosedPort());
  auto raised = RaisedBy([&] { Post(closed, "x", true); });
  ASSERT_TRUE(raised);
  EXPECT_FALSE(raised->RequestWritten()) << MessageOf(*raised);

  // An answer cut half-way came after the whole request: written, and not
  // sent again even when it could be, since the gateway answered. Wine's
  // client ends the read quietly where the connection closed, leaving the
  // cut body to the SOAP reader.
  Sim().Script(R"({"close_after_bytes": 20})");
  if (RunningUnderWine()) {
    EXPECT_EQ(Post("x", true).size(), 20u);
  } else {
    raised = RaisedBy([&] { Post("x", true); });
    ASSERT_TRUE(raised);
    EXPECT_TRUE(raised->RequestWritten()) << MessageOf(*raised);
  }
  EXPECT_EQ(Sim().Requests().size(), 1u);

  // An error status is an answer too.
  Sim().ClearRequests();
  Sim().Script(R"({"status": 503})");
  raised = RaisedBy([&] { Post("x", true); });
  ASSERT_TRUE(raised);
  EXPECT_TRUE(raised->RequestWritten());
  EXPECT_EQ(raised->StatusCode(), 503);
  EXPECT_EQ(Sim().Requests().size(), 1u);
}

TEST_F(AtMostOnce, RepeatableRequestIsSentOnceMoreAtMost) {
  // The connection ended without an answer once: the second sending answers.
  Post();
  Sim().ClearRequests();
  Sim().Script(R"({"close": "unanswered"})");
  EXPECT_NE(Post("x", true).find("Envelope"), std::string::npos);
  EXPECT_EQ(Sim().Requests().size(), 2u);

  // A gateway that takes every request and never answers is asked twice.
  Sim().ClearRequests();
  Sim().Script(R"({"close": "unanswered", "count": 0})");
  const auto raised = RaisedBy([&] { Post("x", true); });
  ASSERT_TRUE(raised);
  EXPECT_TRUE(raised->RequestWritten());
  EXPECT_EQ(Sim().Requests().size(), 2u);
}

} // namespace
} // namespace tellavo::test
