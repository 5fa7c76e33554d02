#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "SoapClient.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {
namespace {

const std::string kOriginatorsPath = "/GetOriginators/GetOriginators.asmx";
const std::string kStatusPath = "/GetStatus/GetStatus.asmx";
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

std::string Credentials(const std::string& user, const std::string& password = "s3cret") {
  return "<USERNAME>" + user + "</USERNAME><PASSWORD>" + password +
         "</PASSWORD><VENDOR_ID>42</VENDOR_ID>";
}

std::string OriginatorsDocument(const std::string& user, const std::string& password = "s3cret") {
  return kDeclaration + "<GETORIGINATORS>" + Credentials(user, password) + "</GETORIGINATORS>";
}

std::string SendDocument(const std::string& root, const std::string& user,
                         const std::string& sender,
                         const std::vector<std::pair<std::string, std::string>>& messages) {
  std::string numbers, texts;
  for (const auto& [number, text] : messages) {
    numbers += "<DST_MSISDN>" + number + "</DST_MSISDN>";
    texts += "<CONTENT><CONTENT_TEXT>" + EscapeXmlText(text) + "</CONTENT_TEXT></CONTENT>";
  }
  return kDeclaration + "<" + root + ">" + Credentials(user) + "<SDATE></SDATE><VP>1710</VP>" +
         "<SENDER>" + sender + "</SENDER><TM_LIST><TM><DST_MSISDN_LIST>" + numbers +
         "</DST_MSISDN_LIST><CONTENT_LIST>" + texts + "</CONTENT_LIST></TM></TM_LIST></" + root +
         ">";
}

// The result element's content of a SOAP answer, still escaped.
std::string ResultText(const HttpAnswer& answer, const std::string& operation) {
  const std::string open = "<" + operation + "Result>", close = "</" + operation + "Result>";
  const size_t begin = answer.body.find(open), end = answer.body.find(close);
  if (begin == std::string::npos || end == std::string::npos)
    return "(no result in: " + answer.body + ")";
  return answer.body.substr(begin + open.size(), end - begin - open.size());
}

class Service : public SimulatorTest {
protected:
  HttpAnswer Call(const std::string& path, const std::string& operation,
                  const std::string& document) {
    return client_.Post(Sim().BaseUrl() + path, RequestEnvelope(operation, document),
                        SoapHeaders(operation));
  }
  HttpAnswer GetOriginators(const std::string& document) {
    return Call(kOriginatorsPath, "getOriginators", document);
  }

  HttpClient client_;
};

TEST_F(Service, DirectHttpsGetOriginatorsAnswersTheOriginatorsWithCrLf) {
  const HttpAnswer answer = GetOriginators(OriginatorsDocument("tellavo"));
  ASSERT_EQ(answer.code, CURLE_OK);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.contentType, "text/xml; charset=utf-8");
  EXPECT_NE(
      answer.body.find("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\""),
      std::string::npos);
  EXPECT_NE(answer.body.find("<getOriginatorsResponse xmlns=\"http://ws.tellavo.example/\">"),
            std::string::npos);
  // CR is a character reference so that it survives the client's XML parser.
  EXPECT_EQ(ResultText(answer, "getOriginators"),
            "&lt;ORIGINATORS&gt;&#xD;\n&lt;ORIGINATOR&gt;TELLAVO&lt;/ORIGINATOR&gt;&#xD;\n"
            "&lt;ORIGINATOR&gt;INFO&lt;/ORIGINATOR&gt;&#xD;\n&lt;/ORIGINATORS&gt;");

  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].tls);
  EXPECT_FALSE(requests[0].viaProxy);
  EXPECT_EQ(requests[0].path, kOriginatorsPath);
}

