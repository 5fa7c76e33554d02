// tellavo send on a terminal: the count of queued messages is drawn on
// standard error and cleared before the results; without a terminal
// nothing of it is written.
#include <gtest/gtest.h>

#include <fstream>

#include "TellavoProcess.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {
namespace {

size_t Count(const std::string& text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class ProgressTest : public SimulatorTest {
protected:
  ScopedProxyEnvironment proxy_{Sim()};
  TempFolder folder_;
};

TEST_F(ProgressTest, QueueingIsCountedOnATerminalOnly) {
  constexpr int kMessages = 300;
  const std::string csv = folder_.Path("large.csv");
  {
    std::ofstream file(csv, std::ios::binary);
    for (int i = 0; i < kMessages; ++i)
      file << 5550000000 + i << ",Merhaba " << i << '\n';
  }
  const std::vector<std::string> send{"send",    "--user",   "tellavo", "--password",
                                      "s3cret",  "--vendor", "42",      "--originator",
                                      "TELLAVO", "--csv",    csv};
  const std::string shown = RunTellavoOnTerminal(send);
  EXPECT_NE(shown.find("\rqueued 1 of 300 messages (0%)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\rqueued 150 of 300 messages (50%)"), std::string::npos) << shown;
  // Redrawn when the percentage changes, not for every message.
  EXPECT_EQ(Count(shown, " messages ("), 101u) << shown;
  // The line is blanked before the results (the terminal ends lines in CR LF).
  const std::string blanks = "\r" + std::string(33, ' ') + "\r";
  EXPECT_NE(shown.find("(100%)" + blanks +
                       "queued 300 short, 0 long; dropped 0 over 612 "
                       "characters\r\nshort: 1000001\r\n"),
            std::string::npos)
      << shown;

  // In a script nothing of it is written.
  const TellavoRun run = RunTellavo(send);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
}

} // namespace
} // namespace tellavo::test
