// tellavo call: the scripting interface. Runs Gateway methods by name, in
// order, on one object in one process, and prints each result exactly.
#include <iostream>

#include "common/Utf.h"
#include "tools/tellavo/Commands.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewaySession.h"
#include "tools/tellavo/Json.h"
#include "tools/tellavo/Output.h"

namespace tellavo::cli {
namespace {

constexpr OptionDefinition kJsonOption{"json", false};
constexpr OptionDefinition kShowEventsOption{"show-events", false};
constexpr OptionDefinition kCallOptions[] = {kJsonOption, kShowEventsOption, kModuleOption,
                                             kTraceOption};
constexpr std::string_view kCallSeparator = "--";

struct PlannedCall {
  std::u16string method;
  std::vector<std::u16string> arguments;
};

// METHOD [ARG ...] [-- METHOD [ARG ...]] ...
std::vector<PlannedCall> PlanCalls(const std::vector<std::string>& words) {
  std::vector<PlannedCall> calls;
  bool expectMethod = true;
  for (const std::string& word : words) {
    if (word == kCallSeparator) {
      if (expectMethod)
        throw EUsageError("a method name is missing before '--'");
      expectMethod = true;
    } else if (expectMethod) {
      calls.push_back({Utf8ToUtf16(word), {}});
      expectMethod = false;
    } else {
      calls.back().arguments.push_back(Utf8ToUtf16(word));
    }
  }
  if (expectMethod)
    throw EUsageError(calls.empty() ? "no method to call" : "a method name is missing after '--'");
  return calls;
}

void PrintResult(const PlannedCall& call, const CallResult& result, bool json) {
  if (json) {
    Json line = {{"method", call.method},
                 {"hresult", HresultText(result.hresult)},
                 {"retvalue", result.retvalue}};
    if (!result.Succeeded())
      line["error"] = result.error;
    std::cout << JsonLine(line) << '\n' << std::flush;
  } else if (result.Succeeded()) {
    // A procedure (clearsmsbasket) has no result: its line is empty.
    std::cout << Utf16ToUtf8(result.retvalue.value_or(std::u16string())) << '\n' << std::flush;
  } else {
    std::cerr << "tellavo: " << Utf16ToUtf8(call.method)
              << " failed: " << HresultText(result.hresult) << ' ' << Utf16ToUtf8(result.error)
              << '\n';
  }
}

int RunCall(const Command& self, const Args& args) {
  const ParsedOptions options = ParseOptions(args, kCallOptions, true);
  if (ShowHelp(self, options))
    return kExitOk;
  const std::vector<PlannedCall> calls = PlanCalls(options.positionals);
  const bool json = options.Has(kJsonOption.name);

  GatewaySession::Echo echo;
  if (options.Has(kShowEventsOption.name)) {
    std::ostream& events = json ? std::cout : std::cerr;
    echo = [&events](const EventEntry& entry) { events << EventJson(entry) << '\n' << std::flush; };
  }
  GatewaySession session(options, echo);
  for (const PlannedCall& call : calls) {
    const CallResult result = session.Call(call.method, call.arguments);
    PrintResult(call, result, json);
    // Later calls may rely on this one (a send on the messages it queued).
    if (!result.Succeeded())
      return kExitFailed;
  }
  return kExitOk;
}

} // namespace

const Command kCallCommand{
    "call",
    "call Gateway methods by name, as a script does",
    {R"(Usage: tellavo call [--json] [--show-events] [--module PATH] [--trace FILE]
                    METHOD [ARG ...] [-- METHOD [ARG ...]] ...

Calls Gateway methods late-bound (IDispatch::GetIDsOfNames, then Invoke with
every argument as a string), in order, on one object in one process: the
message basket filled by earlier calls is sent by later ones.

Methods and their arguments:
  getinfo             USERNAME PASSWORD VENDOR_ID
  addtosmsbasket      MSG GSM
  clearsmsbasket
  getmsgstatus        USERNAME PASSWORD PACKET_ID VENDOR_ID
  getmsgstatustodate  USERNAME PASSWORD DATE1 DATE2 VENDOR_ID
  sendsms             USERNAME PASSWORD ORIGINATOR SENDDATE VENDOR_ID
  sendsmsconcat       USERNAME PASSWORD ORIGINATOR SENDDATE VENDOR_ID

Output, one call after the other:
  plain   each call's result followed by one line feed (clearsmsbasket, which
          has no result, prints an empty line); results are printed exactly,
          so "-1" (the exchange failed) and "-2" (nothing to send) appear as
          they are. A failed call prints "tellavo: METHOD failed: 0x... TEXT"
          on standard error.
  --json  one JSON object per call and line:
          {"method": ..., "hresult": "0x00000000", "retvalue": ...}
          (retvalue null for clearsmsbasket); a failed call adds "error".

--show-events prints every event-log entry written during the run before the
result of the call that wrote it, as
{"event": {"source", "type", "category", "id", "text"}}: on standard output
with --json, else on standard error. On Windows the entries come from the
Application event log.
--module PATH loads that module file and creates the object from its class
factory; without it, on Windows the object comes from the registered server
(CoCreateInstance by ProgID).
--trace FILE appends a record of every exchange with the gateway to FILE (-
for standard error), for this run only, the password masked (trace.md of the
documentation).

The first call that fails (an HRESULT other than S_OK, an unknown method, a
wrong number of arguments) ends the run: later calls are not made.

Exit status: 0 every call returned S_OK, 1 a call failed, 2 wrong command line.
)"},
    RunCall};

} // namespace tellavo::cli
