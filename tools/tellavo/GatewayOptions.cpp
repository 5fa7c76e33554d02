#include "tools/tellavo/GatewayOptions.h"

#include <filesystem>
#include <iostream>

#include "common/Utf.h"
#include "transport/TraceFile.h"

namespace tellavo::cli {

std::string ModulePath(const ParsedOptions& options) {
  return options.Value(kModuleOption.name).value_or(DefaultModulePath());
}

std::u16string OptionText(const ParsedOptions& options, std::string_view name) {
  return Utf8ToUtf16(options.Value(name).value_or(std::string()));
}

void ApplyTraceOption(const ParsedOptions& options) {
  const std::optional<std::string> file = options.Value(kTraceOption.name);
  if (!file)
    return;
  if (file->empty())
    throw EUsageError("--trace needs a file name, or - for standard error");
  // The module may be asked from another folder than the client's current
  // one, so it gets the name in full.
  const std::u16string name =
      *file == "-" ? u"-" : std::filesystem::absolute(Utf8ToUtf16(*file)).u16string();
  SetProcessVariable(kTraceFileVariable, name);
}

bool PasswordFromStdin(const ParsedOptions& options) {
  return options.Has(kPasswordStdinOption.name) || options.Value(kPasswordOption.name) == "-";
}

Credentials ReadCredentials(const ParsedOptions& options) {
  Credentials credentials{
      OptionText(options, kUserOption.name), {}, OptionText(options, kVendorOption.name)};
  if (!PasswordFromStdin(options)) {
    credentials.password = OptionText(options, kPasswordOption.name);
    return credentials;
  }
  if (options.Has(kPasswordStdinOption.name) && options.Has(kPasswordOption.name) &&
      options.Value(kPasswordOption.name) != "-")
    throw EUsageError("give the password either with --password or on standard input");
  std::string line;
  if (!std::getline(std::cin, line))
    throw EUsageError("no password on standard input");
  if (line.ends_with('\r'))
    line.pop_back();
  credentials.password = Utf8ToUtf16(line);
  return credentials;
}

} // namespace tellavo::cli
