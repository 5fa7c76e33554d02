// Where a password comes from when the command line does not carry it: the
// environment of a job or service, or the person at the terminal, who types
// it without it being shown.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tellavo::cli {

// The variable that may hold the account's password.
inline constexpr std::string_view kPasswordVariable = "TELLAVO_PASSWORD";

// Defined per platform.

// The password variable's value as UTF-8; nothing when it is unset or empty.
std::optional<std::string> PasswordFromEnvironment();

// Whether standard input is a terminal (a console on Windows), where a
// person can be asked.
bool StandardInputIsTerminal();

// Writes `prompt` to standard error and reads one line from the terminal on
// standard input with echo turned off; the terminal's settings come back
// afterwards, also when the process is interrupted meanwhile. The line,
// without its end, as UTF-8; nothing at the end of input.
std::optional<std::string> ReadHiddenLine(std::string_view prompt);

} // namespace tellavo::cli
