// The subcommands for people: their output, their explanations of the result
// codes, their exit statuses, CSV input, the account they insist on and the
// places a password comes from.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#endif

#include "TellavoProcess.h"
#include "support/Environment.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {
namespace {

const std::vector<std::string> kAccount{"--user", "tellavo",  "--password",
                                        "s3cret", "--vendor", "42"};

std::vector<std::string> With(std::vector<std::string> args,
                              const std::vector<std::string>& more = kAccount) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// Whether the run shows an event-log entry whose text starts with `start`,
// in the explanation on standard error. Wine's event log keeps nothing that
// the client could read back, so there the entry is only in Wine's trace of
// the report.
bool ShowsEntry(const TellavoRun& run, const std::string& start) {
  if (!RunningUnderWine())
    return Contains(run.err, "  event log: " + start);
  for (const std::string& text : run.tracedEvents)
    if (text.starts_with(start))
      return true;
  return false;
}

class FriendlyCommandsTest : public SimulatorTest {
protected:
  ScopedProxyEnvironment proxy_{Sim()};
  TempFolder folder_;
};

TEST_F(FriendlyCommandsTest, InfoListsOriginatorsWithThePasswordFromStandardInput) {
  EXPECT_EQ(RunTellavo(With({"info"})).out, "TELLAVO\nINFO\n");
  for (const char* option : {"--password-stdin", "--password=-"}) {
    const TellavoRun run =
        RunTellavo({"info", "--user", "prepaid", option, "--vendor", "42"}, "s3cret\r\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "PREPAID\n1000\n") << option;
  }
  for (const char* input : {"", "\n"}) {
    const TellavoRun empty =
        RunTellavo({"info", "--user", "tellavo", "--password-stdin", "--vendor", "42"}, input);
    EXPECT_EQ(empty.status, 2);
    EXPECT_TRUE(Contains(empty.err, "no password on standard input")) << empty.err;
  }
}

// The password variable, restored at the end of the scope.
class ScopedPassword {
public:
  explicit ScopedPassword(const std::optional<std::string>& value)
      : saved_(GetEnvironment(kVariable)) {
    SetEnvironment(kVariable, value);
#ifdef _WIN32
    // The C runtime removes a variable that it is asked to empty; the system
    // keeps it, empty, for the processes it starts.
    if (value && value->empty())
      SetEnvironmentVariableA(kVariable, "");
#endif
  }
  ~ScopedPassword() {
    SetEnvironment(kVariable, saved_);
  }
  ScopedPassword(const ScopedPassword&) = delete;
  ScopedPassword& operator=(const ScopedPassword&) = delete;

private:
  static constexpr const char* kVariable = "TELLAVO_PASSWORD";
  std::optional<std::string> saved_;
};

TEST_F(FriendlyCommandsTest, PasswordFromTheEnvironmentIsUsedAndNeverShown) {
  const ScopedPassword password("s3cret");
  const TellavoRun info = RunTellavo({"info", "--user", "tellavo", "--vendor", "42"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out, "TELLAVO\nINFO\n");
  // The command line wins over the environment: the gateway refuses.
  const TellavoRun wrong =
      RunTellavo({"info", "--user", "tellavo", "--password", "wrong", "--vendor", "42"});
  EXPECT_TRUE(Contains(wrong.out, "Invalid user name, password or vendor identifier")) << wrong.out;
  EXPECT_FALSE(Contains(wrong.out + wrong.err, "s3cret")) << wrong.err;

  const TellavoRun sent = RunTellavo({"send", "--user", "tellavo", "--vendor", "42", "--originator",
                                      "TELLAVO", "--to", "5550000001", "--text", "hi"});
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_FALSE(Contains(sent.out + sent.err, "s3cret"));
  EXPECT_EQ(Sim().Messages().size(), 1u);
}

TEST_F(FriendlyCommandsTest, AMissingAccountIsAUsageErrorBeforeAnythingIsSent) {
  const ScopedPassword noPassword(std::nullopt);
  const std::vector<std::vector<std::string>> commands{
      {"info"},
      {"status", "1000001"},
      {"report", "2000-01-01", "2999-12-31"},
      {"send", "--originator", "TELLAVO", "--to", "5550000001", "--text", "hi"}};
  // What is left out, and the option or source that the error names.
  const std::vector<std::pair<std::vector<std::string>, std::string>> missing{
      {{"--password", "s3cret", "--vendor", "42"}, "missing --user NAME"},
      {{"--user", "", "--password", "s3cret", "--vendor", "42"}, "missing --user NAME"},
      {{"--user", "tellavo", "--password", "s3cret"}, "missing --vendor ID"},
      {{"--user", "tellavo", "--password", "s3cret", "--vendor="}, "missing --vendor ID"},
      // Standard input is no terminal here, so nobody can be asked.
      {{"--user", "tellavo", "--vendor", "42"}, "missing password"},
      {{"--user", "tellavo", "--password=", "--vendor", "42"}, "--password is empty"}};
  for (const auto& command : commands) {
    for (const auto& [account, named] : missing) {
      const TellavoRun run = RunTellavo(With(command, account));
      EXPECT_EQ(run.status, 2) << command[0] << ' ' << named;
      EXPECT_TRUE(Contains(run.err, named)) << run.err;
      EXPECT_TRUE(Contains(run.err, "Try 'tellavo " + command[0] + " --help'")) << run.err;
      EXPECT_EQ(run.out, "");
    }
  }
  EXPECT_TRUE(Sim().Messages().empty());
  // A dry run needs no account.
  EXPECT_EQ(RunTellavo({"send", "--dry-run", "--to", "5550000001", "--text", "hi"}).status, 0);
}

TEST_F(FriendlyCommandsTest, PasswordSourcesThatConflictOrAreEmptyAreUsageErrors) {
  for (const auto& both :
       std::vector<std::vector<std::string>>{{"--password", "s3cret", "--password-stdin"},
                                             {"--password-stdin", "--password", "s3cret"}}) {
    std::vector<std::string> args{"info", "--user", "tellavo", "--vendor", "42"};
    args.insert(args.end(), both.begin(), both.end());
    const TellavoRun run = RunTellavo(args, "s3cret\n");
    EXPECT_EQ(run.status, 2) << both[0];
    EXPECT_TRUE(Contains(run.err, "either with --password or on standard input")) << run.err;
  }
  // An empty variable is no password: nothing is sent with it.
  const ScopedPassword empty("");
  const TellavoRun run = RunTellavo({"send", "--user", "tellavo", "--vendor", "42", "--originator",
                                     "TELLAVO", "--to", "5550000001", "--text", "hi"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "missing password")) << run.err;
  EXPECT_TRUE(Sim().Requests().empty());
}

TEST_F(FriendlyCommandsTest, UsageErrorsPointAtTheHelpOfTheirCommand) {
  const TellavoRun unknownOption = RunTellavo(With({"status", "--nosuchoption", "1"}));
  EXPECT_EQ(unknownOption.status, 2);
  EXPECT_TRUE(Contains(unknownOption.err, "unknown option --nosuchoption\n"
                                          "Try 'tellavo status --help' for more information."))
      << unknownOption.err;
  const TellavoRun call = RunTellavo({"call"});
  EXPECT_EQ(call.status, 2);
  EXPECT_TRUE(Contains(call.err, "Try 'tellavo call --help'")) << call.err;
  // Before a command is known, the overview is the help to read.
  const TellavoRun unknownCommand = RunTellavo({"nosuchcommand"});
  EXPECT_EQ(unknownCommand.status, 2);
  EXPECT_TRUE(Contains(unknownCommand.err, "Try 'tellavo --help'")) << unknownCommand.err;
}

TEST_F(FriendlyCommandsTest, UnreachableGatewayIsExplainedWithItsEventLogEntry) {
  ScopedProxyEnvironment unreachable("http://127.0.0.1:" + std::to_string(ClosedPort()));
  for (const auto& args : std::vector<std::vector<std::string>>{
           With({"info"}), With({"status", "1000001"}),
           With({"report", "2026-01-01", "2026-12-31"}),
           With({"send", "--originator", "TELLAVO", "--to", "5550000001", "--text", "hi"})}) {
    const TellavoRun run = RunTellavo(args);
    // Wine's event log keeps no entry that would tell the client that
    // nothing was sent: a send it cannot account for may have gone out.
    const bool unknown = args[0] == "send" && RunningUnderWine();
    EXPECT_EQ(run.status, unknown ? 3 : 1) << args[0];
    EXPECT_TRUE(
        Contains(run.err, "could not be reached, did not answer, or answered with an error"))
        << run.err;
    EXPECT_TRUE(ShowsEntry(run, "E")) << run.err;
  }
}

// An answer that is not XML, or whose originator or message identifier holds
// markup, is no result: info fails, and a send's outcome is not known.
TEST_F(FriendlyCommandsTest, AnUnreadableAnswerIsShownWithItsEventLogEntry) {
  const std::vector<std::string> send =
      With({"send", "--originator", "TELLAVO", "--to", "5550000001", "--text", "hi"});
  const struct {
    std::vector<std::string> args;
    std::string service;
    std::string answer;
    std::string failure;
    int status;
  } unreadable[]{{With({"info"}), "GetOriginators", "Service unavailable", "EDOMParseError", 1},
                 {With({"info"}), "GetOriginators",
                  "<ORIGINATORS><ORIGINATOR><B>X</B></ORIGINATOR></ORIGINATORS>", "EXMLDocError",
                  1},
                 {send, "SendSMS", "<SENDSMS_RESPONSE><MSGID><B>7</B></MSGID></SENDSMS_RESPONSE>",
                  "EXMLDocError", 3}};
  for (const auto& [args, service, answer, failure, status] : unreadable) {
    Sim().Reset();
    Sim().Script(R"({"match_path": "/)" + service + "/" + service + R"(.asmx", "result": ")" +
                 answer + R"("})");
    const TellavoRun run = RunTellavo(args);
    EXPECT_TRUE(ShowsEntry(run, failure)) << run.err;
    // With no entry to read back from Wine's event log, the client cannot
    // tell an unreadable answer from a result.
    if (RunningUnderWine()) {
      if (failure == "EDOMParseError") {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, answer);
      }
      continue;
    }
    EXPECT_EQ(run.status, status) << answer;
    EXPECT_FALSE(Contains(run.out, answer)) << run.out;
    EXPECT_TRUE(Contains(run.err, "could not be read")) << run.err;
    EXPECT_TRUE(Contains(run.err, answer)) << run.err;
  }
}

