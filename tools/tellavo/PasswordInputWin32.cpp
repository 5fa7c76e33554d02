#include <cstdlib>
#include <iostream>

#include "Platform.h"
#include "common/Utf.h"
#include "common/WideText.h"
#include "tools/tellavo/PasswordInput.h"

namespace tellavo::cli {
namespace {

// The console's input mode before echo was turned off, for the control
// handler: the console outlives this process, and a person who presses
// Ctrl-C at the prompt must not be left typing blind.
HANDLE consoleInput = nullptr;
DWORD savedMode = 0;

BOOL WINAPI RestoreOnControl(DWORD) {
  SetConsoleMode(consoleInput, savedMode);
  return FALSE; // the default handler ends the process
}

class HiddenEcho {
public:
  HiddenEcho() {
    SetConsoleCtrlHandler(RestoreOnControl, TRUE);
    SetConsoleMode(consoleInput,
                   (savedMode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
  }
  ~HiddenEcho() {
    SetConsoleMode(consoleInput, savedMode);
    SetConsoleCtrlHandler(RestoreOnControl, FALSE);
  }
  HiddenEcho(const HiddenEcho&) = delete;
  HiddenEcho& operator=(const HiddenEcho&) = delete;
};

} // namespace

std::optional<std::string> PasswordFromEnvironment() {
  // Read as UTF-16, so that any character of the password survives.
  std::wstring name(kPasswordVariable.begin(), kPasswordVariable.end());
  const wchar_t* value = _wgetenv(name.c_str());
  if (value == nullptr || *value == L'\0')
    return std::nullopt;
  return Utf16ToUtf8(FromWide(value));
}

// Only a console has a console mode: a pipe or a file has none.
bool StandardInputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> ReadHiddenLine(std::string_view prompt) {
  consoleInput = GetStdHandle(STD_INPUT_HANDLE);
  if (!GetConsoleMode(consoleInput, &savedMode))
    return std::nullopt;
  std::u16string line;
  bool ended = false;
  {
    // Echo goes off before the prompt shows, so that nothing typed after
    // the prompt is shown.
    const HiddenEcho hidden;
    std::cerr << prompt << std::flush;
    // Read as UTF-16 from the console, whatever its code page.
    wchar_t buffer[256];
    DWORD count = 0;
    while (!ended && ReadConsoleW(consoleInput, buffer, 256, &count, nullptr) && count > 0) {
      line.append(FromWide(buffer), count);
      ended = line.ends_with(u'\n');
    }
  }
  std::cerr << '\n' << std::flush;
  if (!ended)
    return std::nullopt;
  line.pop_back();
  if (line.ends_with(u'\r'))
    line.pop_back();
  return Utf16ToUtf8(line);
}

} // namespace tellavo::cli
