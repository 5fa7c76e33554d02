// tellavo info, status and report: the three queries, for people.
#include <iostream>

#include "common/Utf.h"
#include "tools/tellavo/Commands.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewayRefusal.h"
#include "tools/tellavo/GatewaySession.h"
#include "tools/tellavo/Output.h"

namespace tellavo::cli {
namespace {

constexpr OptionDefinition kQueryOptions[] = {kModuleOption,        kUserOption,   kPasswordOption,
                                              kPasswordStdinOption, kVendorOption, kTraceOption};

// The command line of a query with its positional arguments, checked.
ParsedOptions ParseQuery(const Args& args, size_t positionals, std::string_view what) {
  ParsedOptions options = ParseOptions(args, kQueryOptions);
  if (!options.help && options.positionals.size() != positionals)
    throw EUsageError(std::string(what));
  return options;
}

// The answer of a status or report query, when the gateway answered the
// question rather than refused it; a refusal is written to standard error.
std::optional<std::u16string> AnswerOf(std::u16string_view method,
                                       std::optional<std::u16string> answer) {
  if (!answer)
    return std::nullopt;
  const std::optional<Refusal> refusal = ReadRefusal(*answer);
  if (!refusal)
    return answer;
  std::cerr << "tellavo: " << Utf16ToUtf8(method)
            << ": the gateway refused the request: " << Utf16ToUtf8(refusal->code);
  if (!refusal->description.empty())
    std::cerr << ' ' << Utf16ToUtf8(refusal->description);
  std::cerr << '\n';
  return std::nullopt;
}

int RunInfo(const Command& self, const Args& args) {
  const ParsedOptions options = ParseQuery(args, 0, "info takes no arguments");
  if (ShowHelp(self, options))
    return kExitOk;
  const Credentials account = ReadCredentials(options);
  GatewaySession session(options);
  const auto originators =
      session.Ask(u"getinfo", {account.user, account.password, account.vendor});
  if (!originators)
    return kExitFailed;
  if (originators->empty())
    std::cerr << "tellavo: the account has no originators\n";
  // One originator per line, each already ended by a line feed.
  std::cout << Utf16ToUtf8(*originators) << std::flush;
  return kExitOk;
}

int RunStatus(const Command& self, const Args& args) {
  const ParsedOptions options = ParseQuery(args, 1, "status takes one message identifier");
  if (ShowHelp(self, options))
    return kExitOk;
  const Credentials account = ReadCredentials(options);
  GatewaySession session(options);
  constexpr std::u16string_view method = u"getmsgstatus";
  const auto status =
      AnswerOf(method, session.Ask(method, {account.user, account.password,
                                            Utf8ToUtf16(options.positionals[0]), account.vendor}));
  if (!status)
    return kExitFailed;
  PrintAnswer(std::cout, *status);
  return kExitOk;
}

int RunReport(const Command& self, const Args& args) {
  const ParsedOptions options = ParseQuery(args, 2, "report takes two dates");
  if (ShowHelp(self, options))
    return kExitOk;
  const Credentials account = ReadCredentials(options);
  GatewaySession session(options);
  constexpr std::u16string_view method = u"getmsgstatustodate";
  const auto report =
      AnswerOf(method, session.Ask(method, {account.user, account.password,
                                            Utf8ToUtf16(options.positionals[0]),
                                            Utf8ToUtf16(options.positionals[1]), account.vendor}));
  if (!report)
    return kExitFailed;
  if (report->empty())
    std::cerr << "tellavo: no messages between " << options.positionals[0] << " and "
              << options.positionals[1] << '\n';
  else
    PrintAnswer(std::cout, *report);
  return kExitOk;
}

} // namespace

const Command kInfoCommand{
    "info",
    "list the account's originators (sender names)",
    {"Usage: tellavo info [OPTION ...]\n"
     "\n"
     "Prints the originators of the account, one per line (getinfo).\n"
     "\n"
     "Options:\n",
     kAccountOptionsHelp,
     "\n"
     "Exit status 1 when the gateway could not be reached or its answer could not\n"
     "be read; the event-log entries are printed. A gateway that refuses the request\n"
     "(a wrong user name, password or vendor) answers with its error code and\n"
     "description, and getinfo hands them on as if they were originators: they are\n"
     "printed one per line, with exit status 0, since nothing tells them apart.\n"},
    RunInfo};

const Command kStatusCommand{
    "status",
    "show the delivery status of a sent message",
    {"Usage: tellavo status [OPTION ...] MSGID\n"
     "\n"
     "Prints the gateway's status answer for one message identifier (getmsgstatus),\n"
     "as received.\n"
     "\n"
     "Options:\n",
     kAccountOptionsHelp,
     "\n"
     "Exit status 1 when the gateway could not be reached, or refused the request\n"
     "(an unknown message identifier, a wrong account): its error code and\n"
     "description are printed on standard error.\n"},
    RunStatus};

const Command kReportCommand{
    "report",
    "report the messages sent between two dates",
    {"Usage: tellavo report [OPTION ...] DATE1 DATE2\n"
     "\n"
     "Prints the gateway's report of the messages sent between the two dates\n"
     "(getmsgstatustodate), as received. The dates are passed on as written, for\n"
     "example 2026-12-07 or \"2026-12-07 10:00\".\n"
     "\n"
     "Options:\n",
     kAccountOptionsHelp,
     "\n"
     "An empty report is no error: standard error says there were no messages.\n"
     "Exit status 1 when the gateway could not be reached, or refused the request\n"
     "(a date it cannot read, a wrong account): its error code and description are\n"
     "printed on standard error.\n"},
    RunReport};

} // namespace tellavo::cli
