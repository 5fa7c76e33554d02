// Runs the built tellavo client as a child process, with the test process's
// environment, and collects what it wrote and how it ended.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tellavo::test {

struct TellavoRun {
  int status = -1; // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;

  // Standard output split at line feeds, the line feeds removed.
  std::vector<std::string> OutLines() const;
};

TellavoRun RunTellavo(const std::vector<std::string>& args, std::string_view input = {});

// A local TCP port on which nothing listens.
int ClosedPort();

} // namespace tellavo::test
