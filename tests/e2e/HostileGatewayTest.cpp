// A gateway that answers as an attacker on the network path would: each
// answer ends as "-1" and one event entry that says what went wrong, within
// the bound on what an answer may cost.
#include <string>

#include "GatewayModule.h"
#include "common/Utf.h"
#include "support/Wine.h"

namespace tellavo::test {
namespace {

using HostileGatewayTest = GatewayTest;

const std::u16string kStatusUrl = u"https://report.tellavo.example/GetStatus/GetStatus.asmx";

std::string Narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

TEST_F(HostileGatewayTest, AnswerPastTheBoundIsRefusedAndNamesIt) {
  const std::string pastTheBound = std::to_string(TELLAVO_MAX_ANSWER_BYTES + 1);
  const std::u16string limit =
      u"the limit of " + Utf8ToUtf16(std::to_string(TELLAVO_MAX_ANSWER_BYTES)) + u" bytes";
  // A declared length is refused before the body; without one the body is
  // cut once it passes the bound.
  for (const char* length : {"true", "false"}) {
    ClearEvents();
    ScriptAnswer(R"({"stream_bytes": )" + pastTheBound + R"(, "content_length": )" + length + "}");
    const CallResult result = GetInfo(kUser, kPassword, kVendor);
    // Compared as a condition: a failing answer would be 64 MiB of output.
    EXPECT_TRUE(result.retvalue == u"-1")
        << "content_length " << length << ", answer of " << result.retvalue.size() << " characters";
    const std::u16string text = OnlyEventText();
    EXPECT_TRUE(text.starts_with(u"ESOAPHTTPException ")) << Narrow(text);
    EXPECT_NE(text.find(limit), std::u16string::npos) << Narrow(text);
  }
}

TEST_F(HostileGatewayTest, SendTakenWithoutAnAnswerGoesOutOnce) {
  // The credit check before each send leaves a kept connection, which the
  // gateway closes after reading the send; neither the Internet client nor
  // the transport sends it again.
  Queue(u"short", u"5550000001");
  Queue(std::u16string(200, u'l'), u"5550000002");
  for (const std::string operation : {"sendSMS", "sendConcat"}) {
    SCOPED_TRACE(operation);
    Sim().ClearRequests();
    ClearEvents();
    ScriptAnswer(R"({"match_operation": ")" + operation + R"(", "close": "unanswered"})");
    const CallResult result = operation == "sendSMS" ? SendSms(kUser, kPassword, u"TELLAVO")
                                                     : SendSmsConcat(kUser, kPassword, u"TELLAVO");
    EXPECT_EQ(result.retvalue, u"-1");
    size_t sends = 0;
    for (const auto& request : Sim().Requests())
      sends += request.path == "/SendSMS/SendSMS.asmx";
    EXPECT_EQ(sends, 1u);
    EXPECT_TRUE(OnlyEventText().starts_with(u"ESOAPHTTPException "));
  }
}

TEST_F(HostileGatewayTest, ErrorStatusWithALongReasonIsAFailure) {
  ScriptAnswer(R"({"status": 503, "reason_bytes": 3000})");
  const CallResult result = GetMsgStatus(kUser, kPassword, u"1000001", kVendor);
  EXPECT_EQ(result.hr, S_OK);
  EXPECT_EQ(result.retvalue, u"-1");
  const std::u16string text = OnlyEventText();
  const std::u16string expected =
      u"ESOAPHTTPException " + std::u16string(3000, u'x') + u" (503) - '" + kStatusUrl + u"'";
  // Wine's event log hands an entry back cut to its first few hundred
  // characters.
  if (RunningUnderWine())
    EXPECT_TRUE(expected.starts_with(text) && text.size() > 200) << Narrow(text);
  else
    EXPECT_EQ(text, expected);
}

TEST_F(HostileGatewayTest, EveryRedirectStatusButNoneFollowedIsAFailure) {
  // Without a Location there is nothing to follow: each status of 300 and
  // more, the lowest and the highest of the 3xx range among them, ends as
  // the status error.
  const std::u16string url = u"https://gateway.tellavo.example/GetOriginators/GetOriginators.asmx";
  for (int status : {300, 301, 303, 307, 399}) {
    ClearEvents();
    ScriptAnswer(R"({"status": )" + std::to_string(status) + R"(, "reason": "Moved"})");
    const CallResult result = GetInfo(kUser, kPassword, kVendor);
    EXPECT_EQ(result.hr, S_OK);
    EXPECT_EQ(result.retvalue, u"-1") << status;
    EXPECT_EQ(OnlyEventText(), u"ESOAPHTTPException Moved (" + Utf8ToUtf16(std::to_string(status)) +
                                   u") - '" + url + u"'");
  }
}

TEST_F(HostileGatewayTest, HugeHeaderIsReadOrRefusedWithAMessage) {
  ScriptAnswer(R"({"header_flood": {"count": 1, "bytes": 102400}})");
  const CallResult result = GetInfo(kUser, kPassword, kVendor);
  EXPECT_EQ(result.hr, S_OK);
  if (result.retvalue == u"TELLAVO\nINFO\n") {
    EXPECT_TRUE(EventTexts().empty());
    return;
  }
  EXPECT_EQ(result.retvalue, u"-1");
  const std::u16string text = OnlyEventText();
  EXPECT_TRUE(text.starts_with(u"ESOAPHTTPException ")) << Narrow(text);
  EXPECT_FALSE(text.starts_with(u"ESOAPHTTPException  - URL:")) << Narrow(text);
}

} // namespace
} // namespace tellavo::test
