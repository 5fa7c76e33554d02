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

TEST_F(EventLogReport, LongTextsAreCutToTheLimitEndingInTheMarker) {
  const std::u16string exact(kMaxEventTextLength, u'x');
  EXPECT_EQ(FitEventText(exact), exact);
  const std::u16string cut = FitEventText(std::u16string(50'000'000, u'y'));
  EXPECT_EQ(cut.size(), kMaxEventTextLength);
  EXPECT_TRUE(cut.ends_with(kEventTextCutMarker));
  EXPECT_EQ(cut.find_first_not_of(u'y'), kMaxEventTextLength - kEventTextCutMarker.size());

  // A cut never leaves half of a surrogate pair behind.
  std::u16string pairs;
  while (pairs.size() < kMaxEventTextLength + 10)
    pairs += u"\U0001F600";
  const std::u16string kept = FitEventText(u"a" + pairs);
  const std::u16string_view body =
      std::u16string_view(kept).substr(0, kept.size() - kEventTextCutMarker.size());
  EXPECT_LE(kept.size(), kMaxEventTextLength);
  EXPECT_FALSE(body.back() >= 0xD800 && body.back() <= 0xDBFF);
}

#ifndef _WIN32
// Wine's trace of a report cuts its text near 300 characters, so the whole
// entry is seen through the posix platform layer only.
TEST_F(EventLogReport, AFailureWithAHugeMessageWritesOneEntryWithinTheLimit) {
  test::EventLogWatch events;
  ReportFailure(ERemotableException(std::u16string(5'000'000, u'f')));
  const std::vector<std::u16string> texts = events.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].size(), kMaxEventTextLength);
  EXPECT_TRUE(texts[0].starts_with(u"ERemotableException fff"));
  EXPECT_TRUE(texts[0].ends_with(kEventTextCutMarker));
}
#endif