// A trace file that cannot be written is logged, but the call goes on: the
// message is sent and its identifier printed, so that nobody sends it again.
TEST_F(FriendlyCommandsTest, AnUnwritableTraceIsAWarningAndTheMessageGoesOutOnce) {
  const std::vector<std::string> trace{"--trace", folder_.Path("missing/trace.log")};
  const TellavoRun sent = RunTellavo(
      With(With({"send", "--originator", "TELLAVO", "--to", "5550000001", "--text", "hi"}), trace));
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_EQ(sent.out, "queued 1 short, 0 long; dropped 0 over 612 characters\n"
                      "short: 1000001\n");
  EXPECT_EQ(Sim().Messages().size(), 1u);
  EXPECT_TRUE(ShowsEntry(sent, "Exception The trace file")) << sent.err;
  if (!RunningUnderWine()) {
    EXPECT_TRUE(Contains(sent.err, "tellavo: warning: the module logged during sendsms:"))
        << sent.err;
  }
  EXPECT_FALSE(Contains(sent.err, "could not be read")) << sent.err;

  const TellavoRun info = RunTellavo(With(With({"info"}), trace));
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out, "TELLAVO\nINFO\n");
  const TellavoRun status = RunTellavo(With(With({"status", "1000001"}), trace));
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_TRUE(status.out.starts_with("5550000001;DELIVERED;")) << status.out;
}

