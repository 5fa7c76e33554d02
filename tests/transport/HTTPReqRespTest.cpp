// The transport's settings and what it derives from them, before any
// network activity.
#include <gtest/gtest.h>

#include <vector>

#include "TransportTestSupport.h"
#include "support/Wine.h"
#include "transport/HTTPReqResp.h"

namespace tellavo::test {
namespace {

TEST(HTTPReqRespUrl, OnlyHttpAndHttpsAreAcceptedAndARefusedUrlChangesNothing) {
  THTTPReqResp transport;
  transport.SetURL(u"https://gateway.example/GetOriginators/GetOriginators.asmx");
  std::vector<const char16_t*> refused{u"ftp://gateway.example/file", u"not a url"};
  // Wine's URL splitter wraps a port above 65535 round (99999 becomes 34463)
  // instead of refusing it.
  if (!RunningUnderWine())
    refused.push_back(u"http://host:99999/");
  for (const char16_t* url : refused) {
    const auto raised = RaisedBy([&] { transport.SetURL(url); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->Message(), u"Invalid url '" + std::u16string(url) +
                                     u"' - only supports 'http' and 'https' schemes");
    EXPECT_EQ(raised->StatusCode(), 0);
  }
  EXPECT_EQ(transport.URL(), u"https://gateway.example/GetOriginators/GetOriginators.asmx");
}

TEST(HTTPReqRespUrl, BeforeExecuteNeedsAUrlAndTakesTheAction) {
  THTTPReqResp transport;
  const auto raised = RaisedBy([&] { transport.BeforeExecute(u"urn:x"); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(MessageOf(*raised),
            "No WSDL or URL property was set in the THTTPRIO component. You must set the WSDL or "
            "URL property before invoking the Web Service");

  transport.SetURL(u"http://host/a");
  transport.BeforeExecute(u"http://ws.tellavo.example/getOriginators");
  EXPECT_EQ(transport.SOAPAction(), u"http://ws.tellavo.example/getOriginators");
  // An empty URL takes the endpoint away again.
  transport.SetURL(u"");
  EXPECT_TRUE(RaisedBy([&] { transport.BeforeExecute(u"urn:x"); }));
}

TEST(HTTPReqRespHeaders, SoapActionLineQuotesTheActionOrSendsItEmpty) {
  THTTPReqResp transport;
  transport.SetSOAPAction(u"http://ws.tellavo.example/sendSMS");
  EXPECT_EQ(transport.SOAPActionHeader(), u"SOAPAction: \"http://ws.tellavo.example/sendSMS\"");
  transport.SetSOAPAction(u"");
  EXPECT_EQ(transport.SOAPActionHeader(), u"SOAPAction: \"\"");
  transport.InvokeOptions.set(soNoValueForEmptySOAPAction);
  EXPECT_EQ(transport.SOAPActionHeader(), u"SOAPAction:");
}

TEST(HTTPReqRespFlags, CertificateBitsOnlyForHttpsWhenInvalidCertificatesAreIgnored) {
  THTTPReqResp transport;
  transport.InvokeOptions.set(soIgnoreInvalidCerts);
  transport.SetURL(u"https://gateway.example/x.asmx");
  EXPECT_EQ(transport.RequestFlags(), 0x4c03100u);
  transport.SetURL(u"http://gateway.example/x.asmx");
  EXPECT_EQ(transport.RequestFlags(), 0x4400000u);
  transport.InvokeOptions.reset(soIgnoreInvalidCerts);
  transport.SetURL(u"https://gateway.example/x.asmx");
  EXPECT_EQ(transport.RequestFlags(), 0x4c00000u);
}

} // namespace
} // namespace tellavo::test
