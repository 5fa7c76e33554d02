// Whole exchanges of the transport against the gateway simulator (a real
// HTTPS server that records every request byte) and a few local servers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <set>
#include <utility>
#include <vector>

#include "TransportTestSupport.h"
#include "support/LoopbackServers.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"
#include "support/Wine.h"
#include "transport/HTTPReqResp.h"
#include "transport/InternetTimeouts.h"

namespace tellavo::test {
namespace {

class Exchange : public SimulatorTest {
protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    SetInternetTimeouts(600000);
    Prepare(transport_, Url());
  }

  std::u16string Url(std::string_view path = kPath) const {
    return Utf8ToUtf16(Sim().BaseUrl() + std::string(path));
  }

  static void Prepare(THTTPReqResp& transport, std::u16string_view url) {
    transport.InvokeOptions.set(soIgnoreInvalidCerts);
    transport.SetURL(url);
    transport.BeforeExecute(kAction);
  }

  std::string Post(std::string_view body) { return Post(transport_, body); }
  static std::string Post(THTTPReqResp& transport, std::string_view body) {
    std::string response;
    transport.Execute(body, response);
    return response;
  }

  RecordedRequest OnlyRequest() const {
    const auto requests = Sim().Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest() : requests.back();
  }

  THTTPReqResp transport_;
};

TEST_F(Exchange, SendsTheBodyWithExactlyTheExpectedHeaders) {
  Sim().Script(R"({"body": "<answer/>", "content_type": "text/xml; charset=utf-8"})");
  EXPECT_EQ(Post("<Envelope>\xC3\xA4</Envelope>"), "<answer/>");
  EXPECT_EQ(Utf16ToUtf8(transport_.ContentType()), "text/xml; charset=utf-8");
  EXPECT_TRUE(transport_.MimeBoundary().empty());

  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, kPath);
  EXPECT_TRUE(request.tls);
  EXPECT_FALSE(request.viaProxy);
  EXPECT_EQ(request.body, "<Envelope>\xC3\xA4</Envelope>");
  EXPECT_EQ(request.contentLength, 23);
  EXPECT_FALSE(request.chunked);
  std::set<std::string> names;
  for (auto [name, value] : request.headers) {
    std::ranges::transform(name, name.begin(), [](unsigned char c) { return std::tolower(c); });
    names.insert(name);
  }
  std::set<std::string> expected{"host", "user-agent", "soapaction", "content-type",
                                 "content-length"};
  // The transport adds two headers; WinINet adds its own standard ones
  // besides, which Wine's spells out as Connection, Cache-Control and Pragma.
  if (RunningUnderWine())
    expected.insert({"connection", "cache-control", "pragma"});
  EXPECT_EQ(names, expected);
  EXPECT_EQ(request.Header("Host"), "127.0.0.1:" + std::to_string(Sim().Port()));
  EXPECT_EQ(request.Header("User-Agent"), "Tellavo SOAP 1.2");
  EXPECT_EQ(request.Header("SOAPAction"), "\"http://ws.tellavo.example/getOriginators\"");
  EXPECT_EQ(request.Header("Content-Type"), "text/xml; charset=\"utf-8\"");
}

// Every body goes after its declared length in pieces of at most 32 KiB, none
// whole in one call that the Internet client could repeat by itself.
TEST_F(Exchange, BodiesGoInDeclaredPiecesOfAtMost32KiB) {
  std::vector<std::pair<int32_t, int32_t>> progress;
  transport_.OnPostingData = [&](int32_t sent, int32_t total) {
    progress.emplace_back(sent, total);
  };
  for (size_t size : {size_t{32768}, size_t{32769}}) {
    Sim().ClearRequests();
    progress.clear();
    std::string body(size, 'a');
    for (size_t i = 0; i < size; ++i)
      body[i] = static_cast<char>('a' + i % 26);
    body.back() = '!';
    Post(body);
    const RecordedRequest request = OnlyRequest();
    EXPECT_EQ(request.contentLength, static_cast<long long>(size));
    EXPECT_FALSE(request.chunked);
    EXPECT_TRUE(request.body == body) << "body of " << size << " bytes differs";
    if (size == 32768)
      EXPECT_EQ(progress, (std::vector<std::pair<int32_t, int32_t>>{{32768, 32768}}));
    else
      EXPECT_EQ(progress,
                (std::vector<std::pair<int32_t, int32_t>>{{32768, 32769}, {32769, 32769}}));
  }
}