TEST_F(FriendlyCommandsTest, SendQueuesShortAndLongAndReportsDroppedMessages) {
  const std::string longText(612, 'L');
  const TellavoRun run =
      RunTellavo(With({"send", "--originator", "TELLAVO", "--to", "5550000001", "--text",
                       std::string(160, 'S'), "--to", "5550000002", "--text", longText, "--to",
                       "5550000003", "--text", std::string(613, 'x')}));
  // Everything that fits is sent: sending all of them again would send
  // those twice.
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "queued 1 short, 1 long; dropped 1 over 612 characters\n"
                     "short: 1000001\nlong: 1000002\n");
  EXPECT_TRUE(Contains(run.err, "dropped the message to 5550000003: 613 characters")) << run.err;
  EXPECT_TRUE(Contains(run.err, "some messages went out or may have")) << run.err;
  const auto messages = Sim().Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].at("recipients").at(0).at("text"), longText);

  const TellavoRun nothing = RunTellavo(With(
      {"send", "--originator", "TELLAVO", "--to", "5550000001", "--text", std::string(700, 'x')}));
  EXPECT_EQ(nothing.status, 1);
  EXPECT_TRUE(Contains(nothing.err, "nothing to send")) << nothing.err;
}

// The sending requests that reached the gateway, lost answers included.
size_t SendRequests(const Simulator& sim, std::string_view operation) {
  std::string element(1, '<');
  element.append(operation).append(1, ' ');
  size_t count = 0;
  for (const RecordedRequest& request : sim.Requests())
    if (request.body.find(element) != std::string::npos)
      ++count;
  return count;
}

