// The password typed at a terminal: asked for when no other source gives it,
// never shown, and the terminal's echo back afterwards.
#include <gtest/gtest.h>

#include "TellavoProcess.h"
#include "support/Environment.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {
namespace {

class PasswordPromptTest : public SimulatorTest {
protected:
  PasswordPromptTest() { SetEnvironment("TELLAVO_PASSWORD", std::nullopt); }
  ~PasswordPromptTest() override { SetEnvironment("TELLAVO_PASSWORD", saved_); }

  ScopedProxyEnvironment proxy_{Sim()};
  std::optional<std::string> saved_ = GetEnvironment("TELLAVO_PASSWORD");
};

TEST_F(PasswordPromptTest, TypedPasswordIsNotEchoed) {
  // With no source given, and with standard input named as the source.
  for (const auto& source : {std::vector<std::string>{}, {"--password-stdin"}}) {
    std::vector<std::string> args{"info", "--user", "tellavo", "--vendor", "42"};
    args.insert(args.end(), source.begin(), source.end());
    const TerminalSession session = TypeToTellavo(args, "Password for tellavo: ", "s3cret\n");
    EXPECT_EQ(session.status, 0) << session.shown;
    EXPECT_EQ(session.shown.find("s3cret"), std::string::npos) << session.shown;
    EXPECT_NE(session.shown.find("Password for tellavo: \r\nTELLAVO\r\nINFO\r\n"),
              std::string::npos)
        << session.shown;
    EXPECT_TRUE(session.echoAfter);
  }
}

TEST_F(PasswordPromptTest, NothingTypedIsAUsageError) {
  const TerminalSession session = TypeToTellavo(
      {"status", "--user", "tellavo", "--vendor", "42", "1000001"}, "Password for tellavo: ", "\n");
  EXPECT_EQ(session.status, 2) << session.shown;
  EXPECT_NE(session.shown.find("Try 'tellavo status --help'"), std::string::npos) << session.shown;
  EXPECT_TRUE(session.echoAfter);
}

} // namespace
} // namespace tellavo::test
