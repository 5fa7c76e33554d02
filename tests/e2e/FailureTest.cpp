// Every way an exchange can fail gives the method's result code, S_OK and
// exactly one event-log entry naming the failure.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "GatewayModule.h"

namespace tellavo::test {
namespace {

using FailureTest = GatewayTest;

const std::u16string kOriginatorsUrl =
    u"https://gateway.tellavo.example/GetOriginators/GetOriginators.asmx";
const std::u16string kOriginatorsAction = u"http://ws.tellavo.example/getOriginators";

// A listening socket on a free loopback port.
class Listener {
public:
  Listener() {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(socket_, 4);
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { Close(); }
  void Close() {
    if (socket_ >= 0)
      ::close(socket_);
    socket_ = -1;
  }
  int Socket() const { return socket_; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
  int socket_ = -1;
  int port_ = 0;
};

void ExpectMinusOne(const CallResult& result) {
  EXPECT_EQ(result.hr, S_OK);
  EXPECT_EQ(result.retvalue, u"-1");
}

TEST_F(FailureTest, UnreachableGatewayGivesMinusOneForEveryQuery) {
  Listener closed;
  const std::string url = closed.Url();
  closed.Close();
  ScopedProxyEnvironment nowhere(url);
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"-1");
  EXPECT_EQ(GetMsgStatus(kUser, kPassword, u"1", kVendor).retvalue, u"-1");
  EXPECT_EQ(GetMsgStatusToDate(kUser, kPassword, u"a", u"b", kVendor).retvalue, u"-1");
  Queue(u"x", u"1");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-1");
  const auto texts = EventTexts();
  ASSERT_EQ(texts.size(), 4u);
  for (const auto& text : texts) {
    EXPECT_TRUE(text.starts_with(u"ESOAPHTTPException ")) << std::string(text.begin(), text.end());
    EXPECT_NE(text.find(u" - URL:https://"), std::u16string::npos);
  }
  EXPECT_NE(texts[0].find(u" - URL:" + kOriginatorsUrl + u" - SOAPAction:" + kOriginatorsAction),
            std::u16string::npos);
}

TEST_F(FailureTest, TlsFailureIsAnHttpException) {
  Listener notTls;
  std::thread server([&] {
    const int client = ::accept(notTls.Socket(), nullptr, nullptr);
    char buffer[4096];
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::read(client, buffer, sizeof buffer);
      if (n <= 0)
        break;
      request.append(buffer, static_cast<size_t>(n));
    }
    const std::string answer =
        "HTTP/1.1 200 Connection established\r\n\r\nthis is not a TLS server\r\n";
    ::write(client, answer.data(), answer.size());
    ::close(client);
  });
  ScopedProxyEnvironment proxy(notTls.Url());
  const auto result = GetInfo(kUser, kPassword, kVendor);
  server.join();
  EXPECT_EQ(result.retvalue, u"-1");
  const auto text = OnlyEventText();
  EXPECT_TRUE(text.starts_with(u"ESOAPHTTPException ")) << std::string(text.begin(), text.end());
  EXPECT_TRUE(
      text.ends_with(u" - URL:" + kOriginatorsUrl + u" - SOAPAction:" + kOriginatorsAction));
}

TEST_F(FailureTest, HttpErrorStatusNamesStatusTextAndUrl) {
  ScriptAnswer(
      R"({"status": 404, "reason": "Not Found", "content_type": "text/html", "body": "<html/>"})");
  ExpectMinusOne(GetInfo(kUser, kPassword, kVendor));
  EXPECT_EQ(OnlyEventText(), u"ESOAPHTTPException Not Found (404) - '" + kOriginatorsUrl + u"'");
}

TEST_F(FailureTest, SoapFaultIsARemotableException) {
  ScriptAnswer(
      R"({"fault": {"code": "soap:Client", "string": "Bad input", "detail_xml": "<e>1</e>"}})");
  ExpectMinusOne(GetMsgStatus(kUser, kPassword, u"1", kVendor));
  EXPECT_EQ(OnlyEventText(), u"ERemotableException Bad input");
}

TEST_F(FailureTest, MalformedEnvelopesAreConvertErrors) {
  ScriptAnswer(R"({"envelope": "soap12"})");
  ExpectMinusOne(GetInfo(kUser, kPassword, kVendor));
  EXPECT_EQ(
      OnlyEventText(),
      u"ESOAPDomConvertError DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope "
      u"expected, http://www.w3.org/2003/05/soap-envelope:Envelope found");

  events_.clear();
  ScriptAnswer(R"({"envelope": "two_bodies"})");
  ExpectMinusOne(GetInfo(kUser, kPassword, kVendor));
  EXPECT_EQ(OnlyEventText(), u"ESOAPDomConvertError Invalid SOAP response");

  events_.clear();
  ScriptAnswer(R"({"envelope": "must_understand"})");
  const auto result = GetInfo(kUser, kPassword, kVendor);
  EXPECT_EQ(result.retvalue, u"-1");
  const auto text = OnlyEventText();
  EXPECT_TRUE(text.starts_with(u"ERemotableException Soap header "))
      << std::string(text.begin(), text.end());
  EXPECT_TRUE(text.ends_with(u" with attribute 'mustUnderstand' set to true was not handled"));

  events_.clear();
  ScriptAnswer(R"({"body": "this is no envelope", "content_type": "text/xml"})");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"-1");
  EXPECT_TRUE(OnlyEventText().starts_with(u"EDOMParseError "));
}

TEST_F(FailureTest, WrongContentTypesAreRejectedButParametersPass) {
  ScriptAnswer(R"({"content_type": "text/html"})");
  ExpectMinusOne(GetInfo(kUser, kPassword, kVendor));
  EXPECT_EQ(OnlyEventText(), u"ESOAPHTTPException Received content of invalid Content-Type "
                             u"setting: text/html - SOAP expects \"text/xml\"");
  events_.clear();
  ScriptAnswer(R"({"content_type": "TEXT/PLAIN"})");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"-1");
  EXPECT_EQ(OnlyEventText(), u"ESOAPHTTPException Received content of invalid Content-Type "
                             u"setting: TEXT/PLAIN - SOAP expects \"text/xml\"");
  events_.clear();
  ScriptAnswer(R"({"content_type": "text/html; charset=utf-8"})");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  ScriptAnswer(R"({"content_type": null})");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  EXPECT_TRUE(events_.empty());
}