TEST_F(Exchange, StatusErrorsRaiseWithTheStatusButSoapFaultsPass) {
  Sim().Script(R"([{"status": 500, "body": "<fault/>", "content_type": "text/xml"},
                   {"status": 404, "reason": "Not Found", "body": "gone"},
                   {"status": 418, "reason": "Teapot Trouble"}])");
  EXPECT_EQ(Post("x"), "<fault/>");

  const std::string url = Sim().BaseUrl() + std::string(kPath);
  auto raised = RaisedBy([&] { Post("x"); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(MessageOf(*raised), "Not Found (404) - '" + url + "'");
  EXPECT_EQ(raised->StatusCode(), 404);
  EXPECT_FALSE(transport_.Connected());

  raised = RaisedBy([&] { Post("x"); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(MessageOf(*raised), "Teapot Trouble (418) - '" + url + "'");
  EXPECT_EQ(raised->StatusCode(), 418);
}

TEST_F(Exchange, PlainTextAndHtmlAreReadThenRefusedOtherTypesPass) {
  Sim().Script(R"([{"body": "<html>page</html>", "content_type": "text/html"},
                   {"body": "plain", "content_type": "TEXT/PLAIN"},
                   {"body": "<html/>", "content_type": "text/html; charset=utf-8"},
                   {"body": "<none/>", "content_type": null}])");
  std::string response;
  auto raised = RaisedBy([&] { transport_.Execute("x", response); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(MessageOf(*raised), "Received content of invalid Content-Type setting: text/html - "
                                "SOAP expects \"text/xml\"");
  EXPECT_EQ(response, "<html>page</html>");
  EXPECT_TRUE(RaisedBy([&] { Post("x"); }));
  EXPECT_EQ(Post("x"), "<html/>");
  EXPECT_EQ(Post("x"), "<none/>");
  EXPECT_TRUE(transport_.ContentType().empty());
}

TEST_F(Exchange, EmptyActionGoesAsTwoQuotesOrEmptyOrNotAtAll) {
  transport_.BeforeExecute(u"");
  Post("x");
  EXPECT_EQ(OnlyRequest().Header("SOAPAction"), "\"\"");

  Sim().ClearRequests();
  transport_.InvokeOptions.set(soNoValueForEmptySOAPAction);
  Post("x");
  EXPECT_EQ(OnlyRequest().Header("SOAPAction"), "");

  Sim().ClearRequests();
  transport_.InvokeOptions.set(soNoSOAPActionHeader);
  Post("x");
  EXPECT_EQ(OnlyRequest().Header("SOAPAction"), std::nullopt);
}

TEST_F(Exchange, AuthenticationRequestEndsAsTheStatusErrorWithOneSend) {
  Sim().Script(R"({"status": 401, "reason": "Unauthorized", "content_type": "text/html",
                   "headers": {"WWW-Authenticate": "Basic realm=\"sms\""}, "body": "<html/>"})");
  const auto raised = RaisedBy([&] { Post("x"); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(raised->Message(), u"Unauthorized (401) - '" + Url() + u"'");
  EXPECT_EQ(raised->StatusCode(), 401);
  EXPECT_EQ(Sim().Requests().size(), 1u);
}

TEST_F(Exchange, ErrorHookResendsOnlyOnRequestAndAtMostThreeTimesInARow) {
  Sim().Script(R"({"body": "answer", "count": 10})");
  int calls = 0;
  transport_.OnWinInetError = [&](DWORD, HINTERNET) -> DWORD {
    ++calls;
    return ERROR_INTERNET_FORCE_RETRY;
  };
  EXPECT_EQ(Post("x"), "answer");
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(Sim().Requests().size(), 4u);

  Sim().ClearRequests();
  transport_.OnWinInetError = [](DWORD, HINTERNET) -> DWORD { return 0xFFFFFFFF; };
  EXPECT_EQ(Post("x"), "answer");
  EXPECT_EQ(Sim().Requests().size(), 1u);
}

TEST_F(Exchange, RefusedConnectionRaisesThePlatformTextWithUrlAndAction) {
  THTTPReqResp transport;
  const std::string url = "https://127.0.0.1:" + std::to_string(ClosedPort()) + "/x.asmx";
  Prepare(transport, Utf8ToUtf16(url));
  transport.BeforeExecute(u"");
  const auto raised = RaisedBy([&] { Post(transport, "x"); });
  ASSERT_TRUE(raised);
  // The first part is the platform's text for the code; Wine words it its own way.
  const std::string text = RunningUnderWine()
                               ? "The attempt to connect to the server failed."
                               : "A connection with the server could not be established.";
  EXPECT_EQ(MessageOf(*raised), text + " - URL:" + url + " - SOAPAction:\"\"");
  EXPECT_EQ(raised->StatusCode(), 0);
  EXPECT_FALSE(transport.Connected());
}

TEST_F(Exchange, SilentServerTimesOutUnderTheProcessWideReceiveTimeout) {
  if (RunningUnderWine())
    GTEST_SKIP() << "Wine's WinINet does not apply the process-wide receive time-out to new "
                    "requests";
  Sim().Script(R"({"delay": 3, "body": "late"})");
  SetInternetTimeouts(300);
  const auto start = std::chrono::steady_clock::now();
  const auto raised = RaisedBy([&] { Post("x"); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  SetInternetTimeouts(600000);
  ASSERT_TRUE(raised);
  EXPECT_TRUE(MessageOf(*raised).starts_with("The operation timed out. - URL:"))
      << MessageOf(*raised);
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST_F(Exchange, TlsFailuresRaiseTheirOwnTexts) {
  if (RunningUnderWine())
    GTEST_SKIP() << "Wine's WinINet aborts the whole process after a failed TLS handshake";
  PlainReplyServer plain("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
  THTTPReqResp transport;
  Prepare(transport, Utf8ToUtf16("https://127.0.0.1:" + std::to_string(plain.Port()) + "/x"));
  auto raised = RaisedBy([&] { Post(transport, "x"); });
  ASSERT_TRUE(raised);
  EXPECT_TRUE(MessageOf(*raised).starts_with("A security error occurred. - URL:"))
      << MessageOf(*raised);

  // Verifying against the simulator's self-signed certificate.
  transport_.InvokeOptions.reset(soIgnoreInvalidCerts);
  raised = RaisedBy([&] { Post("x"); });
  ASSERT_TRUE(raised);
  EXPECT_TRUE(MessageOf(*raised).starts_with("The certificate authority is invalid or incorrect."))
      << MessageOf(*raised);
  EXPECT_TRUE(Sim().Requests().empty());
}

TEST_F(Exchange, BodyCutShortIsAFailureNotAShortAnswer) {
  Sim().Script(R"({"body": ")" + std::string(1000, 'x') + R"(", "close_after_bytes": 100})");
  if (RunningUnderWine()) {
    // Wine's WinINet ends the read quietly where the connection closed: the
    // answer comes back short, and only the SOAP reader can refuse it.
    EXPECT_LT(Post("x").size(), 1000u);
    return;
  }
  const auto raised = RaisedBy([&] { Post("x"); });
  ASSERT_TRUE(raised);
  EXPECT_TRUE(
      MessageOf(*raised).starts_with("The connection with the server was terminated abnormally."))
      << MessageOf(*raised);
}

TEST_F(Exchange, ConnectionIsReusedAfterSuccessAndReopenedAfterFailure) {
  Sim().Script(R"([{"body": "1"}, {"body": "2"}, {"status": 404, "reason": "Not Found"},
                   {"body": "4"}])");
  Post("x");
  Post("x");
  EXPECT_TRUE(transport_.Connected());
  EXPECT_TRUE(RaisedBy([&] { Post("x"); }));
  EXPECT_FALSE(transport_.Connected());
  Post("x");
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].connection, requests[1].connection);
  EXPECT_EQ(requests[1].connection, requests[2].connection);
  // WinINet keeps connections in a pool of the process, so new handles may
  // take up the same connection again; the transport's own handles are new.
  if (!RunningUnderWine()) {
    EXPECT_NE(requests[2].connection, requests[3].connection);
  }
}

TEST_F(Exchange, BuiltInHostsAreReachedThroughTheConfiguredOrANamedProxy) {
  const std::u16string url = u"https://gateway.tellavo.example/GetOriginators/GetOriginators.asmx";
  // Repeatable, as the queries are: Wine's client starts a request in pieces
  // on a new tunnel without the tunnel, and such a request then goes whole.
  {
    ScopedProxyEnvironment environment(Sim());
    THTTPReqResp transport;
    Prepare(transport, url);
    transport.Repeatable = true;
    Sim().Script(R"({"body": "via environment"})");
    EXPECT_EQ(Post(transport, "x"), "via environment");
  }
  THTTPReqResp transport;
  Prepare(transport, url);
  transport.Repeatable = true;
  transport.Proxy = Utf8ToUtf16("127.0.0.1:" + std::to_string(Sim().Port()));
  Sim().Script(R"({"body": "via named proxy"})");
  EXPECT_EQ(Post(transport, "x"), "via named proxy");

  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const RecordedRequest& request : requests) {
    EXPECT_TRUE(request.viaProxy);
    EXPECT_EQ(request.connectTarget, "gateway.tellavo.example:443");
    EXPECT_EQ(request.Header("Host"), "gateway.tellavo.example");
  }
}

TEST_F(Exchange, LargeResponseIsReadWhole) {
  const std::string body(3 * 1024 * 1024 + 17, 'y');
  Sim().Script(R"({"body": ")" + body + R"("})");
  int64_t reported = 0;
  transport_.OnReceivingData = [&](int32_t, int32_t read) { reported += read; };
  EXPECT_TRUE(Post("x") == body);
  EXPECT_EQ(reported, static_cast<int64_t>(body.size()));
}

} // namespace
} // namespace tellavo::test
