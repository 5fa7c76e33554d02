// Exchanges with a gateway that answers as an attacker on the network path
// would: answers larger than the bound, answers that never end, error statuses
// with endless reason phrases, huge headers. Each ends as a clear
// ESOAPHTTPException, never as success, a crash or an empty message.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "TransportTestSupport.h"
#include "support/SimulatorFixture.h"
#include "support/Wine.h"
#include "transport/HTTPReqResp.h"
#include "transport/InternetTimeouts.h"

namespace tellavo::test {
namespace {

using Clock = std::chrono::steady_clock;

class HostileGateway : public SimulatorTest {
protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    SetInternetTimeouts(kBuiltInTimeout);
    transport_.InvokeOptions.set(soIgnoreInvalidCerts);
    transport_.SetURL(Utf8ToUtf16(Sim().BaseUrl() + std::string(kPath)));
    transport_.BeforeExecute(kAction);
  }
  void TearDown() override {
    SetInternetTimeouts(kBuiltInTimeout);
    SimulatorTest::TearDown();
  }

  std::string Post() {
    std::string response;
    transport_.Execute("x", response);
    return response;
  }

  THTTPReqResp transport_;
};

#ifndef _WIN32
// The threads of this process now; Linux lists them under /proc/self/task.
size_t ThreadCount() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<size_t>(std::distance(begin(tasks), end(tasks)));
}
#endif

bool NamesTheLimit(const ESOAPHTTPException& raised, size_t limit) {
  return MessageOf(raised).find("limit of " + std::to_string(limit) + " bytes") !=
         std::string::npos;
}

TEST_F(HostileGateway, AnswerIsBoundWithOrWithoutATrueLength) {
  Sim().Script(R"({"stream_bytes": 1000})");
  const size_t whole = Post().size();
  ASSERT_GT(whole, 1000u);

  // Exactly the bound is an answer; one byte more is not, whether the length
  // is declared or the body simply keeps coming.
  transport_.MaxAnswerBytes = whole;
  Sim().Script(R"([{"stream_bytes": 1000}, {"stream_bytes": 1000, "content_length": false}])");
  EXPECT_EQ(Post().size(), whole);
  EXPECT_EQ(Post().size(), whole);

  transport_.MaxAnswerBytes = whole - 1;
  for (const char* length : {"true", "false"}) {
    Sim().Script(std::string(R"({"stream_bytes": 1000, "content_length": )") + length + "}");
    const auto raised = RaisedBy([&] { Post(); });
    ASSERT_TRUE(raised) << "content_length " << length;
    EXPECT_TRUE(NamesTheLimit(*raised, whole - 1)) << MessageOf(*raised);
    EXPECT_FALSE(transport_.Connected());
  }
}

TEST_F(HostileGateway, EndlessBodyIsCutAtTheBound) {
  transport_.MaxAnswerBytes = 1024 * 1024;
  Sim().Script(R"({"stream_bytes": 100000000, "content_length": false})");
  std::string response;
  const auto raised = RaisedBy([&] { transport_.Execute("x", response); });
  ASSERT_TRUE(raised);
  EXPECT_TRUE(NamesTheLimit(*raised, 1024 * 1024)) << MessageOf(*raised);
  EXPECT_LE(response.size(), transport_.MaxAnswerBytes);
}