// A script that retries a send on a non-zero status must never send twice:
// 1 says nothing went out, 3 that something went out or may have.
TEST_F(FriendlyCommandsTest, SendsExitStatusSaysWhetherSendingAgainIsSafe) {
  const std::vector<std::string> both =
      With({"send", "--originator", "TELLAVO", "--to", "5550000001", "--text", "short", "--to",
            "5550000002", "--text", std::string(200, 'L')});
  // The gateway reads the long basket's send and closes without answering.
  Sim().Script(
      R"({"match_path": "/SendSMS/SendSMS.asmx", "match_operation": "sendConcat", "close": "unanswered"})");
  const TellavoRun partly = RunTellavo(both);
  EXPECT_EQ(SendRequests(Sim(), "sendConcat"), 1u);
  EXPECT_EQ(partly.out, "queued 1 short, 1 long; dropped 0 over 612 characters\n"
                        "short: 1000001\n");
  EXPECT_EQ(partly.status, 3) << partly.err;
  EXPECT_TRUE(Contains(partly.err, "some messages went out or may have")) << partly.err;
  EXPECT_TRUE(Contains(partly.err, "long (1): the gateway may have accepted them; check with "
                                   "'tellavo report'"))
      << partly.err;
  EXPECT_TRUE(ShowsEntry(partly, "ESOAPHTTPException")) << partly.err;

  // One basket, whose send is read and left unanswered, answered with what
  // cannot be read, or answered with a cut answer: the outcome is not known.
  const std::vector<std::string> one =
      With({"send", "--originator", "TELLAVO", "--to", "5550000001", "--text", "hi"});
  const char* const unreadable = R"("result": "Sistem hatasi")";
  const char* const cut = R"("result": "<SENDSMS_RESPONSE><MSGID>7</MSGID></SENDSMS_RESPONSE>",
                            "close_after_bytes": 60)";
  for (const char* answer : {R"("close": "unanswered")", unreadable, cut}) {
    Sim().Reset();
    Sim().Script(std::string(R"({"match_path": "/SendSMS/SendSMS.asmx", )") + answer + "}");
    const TellavoRun unknown = RunTellavo(one);
    EXPECT_EQ(SendRequests(Sim(), "sendSMS"), 1u) << answer;
    if (answer == unreadable && RunningUnderWine()) {
      // With no entry to read back from Wine's event log, the client cannot
      // tell the unreadable answer from a message identifier.
      EXPECT_EQ(unknown.out, "queued 1 short, 0 long; dropped 0 over 612 characters\n"
                             "short: Sistem hatasi\n");
      continue;
    }
    EXPECT_EQ(unknown.status, 3) << answer << unknown.err;
    EXPECT_TRUE(Contains(unknown.err, "short (1): the gateway may have accepted them"))
        << unknown.err;
    if (!RunningUnderWine()) {
      EXPECT_TRUE(Contains(unknown.err, "The gateway may have accepted the messages: check "
                                        "getmsgstatustodate before sending them again."))
          << unknown.err;
    }
  }

  // Nothing reaches the gateway: sending again is safe.
  ScopedProxyEnvironment unreachable("http://127.0.0.1:" + std::to_string(ClosedPort()));
  const TellavoRun nothing = RunTellavo(both);
  EXPECT_EQ(nothing.out, "queued 1 short, 1 long; dropped 0 over 612 characters\n");
  if (RunningUnderWine()) {
    EXPECT_EQ(nothing.status, 3) << "no entry to tell that nothing was sent";
  } else {
    EXPECT_EQ(nothing.status, 1) << nothing.err;
    EXPECT_TRUE(Contains(nothing.err, "Nothing was sent: sending again is safe.")) << nothing.err;
    EXPECT_FALSE(Contains(nothing.err, "went out or may have")) << nothing.err;
  }
}