TEST_F(Service, ProxyEnvironmentLeadsThroughConnectToTheBuiltInHost) {
  setenv("no_proxy", "*", 1);
  {
    ScopedProxyEnvironment proxy(Sim());
    EXPECT_EQ(std::getenv("no_proxy"), nullptr);
    const HttpAnswer answer =
        client_.Post("https://gateway.tellavo.example" + kOriginatorsPath,
                     RequestEnvelope("getOriginators", OriginatorsDocument("prepaid")),
                     SoapHeaders("getOriginators"));
    ASSERT_EQ(answer.code, CURLE_OK) << curl_easy_strerror(answer.code);
    EXPECT_EQ(answer.status, 200);
    EXPECT_NE(ResultText(answer, "getOriginators").find("&lt;CREDIT&gt;1000&lt;/CREDIT&gt;"),
              std::string::npos);
  }
  EXPECT_STREQ(std::getenv("no_proxy"), "*");
  unsetenv("no_proxy");

  EXPECT_EQ(Sim().Connects(), std::vector<std::string>{"gateway.tellavo.example:443"});
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].tls);
  EXPECT_TRUE(requests[0].viaProxy);
  EXPECT_EQ(requests[0].connectTarget, "gateway.tellavo.example:443");
  EXPECT_EQ(requests[0].host, "gateway.tellavo.example");
}

TEST_F(Service, PlainHttpThroughTheProxyIsServedAndRecorded) {
  const HttpAnswer answer = client_.Post(
      "http://report.tellavo.example" + kStatusPath, RequestEnvelope("getStatus", "<x/>"),
      SoapHeaders("getStatus"), {.proxy = Sim().ProxyUrl(), .chunked = false});
  ASSERT_EQ(answer.code, CURLE_OK);
  EXPECT_EQ(answer.status, 500) << "a GETSTATUS document is expected, <x/> is refused";
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].tls);
  EXPECT_TRUE(requests[0].viaProxy);
  EXPECT_TRUE(requests[0].connectTarget.empty());
  EXPECT_EQ(requests[0].target, "http://report.tellavo.example" + kStatusPath);
  EXPECT_EQ(requests[0].path, kStatusPath);
}

TEST_F(Service, PrepaidSendingIsChargedAndReported) {
  const HttpAnswer sent =
      Call("/SendSMSPrepaid/SendSMS.asmx", "sendSMS",
           SendDocument("SENDSMS", "prepaid", "PREPAID",
                        {{"5550000001", "Merhaba"}, {"5550000002", "Selam & <3>"}}));
  EXPECT_EQ(ResultText(sent, "sendSMS"),
            "&lt;SENDSMS_RESPONSE&gt;&#xD;\n&lt;MSGID&gt; 1000001 &lt;/MSGID&gt;&#xD;\n"
            "&lt;/SENDSMS_RESPONSE&gt;");
  EXPECT_EQ(Sim().Accounts().at(1).at("credit"), 998);
  const auto messages = Sim().Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].at("recipients").at(1).at("text"), "Selam & <3>");

  const std::string status = ResultText(Call(kStatusPath, "getStatus",
                                             kDeclaration + "<GETSTATUS>" + Credentials("prepaid") +
                                                 "<MSGID>1000001</MSGID></GETSTATUS>"),
                                        "getStatus");
  EXPECT_EQ(status.rfind("5550000001;DELIVERED;", 0), 0u) << status;
  EXPECT_NE(status.find("&#xD;\n5550000002;DELIVERED;"), std::string::npos) << status;

  const std::string report =
      ResultText(Call("/GetReport2Date/GetReport2Date.asmx", "getReport2Date",
                      kDeclaration + "<REPORT2DATE>" + Credentials("prepaid") +
                          "<DATE1>07.12.2000 10:00</DATE1><DATE2>2100-01-01</DATE2>"
                          "</REPORT2DATE>"),
                 "getReport2Date");
  EXPECT_EQ(report.rfind("1000001;5550000001;DELIVERED;", 0), 0u) << report;

  // Credit runs out: two messages with one unit left are refused, nothing charged.
  Sim().SetAccounts(R"([{"user": "prepaid", "password": "s3cret", "vendor": "42",
                         "originators": ["PREPAID"], "prepaid": true, "credit": 1}])");
  const HttpAnswer refused =
      Call("/SendSMSPrepaid/SendSMS.asmx", "sendSMS",
           SendDocument("SENDSMS", "prepaid", "PREPAID", {{"1", "a"}, {"2", "b"}}));
  EXPECT_NE(ResultText(refused, "sendSMS").find("&lt;CODE&gt;107&lt;/CODE&gt;"), std::string::npos);
  EXPECT_EQ(Sim().Accounts().at(0).at("credit"), 1);
}

