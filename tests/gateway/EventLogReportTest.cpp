#include <gtest/gtest.h>

#include <vector>

#include "gateway/EventLogReport.h"
#include "support/EventLogWatch.h"

using namespace tellavo;

namespace {

using EventLogReport = ::testing::Test;

} // namespace

TEST_F(EventLogReport, FailureIsOneErrorEntryWithClassNameBlankMessage) {
  test::EventLogWatch events;
  ReportFailure(ESOAPHTTPException(u"Not Found (404) - 'https://h/p'", 404));
  EXPECT_EQ(events.Texts(),
            std::vector<std::u16string>{u"ESOAPHTTPException Not Found (404) - 'https://h/p'"});
  EXPECT_TRUE(events.AllAreFailureReports());
}

TEST_F(EventLogReport, EmptyMessageEndsWithTheBlank) {
  test::EventLogWatch events;
  ReportFailure(ERemotableException(u""));
  EXPECT_EQ(events.Texts(), std::vector<std::u16string>{u"ERemotableException "});
}

TEST_F(EventLogReport, TextsOutsideAsciiAndLineBreaksArriveWhole) {
  test::EventLogWatch events;
  ReportFailure(ERemotableException(u"Türkçe \"metin\"\nikinci\tsatır \\ ğüşıöç"));
  EXPECT_EQ(events.Texts(), std::vector<std::u16string>{
                                u"ERemotableException Türkçe \"metin\"\nikinci\tsatır \\ ğüşıöç"});
}

#ifndef _WIN32
// Type, category and identifier are seen through the posix platform layer's
// observers; the trace that Wine leaves of a report carries only its text.
TEST_F(EventLogReport, WriteEventLogPassesTypeCategoryAndIdentifier) {
  std::vector<EventLogEntry> entries;
  const int token = AddEventLogObserver([&](const EventLogEntry& e) { entries.push_back(e); });
  EXPECT_TRUE(WriteEventLog(EVENTLOG_WARNING_TYPE, 7, 42, u"Türkçe metin"));
  RemoveEventLogObserver(token);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(entries[0].category, 7);
  EXPECT_EQ(entries[0].eventId, 42u);
  EXPECT_EQ(entries[0].text, u"Türkçe metin");
}
#endif
