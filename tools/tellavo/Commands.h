// The subcommands of the tellavo client.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tellavo/CommandLine.h"

namespace tellavo::cli {

using Args = std::vector<std::string>;

// Exit statuses: every call succeeded; a call or the gateway failed (for
// send: nothing went out); the command line was wrong; send only: some
// messages went out or may have, so that sending them all again may send
// some twice.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCheckBeforeRetry = 3;

struct Command {
  std::string_view name;
  std::string_view summary;                          // one line for the overview
  std::vector<std::string_view> help;                // the text of --help, in pieces
  int (*run)(const Command& self, const Args& args); // args follow the subcommand name
};

extern const Command kCallCommand;
extern const Command kInfoCommand;
extern const Command kSendCommand;
extern const Command kStatusCommand;
extern const Command kReportCommand;
extern const Command kRegisterCommand;
extern const Command kUnregisterCommand;
extern const Command kConfigCommand;
extern const Command kVersionCommand;

void PrintHelp(const Command& command);
// Prints the command's help when the command line asked for it.
bool ShowHelp(const Command& command, const ParsedOptions& options);

// The whole client: args are the command line without the program name.
int Run(const Args& args);
// Run with its failures reported on standard error: the process's exit status.
int Main(const Args& args);

} // namespace tellavo::cli
