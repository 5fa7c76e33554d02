#include <gtest/gtest.h>

#include <vector>

#include "Platform.h"

TEST(EventLog, ObserversSeeEveryEntryUntilRemoved) {
  std::vector<EventLogEntry> seen;
  const int token = AddEventLogObserver([&](const EventLogEntry& e) { seen.push_back(e); });
  HANDLE source = RegisterEventSourceW(nullptr, u"Tellavo COM API");
  ASSERT_NE(source, nullptr);
  LPCWSTR strings[] = {u"EAbort Operation aborted"};
  EXPECT_TRUE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 1, 1, nullptr, 1, 0, strings, nullptr));
  RemoveEventLogObserver(token);
  EXPECT_TRUE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 1, 1, nullptr, 1, 0, strings, nullptr));
  EXPECT_TRUE(DeregisterEventSource(source));

  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].source, u"Tellavo COM API");
  EXPECT_EQ(seen[0].type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(seen[0].category, 1);
  EXPECT_EQ(seen[0].eventId, 1u);
  EXPECT_EQ(seen[0].text, u"EAbort Operation aborted");
}

TEST(EventLog, ReportingThroughAFailedRegistrationFails) {
  LPCWSTR strings[] = {u"x"};
  EXPECT_EQ(RegisterEventSourceW(u"\\\\remote", u"Tellavo COM API"), nullptr);
  EXPECT_FALSE(ReportEventW(nullptr, EVENTLOG_ERROR_TYPE, 1, 1, nullptr, 1, 0, strings, nullptr));
  EXPECT_FALSE(DeregisterEventSource(nullptr));
}
