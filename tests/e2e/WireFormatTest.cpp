// What goes over the wire: the request envelope byte for byte, the headers,
// and bodies larger than one write.
#include "GatewayModule.h"
#include "common/Utf.h"
#include "support/Wine.h"

namespace tellavo::test {
namespace {

using WireFormatTest = GatewayTest;

const std::string kNamespace = "http://ws.tellavo.example/";

// The element part of a request envelope for `operation` with `argument`
// (already escaped).
std::string Envelope(const std::string& operation, const std::string& argument) {
  return "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body><" +
         operation + " xmlns=\"" + kNamespace + "\"><xml>" + argument + "</xml></" + operation +
         "></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// The body less its XML declaration and the whitespace around the envelope;
// under Wine also less the layout that its DOM adds.
std::string ElementPart(const std::string& body) {
  EXPECT_TRUE(body.starts_with("<?xml version=\"1.0\"?>")) << body.substr(0, 60);
  const size_t start = body.find("<SOAP-ENV:Envelope");
  const size_t end = body.rfind('>');
  EXPECT_NE(start, std::string::npos);
  for (size_t i = body.find("?>") + 2; i < start; ++i)
    EXPECT_TRUE(std::isspace(static_cast<unsigned char>(body[i])));
  const std::string element = body.substr(start, end + 1 - start);
  return RunningUnderWine() ? WithoutWineLayout(element) : element;
}

TEST_F(WireFormatTest, GetInfoEnvelopeAndHeaders) {
  GetInfo(u"ali", u"", u"7");
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  const RecordedRequest& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, "/GetOriginators/GetOriginators.asmx");
  EXPECT_EQ(request.host, "gateway.tellavo.example");
  EXPECT_TRUE(request.tls);
  EXPECT_EQ(request.connectTarget, "gateway.tellavo.example:443");
  EXPECT_EQ(request.Header("SOAPAction"), "\"" + kNamespace + "getOriginators\"");
  EXPECT_EQ(request.Header("Content-Type"), "text/xml; charset=\"utf-8\"");
  EXPECT_EQ(request.Header("User-Agent"), "Tellavo SOAP 1.2");
  EXPECT_FALSE(request.chunked);
  EXPECT_FALSE(request.Header("Expect"));
  EXPECT_EQ(request.contentLength, static_cast<long long>(request.body.size()));
  EXPECT_EQ(ElementPart(request.body),
            Envelope("getOriginators",
                     "&lt;?xml version=\"1.0\" encoding=\"utf-8\" ?&gt;&lt;GETORIGINATORS&gt;"
                     "&lt;USERNAME&gt;ali&lt;/USERNAME&gt;&lt;PASSWORD&gt;&lt;/PASSWORD&gt;"
                     "&lt;VENDOR_ID&gt;7&lt;/VENDOR_ID&gt;&lt;/GETORIGINATORS&gt;"));
}

TEST_F(WireFormatTest, EachServiceHasItsActionAndEndpoint) {
  GetMsgStatus(kUser, kPassword, u"5", kVendor);
  GetMsgStatusToDate(kUser, kPassword, u"1", u"2", kVendor);
  Queue(u"x", u"1");
  SendSms(kPrepaidUser, kPassword, u"PREPAID");
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 4u);
  const std::pair<std::string, std::string> expected[] = {
      {"/GetStatus/GetStatus.asmx", "getStatus"},
      {"/GetReport2Date/GetReport2Date.asmx", "getReport2Date"},
      {"/GetOriginators/GetOriginators.asmx", "getOriginators"},
      {"/SendSMSPrepaid/SendSMS.asmx", "sendSMS"}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(requests[i].path, expected[i].first);
    EXPECT_EQ(requests[i].Header("SOAPAction"), "\"" + kNamespace + expected[i].second + "\"");
    EXPECT_NE(requests[i].body.find("<" + expected[i].second + " xmlns=\"" + kNamespace + "\">"),
              std::string::npos);
  }
  EXPECT_EQ(requests[0].host, "report.tellavo.example");
  EXPECT_EQ(requests[1].host, "report.tellavo.example");
  EXPECT_NE(requests[0].body.find("&lt;VENDOR_ID&gt;42&lt;/VENDOR_ID&gt;&lt;MSGID&gt;5"),
            std::string::npos);
}

TEST_F(WireFormatTest, NonAsciiTravelsAsUtf8WithoutByteOrderMark) {
  Queue(u"Öğle yemeği çok güzeldi \U0001F600", u"5550000001");
  SendSms(kUser, kPassword, u"TELLAVO");
  const std::string body = Sim().Requests().back().body;
  EXPECT_FALSE(body.starts_with("\xEF\xBB\xBF"));
  EXPECT_NE(body.find(Utf16ToUtf8(u"\u00D6gle yemegi cok g\u00FCzeldi \U0001F600")),
            std::string::npos);
  EXPECT_EQ(body.find("&#"), std::string::npos);
}

TEST_F(WireFormatTest, LargeBasketIsDeclaredInFullAndArrivesIntact) {
  for (int i = 0; i < 150; ++i) {
    const std::u16string text = u"Uzun mesaj " + std::u16string(590, u'a' + i % 26);
    Queue(text, u"555" + std::u16string(7, u'0' + i % 10));
  }
  const auto sent = SendSmsConcat(kUser, kPassword, u"TELLAVO");
  EXPECT_FALSE(sent.retvalue.empty());
  EXPECT_NE(sent.retvalue, u"-1");
  const auto request = Sim().Requests().back();
  EXPECT_GT(request.body.size(), 32768u * 2);
  EXPECT_EQ(request.contentLength, static_cast<long long>(request.body.size()));
  EXPECT_FALSE(request.chunked);
  EXPECT_TRUE(request.body.ends_with("</SOAP-ENV:Envelope>\r\n"));
}

} // namespace
} // namespace tellavo::test
