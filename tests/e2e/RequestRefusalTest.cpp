// A value that XML cannot carry never reaches the gateway: the method gives
// "-1" and one event-log entry that says which value and which character,
// and the basket stays as it was.
#include "GatewayModule.h"

namespace tellavo::test {
namespace {

using RequestRefusalTest = GatewayTest;

using namespace std::string_literals;

void ExpectRefusal(const CallResult& result) {
  EXPECT_EQ(result.hr, S_OK);
  EXPECT_EQ(result.retvalue, u"-1");
}

TEST_F(RequestRefusalTest, QueriesWithAValueXmlCannotCarryAreNotSent) {
  ExpectRefusal(GetInfo(kUser, u"s3\0cret"s, kVendor));
  const std::u16string text = OnlyEventText();
  EXPECT_EQ(text, u"EXMLDocError The request was not sent: password holds the character U+0000 "
                  u"at position 3, which XML cannot carry");

  // A lone surrogate would otherwise reach the gateway as another character.
  ClearEvents();
  ExpectRefusal(GetMsgStatusToDate(kUser, kPassword, u"\xD800", u"b", kVendor));
  EXPECT_NE(OnlyEventText().find(u"date1 holds the character U+D800 at position 1"),
            std::u16string::npos);
  EXPECT_TRUE(Sim().Requests().empty());
}

TEST_F(RequestRefusalTest, ABasketWithATextXmlCannotCarryIsKeptAndNotSent) {
  Queue(u"Merhaba", u"5550000001");
  Queue(u"Sel\0am"s, u"5550000002");
  for (int attempt = 0; attempt < 2; ++attempt) {
    ClearEvents();
    ExpectRefusal(SendSms(kUser, kPassword, u"TELLAVO"));
    EXPECT_NE(OnlyEventText().find(
                  u"message 2 in the basket holds the character U+0000 at position 4 of its text"),
              std::u16string::npos);
  }
  EXPECT_TRUE(Sim().Requests().empty());

  // The arguments are checked as well, and the long basket on its own.
  ClearEvents();
  Queue(std::u16string(200, u'u'), u"5550000003");
  ExpectRefusal(SendSmsConcat(kUser, kPassword, u"TELLAVO\uFFFF"));
  EXPECT_NE(OnlyEventText().find(u"originator holds the character U+FFFF at position 8"),
            std::u16string::npos);
  EXPECT_TRUE(Sim().Requests().empty());
  EXPECT_EQ(SendSmsConcat(kUser, kPassword, u"TELLAVO").retvalue.find(u"-"), std::u16string::npos);
}

} // namespace
} // namespace tellavo::test
