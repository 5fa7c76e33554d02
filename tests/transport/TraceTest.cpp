// The wire trace on its own: what a record shows and hides, the file it goes
// to (rotation, permissions, failures) and records of several threads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "common/Utf.h"
#include "transport/ExchangeTrace.h"
#include "transport/TraceCall.h"
#include "transport/TraceFile.h"

namespace tellavo::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

size_t Count(std::string_view text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class TraceTest : public ::testing::Test {
protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("tellavo-trace-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path File() const { return folder_ / "trace.log"; }
  TTraceOptions Options(uint64_t maxBody = kDefaultTraceMaxBodyBytes,
                        uint64_t maxBytes = kDefaultTraceMaxBytes) const {
    return {File().u16string(), maxBody, maxBytes};
  }

  fs::path folder_;
};

TEST(TraceMask, EveryFormOfASecretAndEveryAuthorizationValueIsMasked) {
  const std::vector<std::string> secrets = {"p&amp;amp;w", "p&amp;w", "p&w"};
  const std::string text = "raw p&w, in the document p&amp;w, in the envelope p&amp;amp;w\n"
                           "Authorization: Basic dXNlcjpwYXNz\n"
                           "proxy-authorization:Negotiate abc\n"
                           "X-Authorization-Note: kept\n";
  EXPECT_EQ(MaskSecrets(text, secrets),
            "raw ********, in the document ********, in the envelope ********\n"
            "Authorization: ********\n"
            "proxy-authorization:********\n"
            "X-Authorization-Note: kept\n");
}

TEST_F(TraceTest, RecordShowsTheExchangeAndHidesThePassword) {
  TTraceCall call(u"getinfo");
  // The password in the three forms a request holds it: as given, escaped in
  // the document, and escaped once more in the envelope.
  call.Start(Options(), {u"a<b", u"a&lt;b"});
  const std::string envelope = "<xml>&lt;PASSWORD&gt;a&amp;lt;b&lt;/PASSWORD&gt;</xml>";
  {
    TExchangeTrace trace(u"GetOriginatorsWebService", u"getOriginators");
    ASSERT_TRUE(trace.Recording());
    trace.Request(u"https://gw.example/GetOriginators.asmx", u"urn:x/getOriginators", envelope);
    trace.ResponseHead(u"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nAuthorization: x\r\n\r\n",
                       true);
    trace.Answer("<answer>a<b</answer>");
    trace.Succeeded();
  }
  const std::string record = ReadAll(File());
  EXPECT_TRUE(record.starts_with("==== ")) << record;
  for (const char* line :
       {"\nMethod: getinfo\n", "\nService: GetOriginatorsWebService, operation getOriginators\n",
        "\nURL: https://gw.example/GetOriginators.asmx\n",
        "\nSOAPAction: \"urn:x/getOriginators\"\n", "\nConnection: reused\n",
        "\nRequest: 54 bytes\n<xml>&lt;PASSWORD&gt;********&lt;/PASSWORD&gt;</xml>\n",
        "\nResponse:\nHTTP/1.1 200 OK\nContent-Type: text/xml\nAuthorization: ********\n",
        "\nAnswer: 20 bytes\n<answer>********</answer>\n", "\nResult: success\n"})
    EXPECT_NE(record.find(line), std::string::npos) << line << "\nin\n" << record;
  EXPECT_EQ(record.find("a<b"), std::string::npos);
  EXPECT_EQ(record.find("lt;b"), std::string::npos);
}

TEST_F(TraceTest, BodiesAreCutAtTheLimitSayingSoAndAFailureIsNamed) {
  TTraceCall call(u"sendsms");
  call.Start(Options(10), {u"SECRET"});
  {
    TExchangeTrace trace(u"SendSMSWebService", u"sendSMS");
    // The secret straddles the cut: not even its first letters show.
    trace.Request(u"https://gw.example/x", u"a", "0123456SECRET789");
    // A cut never ends inside a character: the euro sign is 3 bytes.
    trace.Answer("012345678\xE2\x82\xAC tail");
    trace.Failed(ESOAPHTTPException(u"Not Found (404) - 'x'", 404));
  }
  const std::string record = ReadAll(File());
  EXPECT_NE(record.find("\nRequest: 16 bytes, cut to the first 10 shown\n0123456***\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("\nAnswer: 17 bytes, cut to the first 9 shown\n012345678\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("\nConnection: no response\nRequest:"), std::string::npos) << record;
  EXPECT_NE(record.find("\nResponse: none\n"), std::string::npos) << record;
  EXPECT_NE(record.find("\nResult: ESOAPHTTPException Not Found (404) - 'x'\n"), std::string::npos)
      << record;
  EXPECT_EQ(record.find("SEC"), std::string::npos);
}

TEST_F(TraceTest, NothingIsRecordedOutsideATracedCall) {
  {
    TExchangeTrace outside(u"S", u"op");
    EXPECT_FALSE(outside.Recording());
  }
  TTraceCall off(u"getinfo");
  off.Start({}, {u"pw"});
  TExchangeTrace untraced(u"S", u"op");
  EXPECT_FALSE(untraced.Recording());
  untraced.Succeeded();
  EXPECT_FALSE(fs::exists(File()));
}

TEST_F(TraceTest, FileIsRenamedAtTheLimitReplacingTheOlderOne) {
  const std::string record(40, 'r');
  const std::u16string file = File().u16string();
  const fs::path rotated = folder_ / "trace.log.1";
  // 100 bytes hold two records; the third begins a new file.
  AppendTraceRecord(file, 100, record + "1\n");
  AppendTraceRecord(file, 100, record + "2\n");
  EXPECT_FALSE(fs::exists(rotated));
  AppendTraceRecord(file, 100, record + "3\n");
  EXPECT_EQ(ReadAll(rotated), record + "1\n" + record + "2\n");
  EXPECT_EQ(ReadAll(File()), record + "3\n");
  AppendTraceRecord(file, 100, record + "4\n");
  AppendTraceRecord(file, 100, record + "5\n");
  EXPECT_EQ(ReadAll(rotated), record + "3\n" + record + "4\n");
  EXPECT_EQ(ReadAll(File()), record + "5\n");
  // A record larger than the limit still goes whole, into a file of its own.
  const std::string large(300, 'L');
  AppendTraceRecord(file, 100, large);
  EXPECT_EQ(ReadAll(rotated), record + "5\n");
  EXPECT_EQ(ReadAll(File()), large);
}

TEST_F(TraceTest, NewFileIsReadableByItsOwnerOnly) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows the file takes its folder's permissions";
#else
  AppendTraceRecord(File().u16string(), 100, "x\n");
  EXPECT_EQ(fs::status(File()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
#endif
}

TEST_F(TraceTest, UnwritableFileIsReportedOncePerProcessAndStopsTheCallsTrace) {
  const fs::path missing = folder_ / "no such folder" / "trace.log";
  for (int i = 0; i < 2; ++i) {
    TTraceCall call(u"getinfo");
    call.Start({missing.u16string()}, {});
    {
      TExchangeTrace trace(u"S", u"op");
      ASSERT_TRUE(trace.Recording());
      trace.Succeeded();
    }
    // The call's later exchanges go untraced.
    EXPECT_FALSE(TExchangeTrace(u"S", u"op").Recording());
    const std::optional<Exception> failure = call.TakeFailure();
    if (i == 1) {
      EXPECT_FALSE(failure) << "reported twice";
      continue;
    }
    ASSERT_TRUE(failure);
    const std::string message = Utf16ToUtf8(failure->ReportText());
    EXPECT_TRUE(message.starts_with("Exception The trace file '" +
                                    Utf16ToUtf8(missing.u16string()) + "' cannot be written: "))
        << message;
  }
}

TEST_F(TraceTest, RecordsOfManyThreadsNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kRecords = 50;
  // Records of 20 KB: far beyond what one small write would carry.
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string record = "<" + std::string(20000, static_cast<char>('a' + t)) + ">\n";
      for (int i = 0; i < kRecords; ++i)
        AppendTraceRecord(File().u16string(), kDefaultTraceMaxBytes, record);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  const std::string all = ReadAll(File());
  ASSERT_EQ(all.size(), size_t{kThreads} * kRecords * 20003);
  for (size_t at = 0; at < all.size(); at += 20003) {
    const char letter = all[at + 1];
    ASSERT_EQ(all.substr(at, 20003), "<" + std::string(20000, letter) + ">\n") << "at " << at;
  }
  EXPECT_EQ(Count(all, "<"), size_t{kThreads} * kRecords);
}

} // namespace
} // namespace tellavo::test
