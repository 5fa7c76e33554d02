#include "tools/tellavo/Commands.h"

#include <algorithm>
#include <array>
#include <iostream>

namespace tellavo::cli {
namespace {

const std::array<const Command*, 9>& AllCommands() {
  static const std::array<const Command*, 9> commands{
      &kCallCommand,     &kInfoCommand,       &kSendCommand,   &kStatusCommand, &kReportCommand,
      &kRegisterCommand, &kUnregisterCommand, &kConfigCommand, &kVersionCommand};
  return commands;
}

const Command* FindCommand(std::string_view name) {
  const auto found = std::find_if(AllCommands().begin(), AllCommands().end(),
                                  [name](const Command* command) { return command->name == name; });
  return found == AllCommands().end() ? nullptr : *found;
}

void PrintOverview(std::ostream& out) {
  out << "Usage: tellavo COMMAND [OPTION ...] [ARG ...]\n"
         "\n"
         "Sends SMS through the Tellavo SMS gateway and queries it. The client drives\n"
         "the Tellavo module as a script does, calling its methods by name.\n"
         "\n"
         "Commands:\n";
  for (const Command* command : AllCommands()) {
    out << "  " << command->name << std::string(12 - command->name.size(), ' ') << command->summary
        << '\n';
  }
  out << "  help        this overview, or 'tellavo help COMMAND'\n"
         "\n"
         "Exit status: 0 success; 1 a call or the gateway failed, or the gateway refused\n"
         "a send, status or report (a send: nothing went out, sending again is safe);\n"
         "2 wrong command line; 3 a send of which something went out or may have: check\n"
         "with 'tellavo report' before sending again ('tellavo send --help').\n"
         "'tellavo COMMAND --help' describes each command.\n";
}

} // namespace

void PrintHelp(const Command& command) {
  for (const std::string_view piece : command.help)
    std::cout << piece;
}

bool ShowHelp(const Command& command, const ParsedOptions& options) {
  if (options.help)
    PrintHelp(command);
  return options.help;
}

int Run(const Args& args) {
  if (args.empty()) {
    PrintOverview(std::cerr);
    return kExitUsage;
  }
  const std::string& name = args.front();
  if (name == "--help" || name == "-h" || name == "help") {
    if (args.size() < 2) {
      PrintOverview(std::cout);
      return kExitOk;
    }
    const Command* topic = FindCommand(args[1]);
    if (topic == nullptr || args.size() > 2)
      throw EUsageError("no help for '" + args[1] + "'");
    PrintHelp(*topic);
    return kExitOk;
  }
  const Command* command = FindCommand(name);
  if (command == nullptr)
    throw EUsageError("unknown command '" + name + "'");
  try {
    return command->run(*command, Args(args.begin() + 1, args.end()));
  } catch (EUsageError& error) {
    error.SetCommand(command->name);
    throw;
  }
}

} // namespace tellavo::cli
