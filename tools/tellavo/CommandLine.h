// Reading a subcommand's command line: long options (--name VALUE or
// --name=VALUE, repeatable, in order), flags, and positional arguments.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exceptions.h"

namespace tellavo::cli {

// A command line that cannot be carried out as written; the client exits
// with status 2 and points at the help of the command, once it is known.
class EUsageError : public Named<Exception, u"EUsageError"> {
public:
  explicit EUsageError(std::string_view message);

  void SetCommand(std::string_view command) { command_ = command; }
  // "tellavo COMMAND --help", or "tellavo --help" before a command was found.
  std::string HelpCommand() const;

private:
  std::string command_;
};

struct OptionDefinition {
  std::string_view name; // without the leading dashes
  bool takesValue;
};

struct ParsedOptions {
  bool help = false;                                        // --help or -h
  std::vector<std::pair<std::string, std::string>> options; // in the order given
  std::vector<std::string> positionals;

  bool Has(std::string_view name) const;
  // The last value given for the option: a later one overrides.
  std::optional<std::string> Value(std::string_view name) const;
  std::vector<std::string> Values(std::string_view name) const;
};

// Options come first. With stopAtPositional the first positional argument
// ends the options and everything from it on is positional, unread; otherwise
// options and positionals may mix, and "--" ends the options.
ParsedOptions ParseOptions(std::span<const std::string> args,
                           std::span<const OptionDefinition> definitions,
                           bool stopAtPositional = false);

} // namespace tellavo::cli
