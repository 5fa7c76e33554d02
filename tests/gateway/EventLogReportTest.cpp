#include <gtest/gtest.h>

#include <vector>

#include "gateway/EventLogReport.h"

using namespace tellavo;

namespace {

class EventLogReport : public ::testing::Test {
protected:
  void SetUp() override {
    token_ = AddEventLogObserver([this](const EventLogEntry& e) { entries_.push_back(e); });
  }
  void TearDown() override { RemoveEventLogObserver(token_); }

  std::vector<EventLogEntry> entries_;
  int token_ = 0;
};

} // namespace

TEST_F(EventLogReport, FailureIsOneErrorEntryWithClassNameBlankMessage) {
  ReportFailure(ESOAPHTTPException(u"Not Found (404) - 'https://h/p'", 404));
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].source, u"Tellavo COM API");
  EXPECT_EQ(entries_[0].type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(entries_[0].category, 1);
  EXPECT_EQ(entries_[0].eventId, 1u);
  EXPECT_EQ(entries_[0].text, u"ESOAPHTTPException Not Found (404) - 'https://h/p'");
}

TEST_F(EventLogReport, EmptyMessageEndsWithTheBlank) {
  ReportFailure(ERemotableException(u""));
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].text, u"ERemotableException ");
}

TEST_F(EventLogReport, WriteEventLogPassesTypeCategoryAndIdentifier) {
  EXPECT_TRUE(WriteEventLog(EVENTLOG_WARNING_TYPE, 7, 42, u"Türkçe metin"));
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(entries_[0].category, 7);
  EXPECT_EQ(entries_[0].eventId, 42u);
  EXPECT_EQ(entries_[0].text, u"Türkçe metin");
}
