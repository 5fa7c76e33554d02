// sendsms and sendsmsconcat against the simulator: the baskets they read,
// the credit check that picks the sending service, and the message
// identifier they return.
#include "GatewayModule.h"
#include "common/Utf.h"

namespace tellavo::test {
namespace {

using SendTest = GatewayTest;

std::vector<std::string> Paths() {
  std::vector<std::string> paths;
  for (const auto& request : SharedSimulator().Requests())
    paths.push_back(request.path);
  return paths;
}

const std::string kOriginatorsPath = "/GetOriginators/GetOriginators.asmx";
const std::string kRegularPath = "/SendSMS/SendSMS.asmx";
const std::string kPrepaidPath = "/SendSMSPrepaid/SendSMS.asmx";

// What a failed send's entry ends with when its messages may have gone out.
const std::u16string kMayHaveBeenAccepted = u"\nThe gateway may have accepted the messages: check "
                                            u"getmsgstatustodate before sending them again.";

bool IsMessageId(const std::u16string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

TEST_F(SendTest, ShortBasketGoesThroughTheRegularServiceForAPostpaidAccount) {
  Queue(u"Merhaba", u"5550000001");
  Queue(u"Selam", u"5550000002");
  const auto sent = SendSms(kUser, kPassword, u"TELLAVO");
  EXPECT_EQ(sent.hr, S_OK);
  EXPECT_TRUE(IsMessageId(sent.retvalue));
  EXPECT_EQ(Paths(), (std::vector<std::string>{kOriginatorsPath, kRegularPath}));
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(SendTest, CreditInTheAnswerSelectsThePrepaidService) {
  Queue(std::u16string(200, u'u'), u"5550000001");
  const auto sent = SendSmsConcat(kPrepaidUser, kPassword, u"PREPAID");
  EXPECT_TRUE(IsMessageId(sent.retvalue));
  EXPECT_EQ(Paths(), (std::vector<std::string>{kOriginatorsPath, kPrepaidPath}));
  const auto body = Sim().Requests().back().body;
  EXPECT_NE(body.find("<sendConcat xmlns="), std::string::npos);
}

TEST_F(SendTest, OnlyUpperCaseCreditCountsAndAnywhereInTheAnswer) {
  Queue(u"x", u"1");
  ScriptAnswer(
      R"({"match_path": "/GetOriginators/GetOriginators.asmx", "result": "<O credit=\"CREDITS\"/>"})");
  ScriptAnswer(
      R"({"match_path": "/SendSMSPrepaid/SendSMS.asmx", "result": "<R><MSGID>7</MSGID></R>"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"7");
  EXPECT_EQ(Paths().back(), kPrepaidPath);

  Sim().ClearRequests();
  ScriptAnswer(
      R"({"match_path": "/GetOriginators/GetOriginators.asmx", "result": "<O><credit>5</credit></O>"})");
  ScriptAnswer(R"({"match_path": "/SendSMS/SendSMS.asmx", "result": "<R><MSGID>8</MSGID></R>"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"8");
  EXPECT_EQ(Paths().back(), kRegularPath);
}

TEST_F(SendTest, EmptyBasketAnswersMinusTwoWithoutAnyTraffic) {
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-2");
  Queue(std::u16string(161, u'l'), u"1"); // long only
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-2");
  Gateway().clearsmsbasket();
  Queue(u"short", u"1");
  EXPECT_EQ(SendSmsConcat(kUser, kPassword, u"TELLAVO").retvalue, u"-2");
  Gateway().clearsmsbasket();
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-2");
  EXPECT_TRUE(Sim().Requests().empty());
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(SendTest, SendingTwiceWithoutClearingSendsTheSameMessagesTwice) {
  Queue(u"Şeker & Çay <1>", u"5550000001");
  const auto first = SendSms(kUser, kPassword, u"TELLAVO").retvalue;
  const auto second = SendSms(kUser, kPassword, u"TELLAVO").retvalue;
  EXPECT_NE(first, second);
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].body, requests[3].body);
  // The text arrives folded, escaped once in the document and once more in the envelope.
  EXPECT_NE(requests[1].body.find("Seker &amp;amp; \xC3\x87"
                                  "ay &amp;lt;1&amp;gt;"),
            std::string::npos);
}

TEST_F(SendTest, MessageIdentifierIsTrimmedAndMayBeMissing) {
  Queue(u"x", u"1");
  ScriptAnswer(
      R"({"match_path": "/SendSMS/SendSMS.asmx", "result": "<R>\r\n<MSGID> 12345\t</MSGID>\r\n</R>"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"12345");
  ScriptAnswer(
      R"({"match_path": "/SendSMS/SendSMS.asmx", "result": "<R><ERROR>Yetersiz</ERROR></R>"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"");
  ScriptAnswer(R"({"match_path": "/SendSMS/SendSMS.asmx", "result": "<R><msgid>9</msgid></R>"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"") << "the name is case-sensitive";
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(SendTest, UnusableSendingAnswerComesBackRaw) {
  Queue(u"x", u"1");
  ScriptAnswer(R"({"match_path": "/SendSMS/SendSMS.asmx", "result": "Sistem hatasi\r\n"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"Sistem hatasi\r\n");
  EXPECT_TRUE(OnlyEventText().starts_with(u"EDOMParseError "));
  EXPECT_TRUE(OnlyEventText().ends_with(kMayHaveBeenAccepted));

  ClearEvents();
  ScriptAnswer(
      R"({"match_path": "/SendSMS/SendSMS.asmx", "result": "<R><MSGID><N>1</N></MSGID></R>"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"<R><MSGID><N>1</N></MSGID></R>");
  EXPECT_EQ(OnlyEventText(),
            u"EXMLDocError Element does not contain a single text node" + kMayHaveBeenAccepted);

  ClearEvents();
  ScriptAnswer(R"({"match_path": "/SendSMS/SendSMS.asmx", "result": ""})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-1");
  EXPECT_TRUE(OnlyEventText().starts_with(u"EXMLDocError "));
  EXPECT_TRUE(OnlyEventText().ends_with(kMayHaveBeenAccepted));

  // An answer that is no SOAP envelope fails inside the sending call, after
  // the gateway had the whole request.
  ClearEvents();
  ScriptAnswer(R"({"match_path": "/SendSMS/SendSMS.asmx", "body": "<html>busy</html>"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-1");
  EXPECT_TRUE(OnlyEventText().ends_with(kMayHaveBeenAccepted)) << Utf16ToUtf8(OnlyEventText());
}

TEST_F(SendTest, FailedCreditCheckSendsNothing) {
  Queue(u"x", u"1");
  ScriptAnswer(
      R"({"match_path": "/GetOriginators/GetOriginators.asmx", "status": 503, "reason": "Service Unavailable", "body": "down", "content_type": "text/xml"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-1");
  EXPECT_EQ(OnlyEventText(), u"ESOAPHTTPException Service Unavailable (503) - "
                             u"'https://gateway.tellavo.example/GetOriginators/GetOriginators.asmx'"
                             u"\nNothing was sent: sending again is safe.");
  EXPECT_EQ(Paths(), std::vector<std::string>{kOriginatorsPath});
}

TEST_F(SendTest, ARefusalOfTheSendSaysThatNothingWasSent) {
  Queue(std::u16string(200, u'u'), u"1");
  ScriptAnswer(
      R"({"match_path": "/SendSMS/SendSMS.asmx", "fault": {"code": "soap:Client", "string": "Bad originator"}})");
  EXPECT_EQ(SendSmsConcat(kUser, kPassword, u"TELLAVO").retvalue, u"-1");
  EXPECT_EQ(
      OnlyEventText(),
      u"ERemotableException Bad originator\nThe gateway refused the messages: nothing was sent.");
}

TEST_F(SendTest, MessagesAtTheBoundsGoToTheirOwnMethod) {
  Queue(std::u16string(160, u'k'), u"160");
  Queue(std::u16string(161, u'u'), u"161");
  Queue(std::u16string(613, u'd'), u"613");
  EXPECT_TRUE(IsMessageId(SendSms(kUser, kPassword, u"TELLAVO").retvalue));
  EXPECT_TRUE(IsMessageId(SendSmsConcat(kUser, kPassword, u"TELLAVO").retvalue));
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_NE(requests[1].body.find("&lt;DST_MSISDN&gt;160&lt;"), std::string::npos);
  EXPECT_EQ(requests[1].body.find("&gt;161&lt;"), std::string::npos);
  EXPECT_NE(requests[3].body.find("&lt;DST_MSISDN&gt;161&lt;"), std::string::npos);
  EXPECT_EQ(requests[3].body.find("613"), std::string::npos);
}

} // namespace
} // namespace tellavo::test
