#include "tools/tellavo/GatewayOptions.h"

#include <iostream>

#include "common/Utf.h"

namespace tellavo::cli {

std::string ModulePath(const ParsedOptions& options) {
  return options.Value(kModuleOption.name).value_or(DefaultModulePath());
}

std::u16string OptionText(const ParsedOptions& options, std::string_view name) {
  return Utf8ToUtf16(options.Value(name).value_or(std::string()));
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
