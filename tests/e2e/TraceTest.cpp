// The wire trace of Gateway calls against the simulator: each exchange leaves
// one record holding what the gateway received and answered, byte for byte,
// with the password masked wherever it stood; a trace that cannot be written
// costs one event entry and never the call.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "GatewayModule.h"
#include "common/Bstr.h"
#include "common/Utf.h"
#include "support/Environment.h"
#include "support/Wine.h"

namespace tellavo::test {
namespace {

namespace fs = std::filesystem;

constexpr char kTraceVariable[] = "TELLAVO_TRACE_FILE";
constexpr std::string_view kMask = "********";
// A password in each of its forms: as given, in the request document, and in
// the envelope, where the document is escaped once more.
constexpr std::u16string_view kSpecialPassword = u"pa&ss<w>rd";
constexpr std::string_view kPasswordForms[] = {"pa&ss<w>rd", "pa&amp;ss&lt;w&gt;rd",
                                               "pa&amp;amp;ss&amp;lt;w&amp;gt;rd"};

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string Replaced(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from)) {
    out.append(text.substr(0, at)).append(to);
    text.remove_prefix(at + from.size());
  }
  return out.append(text);
}

// The records of a trace, each from its "==== " line to the next one.
std::vector<std::string> Records(const std::string& trace) {
  std::vector<std::string> records;
  for (size_t at = trace.find("==== "); at != std::string::npos;) {
    const size_t next = trace.find("\n==== ", at);
    records.push_back(trace.substr(at, next == std::string::npos ? next : next + 1 - at));
    at = next == std::string::npos ? next : next + 1;
  }
  return records;
}

// The body a record shows under `label` ("\nRequest: " or "\nAnswer: "), up
// to `next`.
std::string Body(const std::string& record, std::string_view label, std::string_view next) {
  const size_t start = record.find(label);
  const size_t text = record.find('\n', start + 1) + 1;
  const size_t end = record.find(next, text);
  if (start == std::string::npos || end == std::string::npos)
    return "(not in the record)";
  return record.substr(text, end - text);
}

bool Has(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

class GatewayTraceTest : public GatewayTest {
protected:
  void SetUp() override {
    GatewayTest::SetUp();
    folder_ = fs::temp_directory_path() /
              ("tellavo-e2e-trace-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    TraceTo(folder_ / "trace.log");
    Sim().SetAccounts(R"([{"user": "special", "password": "pa&ss<w>rd", "vendor": "42",
                           "originators": ["SPECIAL"]},
                          {"user": "tellavo", "password": "s3cret", "vendor": "42",
                           "originators": ["TELLAVO", "INFO"]}])");
  }
  void TearDown() override {
    SetEnvironment(kTraceVariable, std::nullopt);
    fs::remove_all(folder_);
    GatewayTest::TearDown();
  }

  void TraceTo(const fs::path& file) {
    trace_ = file;
    SetEnvironment(kTraceVariable, file.string());
  }
  std::string Trace() const { return ReadAll(trace_); }
  // The password appears in no form anywhere in the trace.
  void ExpectNoPassword() const {
    const std::string trace = Trace();
    for (std::string_view form : kPasswordForms)
      EXPECT_FALSE(Has(trace, form)) << form;
  }

  fs::path folder_;
  fs::path trace_;
};

TEST_F(GatewayTraceTest, QueryRecordHoldsWhatTheGatewayReceivedAndAnswered) {
  const std::string answer =
      R"(<?xml version="1.0" encoding="utf-8"?><soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><getOriginatorsResponse xmlns="http://ws.tellavo.example/"><getOriginatorsResult>&lt;ORIGINATORS&gt;&lt;ORIGINATOR&gt;SPECIAL&lt;/ORIGINATOR&gt;&lt;/ORIGINATORS&gt;</getOriginatorsResult></getOriginatorsResponse></soap:Body></soap:Envelope>)";
  ScriptAnswer(R"({"body": ")" + Replaced(answer, "\"", "\\\"") + R"("})");
  EXPECT_EQ(GetInfo(u"special", kSpecialPassword, kVendor).retvalue, u"SPECIAL\n");

  const std::vector<std::string> records = Records(Trace());
  ASSERT_EQ(records.size(), 1u) << Trace();
  const std::string& record = records[0];
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  ASSERT_TRUE(Has(requests[0].body, kPasswordForms[2]));
  EXPECT_EQ(Body(record, "\nRequest: ", "\nResponse:"),
            Replaced(requests[0].body, kPasswordForms[2], kMask));
  EXPECT_EQ(Body(record, "\nAnswer: ", "\nTime: "), answer);
  for (const char* line :
       {"\nMethod: getinfo\n", "\nService: GetOriginatorsWebService, operation getOriginators\n",
        "\nURL: https://gateway.tellavo.example/GetOriginators/GetOriginators.asmx\n",
        "\nSOAPAction: \"http://ws.tellavo.example/getOriginators\"\n",
        "\nResponse:\nHTTP/1.1 200 ", "\nContent-Type: text/xml; charset=utf-8\n",
        "\nResult: success\n"})
    EXPECT_TRUE(Has(record, line)) << line << "\nin\n" << record;
  EXPECT_TRUE(Has(record, "\nAnswer: " + std::to_string(answer.size()) + " bytes\n")) << record;
  ExpectNoPassword();
}

