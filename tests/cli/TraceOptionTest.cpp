// The wire trace as an administrator and a user turn it on: the TraceFile
// setting, and --trace for one run of the client, to a file or to standard
// error. The password is in no record.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

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

// An exclusive lock on a file, held by this process as a stopped process
// would hold it, until the object goes or `longest` has passed: a client
// that waits for it without limit fails the test rather than hanging it.
class HeldLock {
public:
  HeldLock(const std::string& path, std::chrono::seconds longest) {
#ifdef _WIN32
    file_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED start{};
    if (file_ == INVALID_HANDLE_VALUE ||
        !LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &start))
      throw std::runtime_error("cannot lock " + path);
#else
    file_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (file_ < 0 || flock(file_, LOCK_EX) != 0)
      throw std::runtime_error("cannot lock " + path);
#endif
    release_ = std::jthread([this, longest](std::stop_token stop) {
      const auto until = std::chrono::steady_clock::now() + longest;
      while (!stop.stop_requested() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
#ifdef _WIN32
      CloseHandle(file_);
#else
      close(file_);
#endif
    });
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

private:
#ifdef _WIN32
  HANDLE file_;
#else
  int file_;
#endif
  std::jthread release_;
};

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

// Another process that holds the trace's lock (stopped, or on a hung network
// file system) holds a send no longer than the lock's bound: the record is
// skipped with a warning, and the message goes out once with its identifier.
TEST_F(TraceOptionTest, ALockHeldByAnotherProcessHoldsASendForTheBoundAtMost) {
  const std::string trace = folder_.Path("trace.log");
  std::vector<std::string> info = kInfo;
  info.insert(info.end(), {"--trace", trace});
  // The first run makes the lock file as the trace makes it.
  ASSERT_EQ(RunTellavo(info).status, 0);
  const HeldLock held(trace + ".lock", std::chrono::seconds(30));
  const auto start = std::chrono::steady_clock::now();
  const TellavoRun run = RunTellavo({"send", "--user", "tellavo", "--password", "s3cret",
                                     "--vendor", "42", "--originator", "TELLAVO", "--to",
                                     "5550000001", "--text", "hi", "--trace", trace});
  const auto taken = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "queued 1 short, 0 long; dropped 0 over 612 characters\n"
                     "short: 1000001\n");
  EXPECT_EQ(Sim().Messages().size(), 1u);
  // One wait of two seconds, then the call goes on untraced; the rest is the
  // client's own start and the exchanges.
  EXPECT_LT(taken, std::chrono::seconds(12));
  const std::string skipped = "another writer held it for longer than 2000 ms";
  if (RunningUnderWine()) {
    // Wine's trace of the entry is cut near 300 characters, in the paths.
    ASSERT_EQ(run.tracedEvents.size(), 1u);
    EXPECT_TRUE(run.tracedEvents[0].starts_with("Exception The trace file")) << run.tracedEvents[0];
  } else {
    EXPECT_NE(run.err.find(skipped), std::string::npos) << run.err;
  }
  EXPECT_EQ(Count(ReadAll(trace), "\nMethod: sendsms\n"), 0u);
}

} // namespace
} // namespace tellavo::test