TEST_F(FriendlyCommandsTest, SendReadsQuotedCsvAndTheBasketStartsEmpty) {
  const std::string csv = folder_.Path("messages.csv");
  std::ofstream(csv, std::ios::binary) << "\xEF\xBB\xBF"
                                          "5550000001,Merhaba\r\n"
                                       << "\r\n"
                                       << "5550000002,\"Hello, \"\"you\"\"\"\r\n"
                                       << "+905550000003,\"two\r\nlines \xC4\x9F\"\n";
  // A basket filled by an earlier process never leaks in: each run clears its own.
  const TellavoRun run = RunTellavo(With({"send", "--originator", "INFO", "--csv", csv}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "queued 3 short, 0 long; dropped 0 over 612 characters\nshort: 1000001\n");
  const auto recipients = Sim().Messages().at(0).at("recipients");
  ASSERT_EQ(recipients.size(), 3u);
  EXPECT_EQ(recipients[0].at("text"), "Merhaba");
  EXPECT_EQ(recipients[1].at("text"), "Hello, \"you\"");
  EXPECT_EQ(recipients[2].at("number"), "+905550000003");
  // The quoted line break stays in the text (the gateway's XML parser reads
  // its CR LF as LF).
  EXPECT_EQ(recipients[2].at("text"), "two\nlines g");

  std::ofstream(folder_.Path("bad.csv")) << "5550000001,ok\n5550000002,\"never closed\n";
  EXPECT_EQ(RunTellavo(With({"send", "--csv", folder_.Path("bad.csv")})).status, 2);
  std::ofstream(folder_.Path("three.csv")) << "5550000001,one,two\n";
  const TellavoRun three = RunTellavo(With({"send", "--csv", folder_.Path("three.csv")}));
  EXPECT_EQ(three.status, 2);
  EXPECT_TRUE(Contains(three.err, "CSV line 1")) << three.err;
  EXPECT_EQ(Sim().Messages().size(), 1u);
}

TEST_F(FriendlyCommandsTest, ARefusedSendIsAFailure) {
  const TellavoRun run =
      RunTellavo(With({"send", "--originator", "NOT-MINE", "--to", "5550000001", "--text", "hi"}));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "no message identifier")) << run.err;
  EXPECT_TRUE(Sim().Messages().empty());
}

