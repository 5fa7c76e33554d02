#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <iostream>

#include "tools/tellavo/PasswordInput.h"

namespace tellavo::cli {
namespace {

// The terminal's settings before echo was turned off, for the signal handler:
// a person who presses Ctrl-C at the prompt must not be left typing blind.
termios savedSettings;

constexpr std::array<int, 4> kEndingSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreAndRaise(int signal) {
  tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// Echo off for the life of the object, with the signals that end the process
// restoring the terminal first.
class HiddenEcho {
public:
  HiddenEcho() {
    termios hidden = savedSettings;
    hidden.c_lflag &= ~(ECHO | ECHOE | ECHOK);
    struct sigaction handler = {};
    handler.sa_handler = RestoreAndRaise;
    sigemptyset(&handler.sa_mask);
    for (size_t i = 0; i < kEndingSignals.size(); ++i)
      sigaction(kEndingSignals[i], &handler, &previous_[i]);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
  }
  ~HiddenEcho() {
    tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
    for (size_t i = 0; i < kEndingSignals.size(); ++i)
      sigaction(kEndingSignals[i], &previous_[i], nullptr);
  }
  HiddenEcho(const HiddenEcho&) = delete;
  HiddenEcho& operator=(const HiddenEcho&) = delete;

private:
  std::array<struct sigaction, kEndingSignals.size()> previous_{};
};

} // namespace

std::optional<std::string> PasswordFromEnvironment() {
  const char* value = std::getenv(std::string(kPasswordVariable).c_str());
  if (value == nullptr || *value == '\0')
    return std::nullopt;
  return value;
}

bool StandardInputIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> ReadHiddenLine(std::string_view prompt) {
  if (tcgetattr(STDIN_FILENO, &savedSettings) != 0)
    return std::nullopt;
  std::string line;
  bool read = false;
  {
    // Echo goes off before the prompt shows, so that nothing typed after
    // the prompt is shown or flushed away.
    const HiddenEcho hidden;
    std::cerr << prompt << std::flush;
    read = static_cast<bool>(std::getline(std::cin, line));
  }
  // The line end that the person typed was not shown either.
  std::cerr << '\n' << std::flush;
  if (!read)
    return std::nullopt;
  return line;
}

} // namespace tellavo::cli
