// Runs the built tellavo client as a child process, with the test process's
// environment, and collects what it wrote and how it ended.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/Json.h"
#include "support/LoopbackServers.h"
#include "support/Wine.h"

namespace tellavo::test {

struct TellavoRun {
  int status = -1; // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;

  // Standard output split at line feeds, the line feeds removed.
  std::vector<std::string> OutLines() const;
  // Each line of standard output read as JSON, each held to the spacing
  // of HasDocumentedSpacing.
  std::vector<JsonValue> OutJson() const;
  // Under Wine only: the texts of the event-log entries that the run wrote,
  // from Wine's trace of the reports, cut near 300 characters: Wine's event log
  // keeps nothing, so the client reads no entries back.
  std::vector<std::string> tracedEvents;
};

// Whether a JSON line of the client is spaced as its documents show it:
// {"name": value, "other": value}, one blank after each colon and comma and
// none anywhere else outside texts.
bool HasDocumentedSpacing(std::string_view line);

TellavoRun RunTellavo(const std::vector<std::string>& args, std::string_view input = {});

// Posix only: runs the client with a pseudo-terminal as its standard output
// and error, as in an interactive shell; everything the terminal received,
// in order.
std::string RunTellavoOnTerminal(const std::vector<std::string>& args);

// Posix only: what a person at a terminal sees and types.
struct TerminalSession {
  int status = -1;
  std::string shown;      // everything the terminal received, in order
  bool echoAfter = false; // whether the terminal echoed input again at the end
};

// Posix only: runs the client with a pseudo-terminal as its standard input,
// output and error; once the terminal shows `awaited`, `typed` is typed.
TerminalSession TypeToTellavo(const std::vector<std::string>& args, std::string_view awaited,
                              std::string_view typed);

// A fresh folder under the system's temporary folder, removed with the
// object.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

} // namespace tellavo::test