TEST_F(GatewayTraceTest, SendLeavesARecordOfEachExchange) {
  Queue(u"Merhaba", u"5550000001");
  ASSERT_EQ(SendSms(u"special", kSpecialPassword, u"SPECIAL").retvalue, u"1000001");

  const std::vector<std::string> records = Records(Trace());
  ASSERT_EQ(records.size(), 2u) << Trace();
  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 2u);
  const char* services[] = {"\nService: GetOriginatorsWebService, operation getOriginators\n",
                            "\nService: SendSMSWebService, operation sendSMS\n"};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(Has(records[i], "\nMethod: sendsms\n")) << records[i];
    EXPECT_TRUE(Has(records[i], services[i])) << records[i];
    EXPECT_TRUE(Has(records[i], "\nResult: success\n")) << records[i];
    EXPECT_EQ(Body(records[i], "\nRequest: ", "\nResponse:"),
              Replaced(requests[i].body, kPasswordForms[2], kMask));
  }
  EXPECT_TRUE(Has(Body(records[1], "\nAnswer: ", "\nTime: "), "MSGID&gt; 1000001 &lt;/MSGID"))
      << records[1];
  // The sending exchange follows the credit check to the same host.
  const bool sameConnection = requests[0].connection == requests[1].connection;
  EXPECT_TRUE(Has(records[0], "\nConnection: new\n") || RunningUnderWine()) << records[0];
  // Wine's WinINet says "from the kept connections" of every request whose
  // answer keeps its connection open, the first one included.
  if (!RunningUnderWine()) {
    EXPECT_TRUE(Has(records[1], sameConnection ? "\nConnection: reused\n" : "\nConnection: new\n"))
        << records[1];
  }
  ExpectNoPassword();
}

TEST_F(GatewayTraceTest, FailureIsRecordedWithItsException) {
  ScriptAnswer(R"({"status": 404, "reason": "Not Found"})");
  ScriptAnswer(R"({"fault": {"code": "soap:Client", "string": "Bad pa&ss<w>rd"}})");
  EXPECT_EQ(GetMsgStatus(u"special", kSpecialPassword, u"1", kVendor).retvalue, u"-1");
  EXPECT_EQ(GetMsgStatus(u"special", kSpecialPassword, u"1", kVendor).retvalue, u"-1");

  const std::vector<std::string> records = Records(Trace());
  ASSERT_EQ(records.size(), 2u) << Trace();
  EXPECT_TRUE(Has(records[0], "\nResponse:\nHTTP/1.1 404 Not Found\n")) << records[0];
  EXPECT_TRUE(Has(records[0], "\nAnswer: none\n")) << records[0];
  EXPECT_TRUE(Has(records[0], "\nResult: ESOAPHTTPException Not Found (404) - "
                              "'https://report.tellavo.example/GetStatus/GetStatus.asmx'\n"))
      << records[0];
  // The fault's text names the password: masked there too, in the answer
  // and in the exception's message.
  EXPECT_TRUE(Has(records[1], "\nResponse:\nHTTP/1.1 500 ")) << records[1];
  EXPECT_TRUE(Has(records[1], "\nResult: ERemotableException Bad ********\n")) << records[1];
  ExpectNoPassword();

  // A failed send ends with what became of its messages, as its event entry.
  Queue(u"x", u"1");
  ScriptAnswer(R"({"match_path": "/SendSMS/SendSMS.asmx", "result": "Sistem hatasi"})");
  EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"Sistem hatasi");
  const std::vector<std::string> sent = Records(Trace());
  ASSERT_EQ(sent.size(), 5u) << Trace();
  EXPECT_TRUE(
      sent[4].ends_with("\nMethod: sendsms\nOutcome: The gateway may have accepted the "
                        "messages: check getmsgstatustodate before sending them again.\n\n"))
      << sent[4];
}

TEST_F(GatewayTraceTest, UnwritableTraceCostsOneEventAndNeverTheCall) {
  const fs::path unwritable = folder_ / "missing folder" / "trace.log";
  TraceTo(unwritable);
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  const std::u16string text = OnlyEventText();
  EXPECT_TRUE(text.starts_with(u"Exception The trace file '" + unwritable.u16string() +
                               u"' cannot be written: "))
      << Utf16ToUtf8(text);
  ClearEvents();
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  EXPECT_TRUE(EventTexts().empty()) << "reported once per process";
  EXPECT_FALSE(fs::exists(unwritable));
}

TEST_F(GatewayTraceTest, RecordsOfCallsSideBySideStayWhole) {
  constexpr int kThreads = 4;
  constexpr int kCalls = 5;
  std::vector<std::thread> threads;
  std::vector<int> answered(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      WithOwnGateway([&](IGateway& gateway) {
        for (int i = 0; i < kCalls; ++i) {
          BStr retvalue;
          if (gateway.getinfo(Arg(kUser), Arg(kPassword), Arg(kVendor), retvalue.Out()) == S_OK &&
              retvalue.View() == u"TELLAVO\nINFO\n")
            ++answered[t];
        }
      });
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int t = 0; t < kThreads; ++t)
    EXPECT_EQ(answered[t], kCalls) << "thread " << t;

  const std::vector<std::string> records = Records(Trace());
  ASSERT_EQ(records.size(), size_t{kThreads * kCalls});
  for (const std::string& record : records) {
    // Each record is whole: its fields in order, each once.
    size_t at = 0;
    for (const char* field : {"\nMethod: getinfo\n", "\nURL: ", "\nRequest: ", "\nResponse:\n",
                              "\nAnswer: ", "\nTime: ", "\nResult: success\n"}) {
      const size_t found = record.find(field, at);
      ASSERT_NE(found, std::string::npos) << field << "\nin\n" << record;
      at = found + 1;
    }
    EXPECT_EQ(record.find("\nResult: ", at), std::string::npos) << record;
  }
}

} // namespace
} // namespace tellavo::test
