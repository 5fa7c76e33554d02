#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "common/Utf.h"
#include "services/SOAPConvert.h"
#include "support/Wine.h"

using namespace tellavo;

namespace {

const std::string kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";

std::string Envelope(const std::string& parts, const std::string& prefix = "soap",
                     const std::string& envelopeNamespace = kSoap11) {
  const std::string p = prefix.empty() ? "" : prefix + ":";
  const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<" + p + "Envelope " + declaration + "=\"" +
         envelopeNamespace + "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">" + parts +
         "</" + p + "Envelope>";
}

std::string Body(const std::string& content) {
  return Envelope("<soap:Body>" + content + "</soap:Body>");
}

std::string Response(const std::string& content) {
  return Body("<getStatusResponse xmlns=\"http://ws.tellavo.example/\">" + content +
              "</getStatusResponse>");
}

// Text that holds written XML as Windows' DOM writes it: under Wine the DOM
// also indents and repeats in-scope declarations, which this drops again.
std::u16string AsWritten(const std::u16string& text) {
  return test::RunningUnderWine() ? Utf8ToUtf16(test::WithoutWineLayout(Utf16ToUtf8(text))) : text;
}

std::u16string Read(const std::string& bytes) {
  return TOPToSoapDomConvert().ProcessResponse(bytes);
}

template <class E> std::u16string FailureOf(const std::string& bytes) {
  try {
    Read(bytes);
  } catch (const E& error) {
    return error.Message();
  }
  ADD_FAILURE() << "no exception of the expected class";
  return {};
}

ERemotableException FaultOf(const std::string& bytes) {
  try {
    Read(bytes);
  } catch (const ERemotableException& fault) {
    return fault;
  }
  ADD_FAILURE() << "no fault raised";
  return ERemotableException(u"");
}

} // namespace

TEST(Response, EnvelopePrefixIsFree) {
  const std::string content = "<Body><r><getStatusResult>x</getStatusResult></r></Body>";
  for (const std::string prefix : {"soap", "s", "SOAP-ENV", ""}) {
    std::string parts = content;
    if (!prefix.empty())
      parts =
          "<" + prefix + ":Body><r><getStatusResult>x</getStatusResult></r></" + prefix + ":Body>";
    EXPECT_EQ(Read(Envelope(parts, prefix)), u"x") << prefix;
  }
}

TEST(Response, NotASoap11Envelope) {
  EXPECT_EQ(FailureOf<ESOAPDomConvertError>(
                Envelope("<soap:Body/>", "soap", "http://www.w3.org/2003/05/soap-envelope")),
            u"DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope expected, "
            u"http://www.w3.org/2003/05/soap-envelope:Envelope found");
  EXPECT_EQ(FailureOf<ESOAPDomConvertError>("<html><body><p>Error</p></body></html>"),
            u"DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope expected, "
            u":html found");
  EXPECT_EQ(FailureOf<ESOAPDomConvertError>("<soap:envelope xmlns:soap=\"" + kSoap11 +
                                            "\"><soap:Body/></soap:envelope>"),
            u"DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope expected, "
            u"http://schemas.xmlsoap.org/soap/envelope/:envelope found");
  EXPECT_THROW(Read(""), EDOMParseError);
  EXPECT_THROW(Read("<html><body><br></body></html>"), EDOMParseError);
}

TEST(Response, MalformedEnvelopes) {
  EXPECT_EQ(FailureOf<ESOAPDomConvertError>(Envelope("")), u"Invalid SOAP request");
  EXPECT_EQ(FailureOf<ESOAPDomConvertError>(Envelope("<soap:Body/><soap:Body/>")),
            u"Invalid SOAP response");
  EXPECT_EQ(FailureOf<ESOAPDomConvertError>(
                Envelope("<soap:Header/><soap:Body><r><x>1</x></r></soap:Body><soap:Header/>")),
            u"Invalid SOAP response");
}

TEST(Response, SingleChildOfAnyNameIsTheResult) {
  EXPECT_EQ(Read(Response("<getStatusResult>&lt;A&gt;1&lt;/A&gt;</getStatusResult>")), u"<A>1</A>");
  EXPECT_EQ(Read(Response("<anything>\xC3\xA7\xE2\x82\xAC &#x41;</anything>")), u"\u00e7\u20ac A");
  EXPECT_EQ(Read(Response("<r><A>1</A><B>2</B></r>")), u"<A>1</A><B>2</B>");
  // CDATA sections are character data like any text, not markup.
  EXPECT_EQ(Read(Response("<r><![CDATA[<x>]]></r>")), u"<x>");
  EXPECT_EQ(Read(Response("<r>a&amp;<![CDATA[<b>]]>c</r>")), u"a&<b>c");
}

