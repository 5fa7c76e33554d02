#include <gtest/gtest.h>

#include "common/Utf.h"
#include "services/GetOriginatorsWebService.h"
#include "services/GetStatusWebService.h"
#include "services/SendSMSPrepaidWebService.h"
#include "services/SendSMSWebService.h"
#include "services/ServiceBindings.h"
#include "services/ServiceConfig.h"
#include "support/Wine.h"
#include "xml/XMLDoc.h"

using namespace tellavo;

namespace {

struct StopBeforeSending {};

const std::string kDeclaration = R"(<?xml version="1.0"?>)";
const std::string kEnvelopeStart =
    R"(<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/")"
    R"( xmlns:xsd="http://www.w3.org/2001/XMLSchema")"
    R"( xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><SOAP-ENV:Body>)";
const std::string kEnvelopeEnd = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";

class Request : public ::testing::Test {
protected:
  void SetUp() override { RegisterServiceBindings(); }

  // The request bytes that a call on the proxy of `portType` would send, and
  // the operation name and SOAP action it would use; the call stops just
  // before the exchange.
  template <class PortType, class Call> std::string Capture(const PortType& portType, Call call) {
    THTTPRIO& rio = *static_cast<THTTPRIO*>(portType.template Query<IUnknown>(IID_IUnknown).Get());
    std::string request;
    rio.OnBeforeExecute = [&](std::u16string_view method, std::string& bytes) {
      request = bytes;
      method_ = method;
      action_ = rio.HTTPWebNode().SOAPAction();
      throw StopBeforeSending{};
    };
    EXPECT_THROW(call(), StopBeforeSending);
    return request;
  }

  std::u16string method_;
  std::u16string action_;
};

// The declaration must be exactly version 1.0; whitespace may surround the
// envelope. Answers the envelope's text; under Wine, whose DOM indents and
// repeats in-scope declarations, without those.
std::string ElementPart(const std::string& request) {
  EXPECT_EQ(request.substr(0, kDeclaration.size()), kDeclaration);
  const size_t begin = request.find_first_not_of(" \r\n\t", kDeclaration.size());
  const size_t end = request.find_last_not_of(" \r\n\t") + 1;
  const std::string element = request.substr(begin, end - begin);
  return test::RunningUnderWine() ? test::WithoutWineLayout(element) : element;
}

std::string Wrapped(std::string_view operation, std::string_view content) {
  return kEnvelopeStart + "<" + std::string(operation) + " xmlns=\"" +
         Utf16ToUtf8(ServiceNamespace) + "\">" + std::string(content) + "</" +
         std::string(operation) + ">" + kEnvelopeEnd;
}

// What a parser reads back as the argument from a request.
std::u16string ArgumentOf(const std::string& request) {
  TXMLDocument document;
  document.LoadFromStream(request);
  return document.DocumentElement().ChildNodes()[0].ChildNodes()[0].ChildNodes()[0].Text();
}

} // namespace

TEST_F(Request, EnvelopeIsExactAndEscapesText) {
  const auto status = GetStatusProxy();
  const std::string request = Capture(status, [&] { status->getStatus(u"a<b&c"); });
  EXPECT_EQ(ElementPart(request), Wrapped("getStatus", "<xml>a&lt;b&amp;c</xml>"));
  EXPECT_EQ(method_, u"getStatus");
  EXPECT_EQ(action_, std::u16string(ServiceNamespace) + u"getStatus");
}