TEST_F(Service, GatewayRefusalsAreAnswerDocumentsNotFaults) {
  struct Case {
    std::string path, operation, document, code;
  };
  const std::string long161(161, 'a');
  const Case cases[] = {
      {kOriginatorsPath, "getOriginators", OriginatorsDocument("tellavo", "wrong"), "101"},
      {"/SendSMS/SendSMS.asmx", "sendSMS",
       SendDocument("SENDSMS", "tellavo", "NOBODY", {{"5550000001", "x"}}), "102"},
      {"/SendSMS/SendSMS.asmx", "sendSMS", SendDocument("SENDSMS", "tellavo", "INFO", {}), "103"},
      {"/SendSMS/SendSMS.asmx", "sendSMS",
       SendDocument("SENDSMS", "tellavo", "INFO", {{"5550000001", long161}}), "106"},
      {"/SendSMSPrepaid/SendSMS.asmx", "sendSMS",
       SendDocument("SENDSMS", "tellavo", "INFO", {{"5550000001", "x"}}), "109"},
      {"/SendSMS/SendSMS.asmx", "sendSMS",
       SendDocument("SENDSMS", "prepaid", "PREPAID", {{"5550000001", "x"}}), "108"},
      {kStatusPath, "getStatus",
       kDeclaration + "<GETSTATUS>" + Credentials("tellavo") + "<MSGID>77</MSGID></GETSTATUS>",
       "201"},
  };
  for (const Case& c : cases) {
    const HttpAnswer answer = Call(c.path, c.operation, c.document);
    EXPECT_EQ(answer.status, 200) << c.document;
    EXPECT_EQ(ResultText(answer, c.operation).rfind("&lt;ERROR&gt;&#xD;\n&lt;CODE&gt;" + c.code, 0),
              0u)
        << c.document << "\n"
        << answer.body;
  }
  // 161 characters (counted in UTF-16 units) fit a concatenated message.
  const HttpAnswer concat =
      Call("/SendSMS/SendSMS.asmx", "sendConcat",
           SendDocument("SENDCONCAT", "tellavo", "INFO", {{"5550000001", long161}}));
  EXPECT_NE(ResultText(concat, "sendConcat").find("MSGID"), std::string::npos) << concat.body;
}

TEST_F(Service, MalformedCallsGetClientFaults) {
  struct Case {
    std::string path, operation, envelope, action, fault;
  };
  const std::string good = RequestEnvelope("getOriginators", OriginatorsDocument("tellavo"));
  const std::string ns(kSimulatorNamespace);
  const Case cases[] = {
      {kOriginatorsPath, "getOriginators", good, ns + "getStatus", "SOAPAction"},
      {kOriginatorsPath, "getOriginators", good, ns + "getOriginators\" ", "SOAPAction"},
      {"/Nowhere.asmx", "getOriginators", good, ns + "getOriginators", "No service"},
      {kStatusPath, "getOriginators", good, ns + "getOriginators", "Unknown operation"},
      {kOriginatorsPath, "getOriginators", RequestEnvelope("getOriginators", "<GETORIG"),
       ns + "getOriginators", "not well-formed"},
      {kOriginatorsPath, "getOriginators", good.substr(0, 80), ns + "getOriginators",
       "not well-formed"},
  };
  for (const Case& c : cases) {
    const HttpAnswer answer =
        client_.Post(Sim().BaseUrl() + c.path, c.envelope,
                     {"Content-Type: text/xml", "SOAPAction: \"" + c.action + "\""});
    EXPECT_EQ(answer.status, 500) << c.path;
    EXPECT_NE(answer.body.find("<faultcode>soap:Client</faultcode>"), std::string::npos);
    EXPECT_NE(answer.body.find(c.fault), std::string::npos) << answer.body;
  }
}

class Scripting : public Service {};

TEST_F(Scripting, StatusReasonAndContentTypeAreSentAsGiven) {
  Sim().Script(R"([{"status": 418, "reason": "Teapot Trouble", "content_type": null,
                    "body": "not soap"},
                   {"content_type": "text/html", "result": "A&B"}])");
  const HttpAnswer teapot = GetOriginators(OriginatorsDocument("tellavo"));
  EXPECT_EQ(teapot.statusLine, "HTTP/1.1 418 Teapot Trouble");
  EXPECT_FALSE(teapot.hasContentType);
  EXPECT_EQ(teapot.body, "not soap");

  const HttpAnswer html = GetOriginators(OriginatorsDocument("tellavo"));
  EXPECT_EQ(html.status, 200);
  EXPECT_EQ(html.contentType, "text/html");
  EXPECT_EQ(ResultText(html, "getOriginators"), "A&amp;B");

  // The queue is used up: back to the gateway's own answer.
  EXPECT_NE(
      ResultText(GetOriginators(OriginatorsDocument("tellavo")), "getOriginators").find("TELLAVO"),
      std::string::npos);
}

