// The options that the gateway commands share: the module to load and the
// account's credentials, whose password may come from standard input, the
// environment or the terminal, so that it need not appear in the process list.
#pragma once

#include <string>
#include <string_view>

#include "tools/tellavo/CommandLine.h"

namespace tellavo::cli {

inline constexpr OptionDefinition kModuleOption{"module", true};
inline constexpr OptionDefinition kUserOption{"user", true};
inline constexpr OptionDefinition kPasswordOption{"password", true};
inline constexpr OptionDefinition kPasswordStdinOption{"password-stdin", false};
inline constexpr OptionDefinition kVendorOption{"vendor", true};
inline constexpr OptionDefinition kOriginatorOption{"originator", true};
inline constexpr OptionDefinition kDateOption{"date", true};
inline constexpr OptionDefinition kTraceOption{"trace", true};

// The help text of the options above that every gateway command takes.
inline constexpr std::string_view kAccountOptionsHelp =
    "  --user NAME          the account's user name (required)\n"
    "  --password TEXT      its password; --password - or --password-stdin (instead\n"
    "                       of a TEXT) read it from the first line of standard\n"
    "                       input, so that it does not appear in the process list;\n"
    "                       without either, from the variable TELLAVO_PASSWORD\n"
    "                       when it is not empty, else asked for on the terminal\n"
    "                       without being shown (required)\n"
    "  --vendor ID          the vendor identifier (required)\n"
    "  --module PATH        load another build of the module\n"
    "  --trace FILE         append a record of every exchange with the gateway to\n"
    "                       FILE (- for standard error), for this run only, the\n"
    "                       password masked (trace.md of the documentation)\n";

struct Credentials {
  std::u16string user;
  std::u16string password;
  std::u16string vendor;
};

// With --trace, has the module trace this process's calls to its file
// (standard error for "-"), whatever the settings say; a relative name is
// taken from the current folder.
void ApplyTraceOption(const ParsedOptions& options);
// Sets an environment variable of this process, which the module loaded into
// it reads; defined per platform.
void SetProcessVariable(std::u16string_view name, std::u16string_view value);

// --module, or DefaultModulePath().
std::string ModulePath(const ParsedOptions& options);
// The module file that the client uses without --module; defined per
// platform.
std::string DefaultModulePath();

// --user, --vendor, and the password: from --password TEXT, from the first
// line of standard input with --password-stdin or --password - (typed unseen
// when that is a terminal), else from the password variable, else asked for
// on the terminal. Each of the three must be given and not empty: a gateway
// would only refuse an empty one, and a send would look like it went out.
Credentials ReadCredentials(const ParsedOptions& options);

// The option's text (the last one given), empty when absent.
std::u16string OptionText(const ParsedOptions& options, std::string_view name);

// Whether the password is read from standard input.
bool PasswordFromStdin(const ParsedOptions& options);

} // namespace tellavo::cli