TEST_F(Request, RequestDocumentIsCarriedAsText) {
  const std::u16string document =
      u"<?xml version=\"1.0\" encoding=\"utf-8\"?><GETORIGINATORS><USERNAME>a&amp;b</USERNAME>"
      u"<PASSWORD>'p\"w'</PASSWORD></GETORIGINATORS>";
  const auto originators = GetOriginatorsProxy();
  const std::string request = Capture(originators, [&] { originators->getOriginators(document); });
  EXPECT_EQ(ElementPart(request),
            Wrapped("getOriginators",
                    "<xml>&lt;?xml version=\"1.0\" encoding=\"utf-8\"?&gt;&lt;GETORIGINATORS&gt;"
                    "&lt;USERNAME&gt;a&amp;amp;b&lt;/USERNAME&gt;&lt;PASSWORD&gt;'p\"w'"
                    "&lt;/PASSWORD&gt;&lt;/GETORIGINATORS&gt;</xml>"));
  EXPECT_EQ(action_, std::u16string(ServiceNamespace) + u"getOriginators");
}

TEST_F(Request, EmptyArgumentStillWritesTheParameter) {
  const auto status = GetStatusProxy();
  const std::string element = ElementPart(Capture(status, [&] { status->getStatus(u""); }));
  EXPECT_TRUE(element == Wrapped("getStatus", "<xml></xml>") ||
              element == Wrapped("getStatus", "<xml/>"))
      << element;
}

TEST_F(Request, NonAsciiIsUtf8AndEveryCharacterReadsBack) {
  const std::u16string argument = u"\u00e7\u20ac\U0001F600 tab\there\r\nline ]]> \"q\" 'a' &#65;";
  const auto status = GetStatusProxy();
  const std::string request = Capture(status, [&] { status->getStatus(argument); });
  EXPECT_EQ(request.rfind("<?xml", 0), 0u) << "byte-order mark or leading bytes";
  EXPECT_NE(request.find("\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80"), std::string::npos);
  EXPECT_EQ(request.find("&#x"), std::string::npos);
  EXPECT_EQ(ArgumentOf(request), argument);
}

TEST_F(Request, TwoCallsOnOneProxyWriteIndependentEnvelopes) {
  const auto status = GetStatusProxy();
  const std::string first = Capture(status, [&] { status->getStatus(u"one"); });
  const std::string second = Capture(status, [&] { status->getStatus(u"two"); });
  EXPECT_EQ(ElementPart(first), Wrapped("getStatus", "<xml>one</xml>"));
  EXPECT_EQ(ElementPart(second), Wrapped("getStatus", "<xml>two</xml>"));
}

TEST_F(Request, SendingOperationsDifferOnlyInWrapperActionAndEndpoint) {
  const auto prepaid = SendSMSPrepaidProxy();
  const auto regular = SendSMSProxy();
  const std::string sms = Capture(prepaid, [&] { prepaid->sendSMS(u"m"); });
  EXPECT_EQ(action_, std::u16string(ServiceNamespace) + u"sendSMS");
  const std::string concat = Capture(prepaid, [&] { prepaid->sendConcat(u"m"); });
  EXPECT_EQ(action_, std::u16string(ServiceNamespace) + u"sendConcat");
  EXPECT_EQ(method_, u"sendConcat");
  const std::string regularConcat = Capture(regular, [&] { regular->sendConcat(u"m"); });
  EXPECT_EQ(action_, std::u16string(ServiceNamespace) + u"sendConcat");

  EXPECT_EQ(ElementPart(sms), Wrapped("sendSMS", "<xml>m</xml>"));
  EXPECT_EQ(ElementPart(concat), Wrapped("sendConcat", "<xml>m</xml>"));
  EXPECT_EQ(regularConcat, concat);
}

TEST_F(Request, OnlyWrappedDocumentStyleIsWritten) {
  TOPToSoapDomConvert converter;
  const TIntfMetaData& portType = GetStatusBinding().SoapPortType();
  std::u16string args[] = {u"x"};
  EXPECT_THROW(converter.MakeRequest(portType, portType.methods[0], args), Exception);
  converter.SetOptions(
      TSOAPConvertOptions{TSOAPConvertOption::soDocument, TSOAPConvertOption::soLiteralParams});
  EXPECT_THROW(converter.MakeRequest(portType, portType.methods[0], args), Exception);
}