TEST_F(Scripting, FaultCarriesCodeStringActorAndDetail) {
  Sim().Script(R"({"fault": {"code": "soap:Client", "string": "Bad input", "actor": "gw",
                             "detail_xml": "<x>1</x>"}})");
  const HttpAnswer answer = GetOriginators(OriginatorsDocument("tellavo"));
  EXPECT_EQ(answer.status, 500);
  EXPECT_NE(answer.body.find("<soap:Body><soap:Fault><faultcode>soap:Client</faultcode>"
                             "<faultstring>Bad input</faultstring><faultactor>gw</faultactor>"
                             "<detail><x>1</x></detail></soap:Fault></soap:Body>"),
            std::string::npos)
      << answer.body;
}

TEST_F(Scripting, EnvelopeVariantsWrapTheGatewaysOwnAnswer) {
  Sim().Script(R"([{"envelope": "soap12"}, {"envelope": "must_understand"},
                   {"envelope": "two_bodies"}])");
  const HttpAnswer soap12 = GetOriginators(OriginatorsDocument("tellavo"));
  EXPECT_NE(soap12.body.find("xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\""),
            std::string::npos);
  EXPECT_NE(ResultText(soap12, "getOriginators").find("TELLAVO"), std::string::npos);
  const HttpAnswer header = GetOriginators(OriginatorsDocument("tellavo"));
  EXPECT_NE(header.body.find("<soap:Header><Session xmlns=\"http://ws.tellavo.example/\" "
                             "mustUnderstand=\"1\">"),
            std::string::npos);
  const HttpAnswer twice = GetOriginators(OriginatorsDocument("tellavo"));
  EXPECT_NE(twice.body.find("</soap:Body><soap:Body>"), std::string::npos);
}

TEST_F(Scripting, MatchPathCountAndSizeSelectAndShapeAnswers) {
  Sim().Script(R"({"match_path": "/GetStatus/GetStatus.asmx", "count": 2, "result": "R",
                   "size_bytes": 3000000})");
  EXPECT_NE(
      ResultText(GetOriginators(OriginatorsDocument("tellavo")), "getOriginators").find("TELLAVO"),
      std::string::npos);
  for (int i = 0; i < 2; ++i) {
    const HttpAnswer big = Call(kStatusPath, "getStatus", "<GETSTATUS/>");
    const std::string result = ResultText(big, "getStatus");
    EXPECT_EQ(result.size(), 3000000u);
    EXPECT_EQ(result.substr(0, 3), "Rxx");
  }
  EXPECT_EQ(Call(kStatusPath, "getStatus", "<GETSTATUS/>").status, 200);
  EXPECT_EQ(Sim().Control("GET", "script").at("script").size(), 0u);
}

