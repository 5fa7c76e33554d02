#include "tools/tellavo/CommandLine.h"

#include <algorithm>

#include "common/Utf.h"

namespace tellavo::cli {

EUsageError::EUsageError(std::string_view message) : Named(Utf8ToUtf16(message)) {}

std::string EUsageError::HelpCommand() const {
  return command_.empty() ? "tellavo --help" : "tellavo " + command_ + " --help";
}

bool ParsedOptions::Has(std::string_view name) const {
  return std::any_of(options.begin(), options.end(),
                     [name](const auto& option) { return option.first == name; });
}

std::optional<std::string> ParsedOptions::Value(std::string_view name) const {
  const auto found = std::find_if(options.rbegin(), options.rend(),
                                  [name](const auto& option) { return option.first == name; });
  if (found == options.rend())
    return std::nullopt;
  return found->second;
}

std::vector<std::string> ParsedOptions::Values(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& [option, value] : options)
    if (option == name)
      values.push_back(value);
  return values;
}

ParsedOptions ParseOptions(std::span<const std::string> args,
                           std::span<const OptionDefinition> definitions, bool stopAtPositional) {
  ParsedOptions parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      parsed.positionals.insert(parsed.positionals.end(), args.begin() + i + 1, args.end());
      break;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    // A lone "-" or a text like "-1" is an argument, not an option.
    if (!arg.starts_with("--")) {
      if (stopAtPositional) {
        parsed.positionals.assign(args.begin() + i, args.end());
        break;
      }
      parsed.positionals.push_back(arg);
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
    const auto definition =
        std::find_if(definitions.begin(), definitions.end(),
                     [&name](const OptionDefinition& s) { return s.name == name; });
    if (definition == definitions.end())
      throw EUsageError("unknown option --" + name);
    if (!definition->takesValue) {
      if (equals != std::string::npos)
        throw EUsageError("option --" + name + " takes no value");
      parsed.options.emplace_back(name, std::string());
    } else if (equals != std::string::npos) {
      parsed.options.emplace_back(name, arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      parsed.options.emplace_back(name, args[++i]);
    } else {
      throw EUsageError("option --" + name + " needs a value");
    }
  }
  return parsed;
}

} // namespace tellavo::cli
