// getinfo, getmsgstatus and getmsgstatustodate against the simulator: what
// each hands back on success and on an answer that cannot be used.
#include "GatewayModule.h"

namespace tellavo::test {
namespace {

using QueryTest = GatewayTest;

TEST_F(QueryTest, GetInfoListsTheOriginatorsOnePerLine) {
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  const auto prepaid = GetInfo(kPrepaidUser, kPassword, kVendor);
  EXPECT_EQ(prepaid.hr, S_OK);
  EXPECT_NE(prepaid.retvalue.find(u"PREPAID\n"), std::u16string::npos);
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(QueryTest, GetInfoShapesTheChildrenOfTheDocumentElement) {
  ScriptResult(R"("<R><A>A</A><B>B</B><C>C</C></R>")");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"A\nB\nC\n");
  ScriptResult(R"("<R/>")");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"");
  ScriptResult(R"("<R>\r\n <X>x\r\ny</X>\r\n <Y>p\nq</Y><Z/></R>")");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"xy\np\nq\n\n");
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(QueryTest, GetInfoReturnsAnUnusableAnswerRawAndLogsWhy) {
  ScriptResult(R"("Hesap bulunamadi\r\n")");
  const auto notXml = GetInfo(kUser, kPassword, kVendor);
  EXPECT_EQ(notXml.hr, S_OK);
  EXPECT_EQ(notXml.retvalue, u"Hesap bulunamadi\r\n");
  EXPECT_TRUE(OnlyEventText().starts_with(u"EDOMParseError "));

  ClearEvents();
  ScriptResult(R"("<R><A><B>1</B></A></R>")");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"<R><A><B>1</B></A></R>");
  EXPECT_EQ(OnlyEventText(), u"EXMLDocError Element does not contain a single text node");
}

TEST_F(QueryTest, GetInfoWithAnEmptyAnswerFailsWithMinusOne) {
  ScriptResult(R"("")");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"-1");
  EXPECT_TRUE(OnlyEventText().starts_with(u"EXMLDocError "));
}

TEST_F(QueryTest, StatusAndReportComeBackExactlyAsAnswered) {
  ScriptResult(R"("5550000001|DELIVERED\r\n5550000002|PENDING\r\n")");
  EXPECT_EQ(GetMsgStatus(kUser, kPassword, u"1000001", kVendor).retvalue,
            u"5550000001|DELIVERED\r\n5550000002|PENDING\r\n");
  ScriptResult(R"("")");
  const auto empty = GetMsgStatusToDate(kUser, kPassword, u"01.12.2026", u"31.12.2026", kVendor);
  EXPECT_EQ(empty.hr, S_OK);
  EXPECT_EQ(empty.retvalue, u"") << "an empty report is a success";
  ScriptResult(R"("not <xml")");
  EXPECT_EQ(GetMsgStatusToDate(kUser, kPassword, u"a", u"b", kVendor).retvalue, u"not <xml");
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(QueryTest, StatusOfASentMessageComesFromTheReportHost) {
  Queue(u"Merhaba", u"5550000001");
  const auto id = SendSms(kUser, kPassword, u"TELLAVO").retvalue;
  ASSERT_FALSE(id.empty());
  const auto status = GetMsgStatus(kUser, kPassword, id, kVendor).retvalue;
  EXPECT_NE(status.find(u"5550000001"), std::u16string::npos)
      << std::string(status.begin(), status.end());
  const auto requests = Sim().Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().path, "/GetStatus/GetStatus.asmx");
  EXPECT_EQ(requests.back().connectTarget, "report.tellavo.example:443");
}

} // namespace
} // namespace tellavo::test
