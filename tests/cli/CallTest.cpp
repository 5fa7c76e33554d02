// The scripting contract of `tellavo call`: results printed exactly, JSON
// lines, event-log entries in order with the calls, one basket across the
// calls of a run, and the exit statuses.
#include <gtest/gtest.h>

#include <string>

#include "TellavoProcess.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {
namespace {

const std::vector<std::string> kGetInfo{"getinfo", "tellavo", "s3cret", "42"};
const std::vector<std::string> kSend{"sendsms", "tellavo", "s3cret", "TELLAVO", "", "42"};
const std::vector<std::string> kSendConcat{"sendsmsconcat", "tellavo", "s3cret",
                                           "TELLAVO",       "",        "42"};

// call [options] CALL [-- CALL] ...
std::vector<std::string> Calls(std::vector<std::string> options,
                               const std::vector<std::vector<std::string>>& calls) {
  options.insert(options.begin(), "call");
  for (size_t i = 0; i < calls.size(); ++i) {
    if (i > 0)
      options.push_back("--");
    options.insert(options.end(), calls[i].begin(), calls[i].end());
  }
  return options;
}

class CallTest : public SimulatorTest {
protected:
  ScopedProxyEnvironment proxy_{Sim()};
};

TEST_F(CallTest, PlainOutputIsEachResultAndOneLineFeed) {
  const TellavoRun run = RunTellavo(Calls({}, {kGetInfo, {"clearsmsbasket"}, kSend}));
  EXPECT_EQ(run.status, 0) << run.err;
  // getinfo ends every originator with a line feed; clearsmsbasket prints an
  // empty line; sendsms on the empty basket answers -2 without any request.
  EXPECT_EQ(run.out, "TELLAVO\nINFO\n\n\n-2\n");
  EXPECT_EQ(Sim().Requests().size(), 1u);
}

TEST_F(CallTest, JsonLinesCarryMethodHresultAndRetvalue) {
  const TellavoRun run = RunTellavo(Calls({"--json"}, {kGetInfo, {"clearsmsbasket"}}));
  ASSERT_EQ(run.status, 0) << run.err;
  // Byte for byte as documented: scripts match these lines as text.
  EXPECT_EQ(run.out,
            R"({"method": "getinfo", "hresult": "0x00000000", "retvalue": "TELLAVO\nINFO\n"})"
            "\n"
            R"({"method": "clearsmsbasket", "hresult": "0x00000000", "retvalue": null})"
            "\n");
}

TEST_F(CallTest, JsonEscapesControlCharactersAndKeepsUnicode) {
  const std::string answer = "1;DEL\"IVERED\\\r\n\tçğ \xF0\x9F\x93\xA9\r\n";
  Sim().Script(R"({"result": )" + JsonValue(answer).dump() + "}");
  const TellavoRun run =
      RunTellavo(Calls({"--json"}, {{"getmsgstatus", "tellavo", "s3cret", "1", "42"}}));
  ASSERT_EQ(run.status, 0) << run.err;
  // One line, with no raw control character in it, reading back as sent.
  ASSERT_EQ(run.OutLines().size(), 1u) << run.out;
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  EXPECT_NE(run.out.find(R"(\r\n\t)"), std::string::npos);
  EXPECT_NE(run.out.find("çğ \xF0\x9F\x93\xA9"), std::string::npos) << "not raw UTF-8";
  EXPECT_EQ(run.OutJson()[0].at("retvalue"), answer);
}

TEST_F(CallTest, OneBasketServesEveryCallOfTheRun) {
  const std::string longText(161, 'L');
  const TellavoRun run =
      RunTellavo(Calls({"--json"}, {{"clearsmsbasket"},
                                    {"addtosmsbasket",
                                     "\xC5\x9E"
                                     "eker & \xC3\x87"
                                     "ay <1>",
                                     "5550000001"},
                                    {"addtosmsbasket", longText, "5550000002"},
                                    {"addtosmsbasket", std::string(613, 'x'), "5550000003"},
                                    kSend,
                                    kSendConcat}));
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = run.OutJson();
  ASSERT_EQ(lines.size(), 6u) << run.out;
  EXPECT_EQ(lines[1].at("retvalue"), "");
  EXPECT_EQ(lines[4].at("retvalue"), "1000001");
  EXPECT_EQ(lines[5].at("retvalue"), "1000002");

  // What the gateway received: the text folded, the long one in its own
  // request, the over-long one nowhere.
  const auto messages = Sim().Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].at("operation"), "SENDSMS");
  ASSERT_EQ(messages[0].at("recipients").size(), 1u);
  EXPECT_EQ(messages[0].at("recipients").at(0).at("number"), "5550000001");
  EXPECT_EQ(messages[0].at("recipients").at(0).at("text"), "Seker & \xC3\x87"
                                                           "ay <1>");
  EXPECT_EQ(messages[1].at("operation"), "SENDCONCAT");
  EXPECT_EQ(messages[1].at("recipients").at(0).at("text"), longText);
}

