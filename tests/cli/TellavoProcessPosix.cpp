#include "TellavoProcess.h"

#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace tellavo::test {
namespace {

// An unnamed temporary file, removed when closed.
class TempFile {
public:
  TempFile() : file_(std::tmpfile()) {
    if (file_ == nullptr)
      throw std::runtime_error("cannot create a temporary file");
  }
  ~TempFile() { std::fclose(file_); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int Fd() const { return fileno(file_); }
  std::string Read() const {
    std::string text;
    std::rewind(file_);
    char buffer[4096];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, file_))
      text.append(buffer, n);
    return text;
  }
  void Write(std::string_view text) const {
    if (!text.empty())
      std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
    std::rewind(file_);
  }

private:
  std::FILE* file_;
};

// Starts the client with `args`. Its standard input, output and error become
// the descriptors in `streams` (-1 keeps the test's own); `unused` is a
// descriptor the child closes.
pid_t StartClient(const std::vector<std::string>& args, std::array<int, 3> streams,
                  int unused = -1) {
  std::vector<char*> argv{const_cast<char*>(TELLAVO_CLIENT)};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (unused >= 0)
      close(unused);
    for (int stream = 0; stream < 3; ++stream)
      if (streams[stream] >= 0)
        dup2(streams[stream], stream);
    execv(TELLAVO_CLIENT, argv.data());
    _exit(127);
  }
  return pid;
}

// Waits for the client to end: its exit status, or -1 when it did not exit
// normally.
int WaitForClient(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      throw std::runtime_error("waitpid failed");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TellavoRun RunTellavo(const std::vector<std::string>& args, std::string_view input) {
  const TempFile in, out, err;
  in.Write(input);
  const pid_t pid = StartClient(args, {in.Fd(), out.Fd(), err.Fd()});
  TellavoRun run;
  run.status = WaitForClient(pid);
  run.out = out.Read();
  run.err = err.Read();
  return run;
}

namespace {

// Runs the client on a new pseudo-terminal, the terminal on the streams that
// `onTerminal` marks, and reads what it shows until it closes the terminal;
// `typed` goes in once `awaited` has been shown.
TerminalSession RunOnTerminal(const std::vector<std::string>& args, std::array<bool, 3> onTerminal,
                              std::string_view awaited = {}, std::string_view typed = {}) {
  int terminal = -1, client = -1;
  if (openpty(&terminal, &client, nullptr, nullptr, nullptr) != 0)
    throw std::runtime_error("openpty failed");
  std::array<int, 3> streams{};
  for (int stream = 0; stream < 3; ++stream)
    streams[stream] = onTerminal[stream] ? client : -1;
  const pid_t pid = StartClient(args, streams, terminal);
  close(client);
  // Read while it runs, so that it never waits on a full terminal; the end
  // of the terminal's output (EIO) comes when the client has closed it.
  TerminalSession session;
  bool typedYet = typed.empty();
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n > 0)
      session.shown.append(buffer, n);
    else if (n == 0 || errno != EINTR)
      break;
    if (!typedYet && session.shown.find(awaited) != std::string::npos) {
      typedYet = write(terminal, typed.data(), typed.size()) == ssize_t(typed.size());
    }
  }
  // The master reads and sets the settings of the terminal's other end.
  termios settings{};
  session.echoAfter = tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  close(terminal);
  session.status = WaitForClient(pid);
  return session;
}

} // namespace

std::string RunTellavoOnTerminal(const std::vector<std::string>& args) {
  return RunOnTerminal(args, {false, true, true}).shown;
}

TerminalSession TypeToTellavo(const std::vector<std::string>& args, std::string_view awaited,
                              std::string_view typed) {
  return RunOnTerminal(args, {true, true, true}, awaited, typed);
}

bool UnderWine() {
  return false;
}

} // namespace tellavo::test
