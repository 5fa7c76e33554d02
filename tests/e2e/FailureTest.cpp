// Every way an exchange can fail gives the method's result code, S_OK and
// exactly one event-log entry naming the failure.
#include "GatewayModule.h"
#include "common/Bstr.h"
#include "support/LoopbackServers.h"
#include "support/Wine.h"

namespace tellavo::test {
namespace {

using FailureTest = GatewayTest;

const std::u16string kOriginatorsUrl =
    u"https://gateway.tellavo.example/GetOriginators/GetOriginators.asmx";
const std::u16string kOriginatorsAction = u"http://ws.tellavo.example/getOriginators";

void ExpectMinusOne(const CallResult& result) {
  EXPECT_EQ(result.hr, S_OK);
  EXPECT_EQ(result.retvalue, u"-1");
}

TEST_F(FailureTest, UnreachableGatewayGivesMinusOneForEveryQuery) {
  ScopedProxyEnvironment nowhere("http://127.0.0.1:" + std::to_string(ClosedPort()));
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
  if (RunningUnderWine())
    GTEST_SKIP() << "Wine's WinINet aborts the whole process after a failed TLS handshake";
  PlainReplyServer notTls(
      "HTTP/1.1 200 Connection established\r\n\r\nthis is not a TLS server\r\n");
  ScopedProxyEnvironment proxy(notTls.Url());
  const auto result = GetInfo(kUser, kPassword, kVendor);
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

  ClearEvents();
  ScriptAnswer(R"({"envelope": "two_bodies"})");
  ExpectMinusOne(GetInfo(kUser, kPassword, kVendor));
  EXPECT_EQ(OnlyEventText(), u"ESOAPDomConvertError Invalid SOAP response");

  ClearEvents();
  ScriptAnswer(R"({"envelope": "must_understand"})");
  const auto result = GetInfo(kUser, kPassword, kVendor);
  EXPECT_EQ(result.retvalue, u"-1");
  const auto text = OnlyEventText();
  EXPECT_TRUE(text.starts_with(u"ERemotableException Soap header "))
      << std::string(text.begin(), text.end());
  EXPECT_TRUE(text.ends_with(u" with attribute 'mustUnderstand' set to true was not handled"));

  ClearEvents();
  ScriptAnswer(R"({"body": "this is no envelope", "content_type": "text/xml"})");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"-1");
  EXPECT_TRUE(OnlyEventText().starts_with(u"EDOMParseError "));
}

TEST_F(FailureTest, WrongContentTypesAreRejectedButParametersPass) {
  ScriptAnswer(R"({"content_type": "text/html"})");
  ExpectMinusOne(GetInfo(kUser, kPassword, kVendor));
  EXPECT_EQ(OnlyEventText(), u"ESOAPHTTPException Received content of invalid Content-Type "
                             u"setting: text/html - SOAP expects \"text/xml\"");
  ClearEvents();
  ScriptAnswer(R"({"content_type": "TEXT/PLAIN"})");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"-1");
  EXPECT_EQ(OnlyEventText(), u"ESOAPHTTPException Received content of invalid Content-Type "
                             u"setting: TEXT/PLAIN - SOAP expects \"text/xml\"");
  ClearEvents();
  ScriptAnswer(R"({"content_type": "text/html; charset=utf-8"})");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  ScriptAnswer(R"({"content_type": null})");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(FailureTest, ConnectionClosedInTheMiddleOfTheBody) {
  ScriptAnswer(R"({"close_after_bytes": 40})");
  const auto result = GetInfo(kUser, kPassword, kVendor);
  EXPECT_EQ(result.retvalue, u"-1");
  const auto text = OnlyEventText();
  // Wine's WinINet ends the read quietly where the connection closed, so the
  // cut envelope reaches the parser, which refuses it.
  const std::u16string failure = RunningUnderWine() ? u"EDOMParseError " : u"ESOAPHTTPException ";
  EXPECT_TRUE(text.starts_with(failure)) << std::string(text.begin(), text.end());
}

TEST_F(FailureTest, NullRetvalueIsRefusedWithoutEffect) {
  EXPECT_EQ(Gateway().addtosmsbasket(Arg(u"x"), Arg(u"1"), nullptr), E_POINTER);
  EXPECT_EQ(Gateway().getinfo(Arg(kUser), Arg(kPassword), Arg(kVendor), nullptr), E_POINTER);
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-2") << "nothing was queued";
  EXPECT_TRUE(Sim().Requests().empty());
}

TEST_F(FailureTest, NullArgumentsAreEmptyStrings) {
  BStr retvalue;
  EXPECT_EQ(Gateway().addtosmsbasket(nullptr, nullptr, retvalue.Out()), S_OK);
  EXPECT_EQ(Gateway().getinfo(nullptr, nullptr, nullptr, retvalue.Out()), S_OK);
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(
      requests[0].body.find("&lt;USERNAME&gt;&lt;/USERNAME&gt;&lt;PASSWORD&gt;&lt;/PASSWORD&gt;"),
      std::string::npos);
}

} // namespace
} // namespace tellavo::test