TEST_F(FailureTest, ConnectionClosedInTheMiddleOfTheBody) {
  ScriptAnswer(R"({"close_after_bytes": 40})");
  const auto result = GetInfo(kUser, kPassword, kVendor);
  EXPECT_EQ(result.retvalue, u"-1");
  const auto text = OnlyEventText();
  EXPECT_TRUE(text.starts_with(u"ESOAPHTTPException ")) << std::string(text.begin(), text.end());
}

TEST_F(FailureTest, NullRetvalueIsRefusedWithoutEffect) {
  EXPECT_EQ(Gateway().addtosmsbasket(Arg(u"x"), Arg(u"1"), nullptr), E_POINTER);
  EXPECT_EQ(Gateway().getinfo(Arg(kUser), Arg(kPassword), Arg(kVendor), nullptr), E_POINTER);
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-2") << "nothing was queued";
  EXPECT_TRUE(Sim().Requests().empty());
}

TEST_F(FailureTest, NullArgumentsAreEmptyStrings) {
  BSTR retvalue = nullptr;
  EXPECT_EQ(Gateway().addtosmsbasket(nullptr, nullptr, &retvalue), S_OK);
  EXPECT_EQ(Gateway().getinfo(nullptr, nullptr, nullptr, &retvalue), S_OK);
  SysFreeString(retvalue);
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(
      requests[0].body.find("&lt;USERNAME&gt;&lt;/USERNAME&gt;&lt;PASSWORD&gt;&lt;/PASSWORD&gt;"),
      std::string::npos);
}

} // namespace
} // namespace tellavo::test