TEST_F(Scripting, CloseAfterBytesCutsTheBodyShortOfItsLength) {
  Sim().Script(R"({"close_after_bytes": 10, "result": "abc"})");
  const HttpAnswer answer = GetOriginators(OriginatorsDocument("tellavo"));
  EXPECT_EQ(answer.code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(answer.body.size(), 10u);
  // The next request gets a fresh connection and a whole answer.
  EXPECT_EQ(GetOriginators(OriginatorsDocument("tellavo")).code, CURLE_OK);
}

TEST_F(Scripting, DelayHoldsTheAnswerBack) {
  Sim().Script(R"({"delay": 0.5})");
  const auto start = std::chrono::steady_clock::now();
  const HttpAnswer answer = GetOriginators(OriginatorsDocument("tellavo"));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_NE(ResultText(answer, "getOriginators").find("TELLAVO"), std::string::npos);
}

TEST_F(Service, RecordingKeepsBodyBytesAndHeadersExactly) {
  // Non-ASCII bytes, CR LF and a NUL must come back byte for byte.
  std::string body = "\xC5\x9E\r\n<odd & body>\xFF";
  body += '\0';
  body += "end";
  client_.Post(Sim().BaseUrl() + kOriginatorsPath, body,
               {"X-First: 1", "SOAPAction: \"x\"", "x-lower:  spaced value ", "X-First: 2"});
  client_.Post(Sim().BaseUrl() + kStatusPath, "chunked body", {}, {.proxy = "", .chunked = true});

  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 2u);
  const RecordedRequest& plain = requests[0];
  EXPECT_EQ(plain.method, "POST");
  EXPECT_EQ(plain.body, body);
  EXPECT_EQ(plain.contentLength, static_cast<long long>(body.size()));
  EXPECT_FALSE(plain.chunked);
  EXPECT_EQ(plain.host, "127.0.0.1:" + std::to_string(Sim().Port()));
  std::vector<std::pair<std::string, std::string>> custom;
  for (const auto& header : plain.headers)
    if (header.first.rfind("X-", 0) == 0 || header.first.rfind("x-", 0) == 0 ||
        header.first == "SOAPAction")
      custom.push_back(header);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"X-First", "1"}, {"SOAPAction", "\"x\""}, {"x-lower", "spaced value"}, {"X-First", "2"}};
  EXPECT_EQ(custom, expected);
  EXPECT_EQ(plain.Header("x-first"), "1");
  EXPECT_EQ(plain.Header("Missing"), std::nullopt);

  const RecordedRequest& chunked = requests[1];
  EXPECT_TRUE(chunked.chunked);
  EXPECT_FALSE(chunked.contentLength.has_value());
  EXPECT_EQ(chunked.body, "chunked body");
}

TEST_F(Service, KeepAliveReusesTheConnectionUntilClosed) {
  GetOriginators(OriginatorsDocument("tellavo"));
  GetOriginators(OriginatorsDocument("tellavo"));
  std::vector<std::string> headers = SoapHeaders("getOriginators");
  headers.push_back("Connection: close");
  client_.Post(Sim().BaseUrl() + kOriginatorsPath,
               RequestEnvelope("getOriginators", OriginatorsDocument("tellavo")), headers);
  GetOriginators(OriginatorsDocument("tellavo"));

  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].connection, requests[1].connection);
  EXPECT_EQ(requests[1].connection, requests[2].connection);
  EXPECT_NE(requests[2].connection, requests[3].connection);
}

TEST_F(Service, CountsConnectionsHandshakesAndResumedSessionsUntilAReset) {
  GetOriginators(OriginatorsDocument("tellavo"));
  GetOriginators(OriginatorsDocument("tellavo"));
  ConnectionCounts counts = Sim().Connections();
  EXPECT_EQ(counts.connections, 1);
  EXPECT_EQ(counts.handshakes, 1);
  EXPECT_EQ(counts.resumed, 0);

  // The reset closes the idle connection: the client starts a new one and
  // resumes its TLS session on it.
  Sim().Reset();
  EXPECT_EQ(Sim().Connections().connections, 0);
  EXPECT_EQ(GetOriginators(OriginatorsDocument("tellavo")).status, 200);
  counts = Sim().Connections();
  EXPECT_EQ(counts.connections, 1);
  EXPECT_EQ(counts.handshakes, 1);
  EXPECT_EQ(counts.resumed, 1);
}

TEST(SimulatorProcess, NamespaceOptionDecidesTheAcceptedActionAndElements) {
  const std::string ns = "urn:other:";
  Simulator sim(ns);
  std::string envelope = RequestEnvelope("getOriginators", OriginatorsDocument("tellavo"));
  const std::string standard(kSimulatorNamespace);
  envelope.replace(envelope.find(standard), standard.size(), ns);
  HttpClient client;
  const HttpAnswer answer = client.Post(sim.BaseUrl() + kOriginatorsPath, envelope,
                                        {"SOAPAction: \"" + ns + "getOriginators\""});
  EXPECT_EQ(answer.status, 200) << answer.body;
  EXPECT_NE(answer.body.find("<getOriginatorsResponse xmlns=\"urn:other:\">"), std::string::npos);
  EXPECT_EQ(client
                .Post(sim.BaseUrl() + kOriginatorsPath,
                      RequestEnvelope("getOriginators", OriginatorsDocument("tellavo")),
                      SoapHeaders("getOriginators"))
                .status,
            500);
}

} // namespace
} // namespace tellavo::test
