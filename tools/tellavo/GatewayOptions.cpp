#include "tools/tellavo/GatewayOptions.h"

#include <filesystem>
#include <iostream>

#include "common/Utf.h"
#include "tools/tellavo/PasswordInput.h"
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

namespace {

// The option's text; a usage error naming the option when it is missing or
// empty.
std::u16string RequiredText(const ParsedOptions& options, const OptionDefinition& option,
                            std::string_view placeholder) {
  const std::optional<std::string> value = options.Value(option.name);
  if (!value || value->empty())
    throw EUsageError("missing --" + std::string(option.name) + " " + std::string(placeholder));
  return Utf8ToUtf16(*value);
}

std::string PasswordPrompt(const std::u16string& user) {
  return "Password for " + Utf16ToUtf8(user) + ": ";
}

std::string PasswordFromStandardInput(const ParsedOptions& options, const std::u16string& user) {
  if (options.Has(kPasswordStdinOption.name) && options.Has(kPasswordOption.name) &&
      options.Value(kPasswordOption.name) != "-")
    throw EUsageError("give the password either with --password or on standard input");
  std::optional<std::string> line;
  if (StandardInputIsTerminal()) {
    line = ReadHiddenLine(PasswordPrompt(user));
  } else if (std::string text; std::getline(std::cin, text)) {
    if (text.ends_with('\r'))
      text.pop_back();
    line = std::move(text);
  }
  if (!line || line->empty())
    throw EUsageError("no password on standard input");
  return *line;
}

std::string ReadPassword(const ParsedOptions& options, const std::u16string& user) {
  if (PasswordFromStdin(options))
    return PasswordFromStandardInput(options, user);
  if (const auto given = options.Value(kPasswordOption.name)) {
    if (given->empty())
      throw EUsageError("--password is empty");
    return *given;
  }
  if (auto variable = PasswordFromEnvironment())
    return *variable;
  if (StandardInputIsTerminal()) {
    const std::optional<std::string> typed = ReadHiddenLine(PasswordPrompt(user));
    if (!typed || typed->empty())
      throw EUsageError("no password typed");
    return *typed;
  }
  throw EUsageError("missing password: give --password-stdin, set " +
                    std::string(kPasswordVariable) + ", or give --password TEXT");
}

} // namespace

Credentials ReadCredentials(const ParsedOptions& options) {
  Credentials credentials;
  credentials.user = RequiredText(options, kUserOption, "NAME");
  credentials.vendor = RequiredText(options, kVendorOption, "ID");
  credentials.password = Utf8ToUtf16(ReadPassword(options, credentials.user));
  return credentials;
}

} // namespace tellavo::cli