TEST_F(CallTest, ArgumentsReachTheModuleAsWritten) {
  // Quotes, blanks and backslashes (also before a quote and at the end) are
  // what a command line most easily garbles.
  const std::vector<std::string> texts{R"(say "hi" twice)", R"(ends in \)", R"(\"\)", " "};
  std::vector<std::vector<std::string>> calls{{"clearsmsbasket"}};
  for (const std::string& text : texts)
    calls.push_back({"addtosmsbasket", text, "5550000001"});
  calls.push_back(kSend);
  const TellavoRun run = RunTellavo(Calls({}, calls));
  ASSERT_EQ(run.status, 0) << run.err;
  const auto recipients = Sim().Messages().at(0).at("recipients");
  ASSERT_EQ(recipients.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(recipients[i].at("text"), texts[i]);
}

TEST_F(CallTest, EventsAppearInOrderWithTheCalls) {
  ScopedProxyEnvironment unreachable("http://127.0.0.1:" + std::to_string(ClosedPort()));
  const TellavoRun run = RunTellavo(
      Calls({"--json", "--show-events"},
            {kGetInfo, {"clearsmsbasket"}, {"getmsgstatus", "tellavo", "s3cret", "1", "42"}}));
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = run.OutJson();
  if (RunningUnderWine()) {
    // Wine's event log keeps nothing that the client could read back: the
    // run shows the results alone, and the two entries are in Wine's trace.
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0].at("retvalue"), "-1");
    EXPECT_EQ(lines[2].at("retvalue"), "-1");
    ASSERT_EQ(run.tracedEvents.size(), 2u);
    for (const std::string& text : run.tracedEvents)
      EXPECT_EQ(text.rfind("ESOAPHTTPException ", 0), 0u) << text;
    return;
  }
  ASSERT_EQ(lines.size(), 5u) << run.out;
  for (const size_t i : {0u, 3u}) {
    const JsonValue& event = lines[i].at("event");
    EXPECT_EQ(event.at("source"), "Tellavo COM API");
    EXPECT_EQ(event.at("type"), 1);
    EXPECT_EQ(event.at("category"), 1);
    EXPECT_EQ(event.at("id"), 1);
    EXPECT_EQ(event.at("text").get<std::string>().rfind('E', 0), 0u)
        << event.at("text").get<std::string>();
  }
  EXPECT_EQ(lines[1].at("method"), "getinfo");
  EXPECT_EQ(lines[1].at("retvalue"), "-1");
  EXPECT_EQ(lines[2].at("method"), "clearsmsbasket");
  EXPECT_EQ(lines[4].at("method"), "getmsgstatus");
  EXPECT_EQ(lines[4].at("retvalue"), "-1");
}

TEST_F(CallTest, WithoutJsonEventsGoToStandardError) {
  ScopedProxyEnvironment unreachable("http://127.0.0.1:" + std::to_string(ClosedPort()));
  const TellavoRun run = RunTellavo(Calls({"--show-events"}, {kGetInfo}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "-1\n");
  if (RunningUnderWine()) {
    // Nothing to read back from Wine's event log; the entry is in its trace.
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.tracedEvents.size(), 1u);
    return;
  }
  const std::string event = run.err.substr(0, run.err.find('\n'));
  EXPECT_TRUE(HasDocumentedSpacing(event)) << event;
  EXPECT_EQ(JsonValue::parse(event).at("event").at("source"), "Tellavo COM API");
}

TEST_F(CallTest, AFailingCallEndsTheRunWithStatusOne) {
  TellavoRun run = RunTellavo(Calls({"--json"}, {{"clearsmsbasket"}, {"nosuchmethod"}, kSend}));
  EXPECT_EQ(run.status, 1);
  auto lines = run.OutJson();
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_EQ(lines[1].at("method"), "nosuchmethod");
  EXPECT_EQ(lines[1].at("hresult"), "0x80020006"); // DISP_E_UNKNOWNNAME
  EXPECT_FALSE(lines[1].at("error").get<std::string>().empty());
  EXPECT_TRUE(lines[1].at("retvalue").is_null());

  run = RunTellavo(Calls({}, {{"getinfo", "only-one-argument"}}));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("getinfo failed: 0x8002000E"), std::string::npos) << run.err;
  EXPECT_TRUE(Sim().Requests().empty());
}

TEST_F(CallTest, MalformedCommandLinesExitWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"call"},
                                             {"call", "--json"},
                                             {"call", "clearsmsbasket", "--"},
                                             {"call", "--", "--", "clearsmsbasket"},
                                             {"call", "--bogus", "clearsmsbasket"},
                                             {"nosuchcommand"},
                                             {}}) {
    const TellavoRun run = RunTellavo(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args.back());
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(RunTellavo({"call", "--module", "/nonexistent/libtellavo.so", "clearsmsbasket"}).status,
            1);
}

} // namespace
} // namespace tellavo::test