TEST(Response, EmptyOrNilResultIsEmpty) {
  EXPECT_EQ(Read(Response("<getStatusResult/>")), u"");
  EXPECT_EQ(Read(Response("<getStatusResult xsi:nil=\"true\"/>")), u"");
  EXPECT_EQ(Read(Response("<getStatusResult xsi:nil=\"1\">kept</getStatusResult>")), u"kept");
}

TEST(Response, ChoosingAmongSeveralChildren) {
  EXPECT_EQ(Read(Response("<Extra>e</Extra><Result>r</Result>")), u"r");
  EXPECT_EQ(Read(Response("<Extra>e</Extra><return>r</return><Result>s</Result>")), u"r");

  const std::u16string prefix =
      u"SOAP Response Packet: element matching function return not found, received \"";
  const std::u16string twoOthers =
      AsWritten(FailureOf<ESOAPDomConvertError>(Response("<Extra>e</Extra><Other>o</Other>")));
  EXPECT_EQ(twoOthers.substr(0, prefix.size()), prefix);
  EXPECT_NE(twoOthers.find(u"<Extra>e</Extra><Other>o</Other></getStatusResponse>\""),
            std::u16string::npos)
      << std::string(twoOthers.begin(), twoOthers.end());

  const std::u16string none = FailureOf<ESOAPDomConvertError>(Response(""));
  EXPECT_EQ(none.substr(0, prefix.size() + 18), prefix + u"<getStatusResponse");
}

TEST(Response, ReferencesAreFollowed) {
  const std::string response =
      "<r><Result href=\"#id1\"/><Extra/></r><multiRef id=\"id1\">referenced</multiRef>";
  EXPECT_EQ(Read(Body(response)), u"referenced");
  EXPECT_EQ(Read(Body("<r><Result href=\"#none\">own</Result><Extra/></r>")), u"own");
}

TEST(Response, FaultBecomesRemotableException) {
  const ERemotableException fault = FaultOf(
      Body("<soap:Fault><faultcode>soap:Client</faultcode><faultstring>Bad input</faultstring>"
           "<faultactor>urn:actor</faultactor><detail><reason code=\"7\">x</reason></detail>"
           "</soap:Fault>"));
  EXPECT_EQ(fault.Message(), u"Bad input");
  EXPECT_EQ(fault.FaultCode(), u"soap:Client");
  EXPECT_EQ(fault.FaultActor(), u"urn:actor");
  EXPECT_EQ(AsWritten(fault.FaultDetail()), u"<detail><reason code=\"7\">x</reason></detail>");
  EXPECT_EQ(fault.ReportText(), u"ERemotableException Bad input");

  // Parts are found whatever their case; missing ones stay empty.
  const ERemotableException bare =
      FaultOf(Body("<soap:Fault><FaultCode><![CDATA[soap:Server]]></FaultCode></soap:Fault>"));
  EXPECT_EQ(bare.Message(), u"");
  EXPECT_EQ(bare.FaultCode(), u"soap:Server");
  EXPECT_EQ(bare.FaultDetail(), u"");

  EXPECT_EQ(
      FailureOf<EXMLDocError>(Body("<soap:Fault><faultstring><b>x</b></faultstring></soap:Fault>")),
      u"Element does not contain a single text node");
}

TEST(Response, FaultOnlyCountsAsFirstBodyElement) {
  EXPECT_EQ(Read(Body("<r><x>1</x></r><soap:Fault><faultstring>f</faultstring></soap:Fault>")),
            u"1");
}

TEST(Response, MustUnderstandOnlyWithoutPrefix) {
  const std::string body = "<soap:Body><r><x>1</x></r></soap:Body>";
  EXPECT_EQ(Read(Envelope("<soap:Header><h:Auth xmlns:h=\"urn:h\" soap:mustUnderstand=\"1\"/>"
                          "</soap:Header>" +
                          body)),
            u"1");
  EXPECT_EQ(Read(Envelope("<soap:Header><Auth mustUnderstand=\"0\"/></soap:Header>" + body)), u"1");
  for (const std::string value : {"1", "true", "TRUE"}) {
    const ERemotableException fault = FaultOf(
        Envelope("<soap:Header><Auth mustUnderstand=\"" + value + "\"/></soap:Header>" + body));
    EXPECT_EQ(fault.Message(),
              u"Soap header Auth with attribute 'mustUnderstand' set to true was not handled");
    EXPECT_EQ(fault.FaultCode(), u"MustUnderstand");
  }
  // A header after the body is still handled.
  EXPECT_THROW(Read(Envelope(body + "<soap:Header><Auth mustUnderstand=\"1\"/></soap:Header>")),
               ERemotableException);
}

TEST(Response, BodiesWithoutResponseElementYieldEmpty) {
  EXPECT_EQ(Read(Body("<!-- nothing -->")), u"");
  EXPECT_EQ(Read(Body("text only")), u"");
  EXPECT_EQ(Read(Envelope("<soap:body><r><x>1</x></r></soap:body>")), u"");
  EXPECT_EQ(Read(Envelope("<soap:Header/>")), u"");
}