// Status and report hand on the gateway's answer as received, so its error
// document shows a refusal; getinfo's result keeps only the texts of the
// answer's elements, where a refusal looks like two originators.
TEST_F(FriendlyCommandsTest, RefusalsOfStatusAndReportAreFailures) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
      {With({"status", "999"}), "getmsgstatus: the gateway refused the request: 201 Unknown "
                                "message identifier\n"},
      {With({"report", "yesterday", "today"}), "202 Invalid date\n"},
      {{"status", "1000001", "--user", "tellavo", "--password", "wrong", "--vendor", "42"},
       "101 Invalid user name, password or vendor identifier\n"}};
  for (const auto& [args, reason] : refused) {
    const TellavoRun run = RunTellavo(args);
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, reason)) << run.err;
  }
  // As a gateway may write it: with a declaration and line breaks.
  Sim().Script(
      R"({"result": "<?xml version=\"1.0\"?>\r\n<ERROR>\r\n<CODE> 201 </CODE>\r\n</ERROR>\r\n"})");
  const TellavoRun declared = RunTellavo(With({"status", "1000001"}));
  EXPECT_EQ(declared.status, 1);
  EXPECT_TRUE(Contains(declared.err, "refused the request: 201\n")) << declared.err;
  // A refusal carries a code: without one the answer is shown as it came.
  for (const char* answer : {"<ERROR><CODE></CODE></ERROR>", "<ERROR><CODE> </CODE></ERROR>"}) {
    Sim().Script(std::string(R"({"result": ")") + answer + R"("})");
    const TellavoRun shown = RunTellavo(With({"status", "1000001"}));
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, std::string(answer) + "\n");
  }

  const TellavoRun info =
      RunTellavo({"info", "--user", "tellavo", "--password", "wrong", "--vendor", "42"});
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.out, "101\nInvalid user name, password or vendor identifier\n");
}

TEST_F(FriendlyCommandsTest, StatusAndReportShowTheGatewaysAnswer) {
  ASSERT_EQ(
      RunTellavo(With({"send", "--originator", "TELLAVO", "--to", "5550000001", "--text", "hi"}))
          .status,
      0);
  const TellavoRun status = RunTellavo(With({"status", "1000001"}));
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(status.out.rfind("5550000001;DELIVERED;", 0), 0u) << status.out;

  const TellavoRun report = RunTellavo(With({"report", "2000-01-01", "2999-12-31"}));
  EXPECT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(report.out.rfind("1000001;5550000001;DELIVERED;", 0), 0u) << report.out;

  const TellavoRun none = RunTellavo(With({"report", "2000-01-01", "2000-01-02"}));
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "");
  EXPECT_TRUE(Contains(none.err, "no messages between")) << none.err;

  EXPECT_EQ(RunTellavo(With({"status"})).status, 2);
  EXPECT_EQ(RunTellavo(With({"report", "2000-01-01"})).status, 2);
}

TEST_F(FriendlyCommandsTest, HelpIsAvailableForEveryCommand) {
  for (const char* command :
       {"call", "info", "send", "status", "report", "register", "unregister"}) {
    const TellavoRun run = RunTellavo({command, "--help"});
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_TRUE(Contains(run.out, std::string("Usage: tellavo ") + command)) << command;
    EXPECT_EQ(RunTellavo({"help", command}).out, run.out);
  }
  EXPECT_EQ(RunTellavo({"--help"}).status, 0);
  EXPECT_EQ(RunTellavo({"help", "nosuchcommand"}).status, 2);
}

} // namespace
} // namespace tellavo::test