TEST_F(HostileGateway, DeclaredLengthAboveTheBoundIsRefusedBeforeTheBody) {
  // After its headers the gateway sends nothing: only a refusal that does not
  // wait for the body ends the exchange before the time-out.
  SetInternetTimeouts(5000);
  Sim().Script(R"({"stream_bytes": 10, "content_length": 1000000000000, "silence": "after_head"})");
  const auto start = Clock::now();
  const auto raised = RaisedBy([&] { Post(); });
  ASSERT_TRUE(raised);
  EXPECT_TRUE(NamesTheLimit(*raised, transport_.MaxAnswerBytes)) << MessageOf(*raised);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST_F(HostileGateway, DeclaredLengthPastSixtyFourBitsIsRefusedBeforeTheBody) {
  // 2^64 exactly, 20 digits, and a length of 30 digits: neither may wrap
  // round to a small number, nor be taken for "no length" and read on.
  SetInternetTimeouts(5000);
  for (const char* length :
       {"18446744073709551616", "99999999999999999999", "123456789012345678901234567890"}) {
    Sim().Script(
        std::string(R"({"stream_bytes": 10, "silence": "after_head", "content_length": )") +
        length + "}");
    const auto start = Clock::now();
    std::string response;
    const auto raised = RaisedBy([&] { transport_.Execute("x", response); });
    ASSERT_TRUE(raised) << length;
    EXPECT_TRUE(NamesTheLimit(*raised, transport_.MaxAnswerBytes)) << MessageOf(*raised);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << length;
    EXPECT_TRUE(response.empty()) << length;
  }
}

TEST_F(HostileGateway, DrippingGatewayEndsAtTheDeadline) {
  // A byte every 10 ms (some 5 s in all) keeps the idle time-outs from
  // firing; the exchange as a whole may last no longer than the time-out set.
  SetInternetTimeouts(1000);
  Sim().Script(R"({"body": ")" + std::string(400, 'd') + R"(", "drip_interval": 0.01})");
  const auto start = Clock::now();
  const auto raised = RaisedBy([&] { Post(); });
  const auto elapsed = Clock::now() - start;
  ASSERT_TRUE(raised);
  const std::string url = Sim().BaseUrl() + std::string(kPath);
  EXPECT_TRUE(MessageOf(*raised).ends_with(" - URL:" + url +
                                           " - SOAPAction:" + Utf16ToUtf8(std::u16string(kAction))))
      << MessageOf(*raised);
  if (!RunningUnderWine()) {
    EXPECT_TRUE(MessageOf(*raised).starts_with("The operation timed out. - URL:"))
        << MessageOf(*raised);
  }
  // Cut off at the limit, not at some multiple of it. Under Wine the
  // exchange ends some 0.3 s after it (0.5 s on a busy machine); a doubled
  // limit still fails both bounds.
  const auto margin = std::chrono::milliseconds(RunningUnderWine() ? 900 : 500);
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1000) + margin)
      << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms";
  EXPECT_FALSE(transport_.Connected());

  // The next exchange is not affected by the aborted one.
  Sim().Script(R"({"body": "fine"})");
  EXPECT_EQ(Post(), "fine");
}

TEST_F(HostileGateway, NoThreadOutlivesTheExchange) {
#ifdef _WIN32
  // WinINet keeps threads of its own between requests (Wine's, for one,
  // collects idle connections on a thread), so the count says nothing here.
  GTEST_SKIP() << "the thread count is taken on Linux";
#else
  // Neither an exchange that ends in time nor one cut off at its deadline
  // leaves a thread behind: not the one that watched it, nor one kept for
  // the next exchange.
  SetInternetTimeouts(1000);
  // ThreadSanitizer starts a thread of its own with the program's first
  // one: a thread started and joined here puts that before the count.
  std::thread([] {}).join();
  const size_t before = ThreadCount();
  Sim().Script(R"({"body": "fine"})");
  EXPECT_EQ(Post(), "fine");
  EXPECT_EQ(ThreadCount(), before);
  SetInternetTimeouts(200);
  Sim().Script(R"({"body": ")" + std::string(100, 'd') + R"(", "drip_interval": 0.01})");
  EXPECT_TRUE(RaisedBy([&] { Post(); }));
  EXPECT_EQ(ThreadCount(), before);
#endif
}

TEST_F(HostileGateway, ErrorStatusFailsWhateverTheLengthOfItsReason) {
  const std::string url = Sim().BaseUrl() + std::string(kPath);
  for (size_t length : {size_t{2047}, size_t{2048}, size_t{5000}}) {
    Sim().Script(R"({"status": 503, "reason_bytes": )" + std::to_string(length) +
                 R"(, "result": "1000001"})");
    const auto raised = RaisedBy([&] { Post(); });
    ASSERT_TRUE(raised) << "reason of " << length;
    // Wine's WinINet cuts the status line at 4095 bytes, the reason with it.
    const size_t kept = RunningUnderWine() ? std::min<size_t>(length, 4095 - 13) : length;
    EXPECT_EQ(MessageOf(*raised), std::string(kept, 'x') + " (503) - '" + url + "'");
    EXPECT_EQ(raised->StatusCode(), 503);
  }
  Sim().Script(R"({"status": 302, "reason": "", "result": "1000001"})");
  const auto raised = RaisedBy([&] { Post(); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(raised->StatusCode(), 302);
}

TEST_F(HostileGateway, HugeHeadersAreReadOrRefusedWithAMessage) {
  // One header of 100 KB, then 2000 small ones: either the answer arrives or
  // the failure says what went wrong.
  Sim().Script(R"([{"body": "one", "header_flood": {"count": 1, "bytes": 102400}},
                   {"body": "many", "header_flood": {"count": 2000, "bytes": 64}}])");
  for (const char* body : {"one", "many"}) {
    try {
      EXPECT_EQ(Post(), body);
    } catch (const ESOAPHTTPException& raised) {
      EXPECT_FALSE(MessageOf(raised).starts_with(" - URL:")) << MessageOf(raised);
      EXPECT_EQ(raised.StatusCode(), 0);
    }
  }
}

} // namespace
} // namespace tellavo::test
