// The wire trace as an administrator and a user turn it on: the TraceFile
// setting, and --trace for one run of the client, to a file or to standard
// error. The password is in no record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "TellavoProcess.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/ScopedSettings.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {
namespace {

const std::vector<std::string> kInfo{"info",   "--user",   "tellavo", "--password",
                                     "s3cret", "--vendor", "42"};

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

size_t Count(const std::string& text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class TraceOptionTest : public SimulatorTest {
protected:
  ScopedProxyEnvironment proxy_{Sim()};
  ScopedSettings settings_;
  TempFolder folder_;
};

TEST_F(TraceOptionTest, SendWithTheSettingLeavesARecordOfEachExchangeWithoutThePassword) {
  const std::string trace = folder_.Path("trace.log");
  settings_.SetText("TraceFile", trace);
  const TellavoRun run =
      RunTellavo({"send", "--user", "tellavo", "--password", "s3cret", "--vendor", "42",
                  "--originator", "TELLAVO", "--to", "5550000001", "--text", "hi"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string records = ReadAll(trace);
  EXPECT_EQ(Count(records, "\nMethod: sendsms\n"), 2u) << records;
  EXPECT_EQ(Count(records, "&lt;PASSWORD&gt;********&lt;/PASSWORD&gt;"), 2u) << records;
  EXPECT_NE(records.find("MSGID&gt; 1000001 &lt;/MSGID"), std::string::npos) << records;
  EXPECT_EQ(records.find("s3cret"), std::string::npos);
}

TEST_F(TraceOptionTest, TraceOptionHoldsForItsRunOnly) {
  const std::string configured = folder_.Path("configured.log");
  const std::string chosen = folder_.Path("chosen.log");
  settings_.SetText("TraceFile", configured);
  std::vector<std::string> args = kInfo;
  args.insert(args.end(), {"--trace", chosen});
  ASSERT_EQ(RunTellavo(args).status, 0);
  EXPECT_EQ(Count(ReadAll(chosen), "\nMethod: getinfo\n"), 1u);
  EXPECT_FALSE(std::filesystem::exists(configured));
  // The next run without it traces where the settings say.
  ASSERT_EQ(RunTellavo(kInfo).status, 0);
  EXPECT_EQ(Count(ReadAll(configured), "\nMethod: getinfo\n"), 1u);
  EXPECT_EQ(Count(ReadAll(chosen), "\nMethod: getinfo\n"), 1u);
}

TEST_F(TraceOptionTest, TraceToStandardError) {
  std::vector<std::string> args = kInfo;
  args.insert(args.end(), {"--trace", "-"});
  const TellavoRun run = RunTellavo(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "TELLAVO\nINFO\n");
  EXPECT_EQ(Count(run.err, "\nMethod: getinfo\n"), 1u) << run.err;
  EXPECT_EQ(Count(run.err, "\nResult: success\n"), 1u) << run.err;
  EXPECT_EQ(run.err.find("s3cret"), std::string::npos);

  args.back() = "";
  const TellavoRun empty = RunTellavo(args);
  EXPECT_EQ(empty.status, 2);
  EXPECT_NE(empty.err.find("--trace needs a file name"), std::string::npos) << empty.err;
}

} // namespace
} // namespace tellavo::test
