// The wire trace on its own: what a record shows and hides, the file it goes
// to (rotation, permissions, failures) and records of several threads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include "common/Utf.h"
#include "common/WideText.h"
#include "support/Environment.h"
#ifdef _WIN32
#include "common/HandlesWin32.h"
#endif
#include "support/Wine.h"
#include "transport/ExchangeTrace.h"
#include "transport/TraceCall.h"
#include "transport/TraceFile.h"

namespace tellavo::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

size_t Count(std::string_view text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class TraceTest : public ::testing::Test {
protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("tellavo-trace-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path File() const { return folder_ / "trace.log"; }
  TTraceOptions
  Options(uint64_t maxBody = BuiltInSettings().Number(SettingId::TraceMaxBodyBytes),
          uint64_t maxBytes = BuiltInSettings().Number(SettingId::TraceMaxBytes)) const {
    return {File().u16string(), maxBody, maxBytes};
  }

  fs::path folder_;
};

TEST(TraceMask, EveryFormOfASecretAndEveryAuthorizationValueIsMasked) {
  const std::vector<std::string> secrets = {"p&amp;amp;w", "p&amp;w", "p&w"};
  const std::string text = "raw p&w, in the document p&amp;w, in the envelope p&amp;amp;w\n"
                           "Authorization: Basic dXNlcjpwYXNz\n"
                           "proxy-authorization:Negotiate abc\n"
                           "X-Authorization-Note: kept\n";
  EXPECT_EQ(MaskSecrets(text, secrets),
            "raw ********, in the document ********, in the envelope ********\n"
            "Authorization: ********\n"
            "proxy-authorization:********\n"
            "X-Authorization-Note: kept\n");
  // Occurrences that overlap or touch make one mask: no piece of one shows.
  EXPECT_EQ(MaskSecrets("<abcabcab><abcababcab>", {"abcab"}), "<********><********>");
}

TEST_F(TraceTest, RecordShowsTheExchangeAndHidesThePassword) {
  TTraceCall call(u"getinfo");
  // The password in the three forms a request holds it: as given, escaped in
  // the document, and escaped once more in the envelope.
  call.Start(Options(), {u"a<b", u"a&lt;b"});
  const std::string envelope = "<xml>&lt;PASSWORD&gt;a&amp;lt;b&lt;/PASSWORD&gt;</xml>";
  {
    TExchangeTrace trace(u"GetOriginatorsWebService", u"getOriginators");
    ASSERT_TRUE(trace.Recording());
    trace.Request(u"https://gw.example/GetOriginators.asmx", u"urn:x/getOriginators", envelope);
    trace.ResponseHead(u"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nAuthorization: x\r\n\r\n",
                       true);
    trace.Answer("<answer>a<b</answer>");
    trace.Succeeded();
  }
  const std::string record = ReadAll(File());
  EXPECT_TRUE(record.starts_with("==== ")) << record;
  for (const char* line :
       {"\nMethod: getinfo\n", "\nService: GetOriginatorsWebService, operation getOriginators\n",
        "\nURL: https://gw.example/GetOriginators.asmx\n",
        "\nSOAPAction: \"urn:x/getOriginators\"\n", "\nConnection: reused\n",
        "\nRequest: 54 bytes\n<xml>&lt;PASSWORD&gt;********&lt;/PASSWORD&gt;</xml>\n",
        "\nResponse:\nHTTP/1.1 200 OK\nContent-Type: text/xml\nAuthorization: ********\n",
        "\nAnswer: 20 bytes\n<answer>********</answer>\n", "\nResult: success\n"})
    EXPECT_NE(record.find(line), std::string::npos) << line << "\nin\n" << record;
  EXPECT_EQ(record.find("a<b"), std::string::npos);
  EXPECT_EQ(record.find("lt;b"), std::string::npos);
}

TEST_F(TraceTest, BodiesAreCutAtTheLimitSayingSoAndAFailureIsNamed) {
  TTraceCall call(u"sendsms");
  call.Start(Options(10), {u"SECRET"});
  {
    TExchangeTrace trace(u"SendSMSWebService", u"sendSMS");
    // The secret straddles the cut: not even its first letters show.
    trace.Request(u"https://gw.example/x", u"a", "0123456SECRET789");
    // A cut never ends inside a character: the euro sign is 3 bytes.
    trace.Answer("012345678\xE2\x82\xAC tail");
    trace.Failed(ESOAPHTTPException(u"Not Found (404) - 'x'", 404));
  }
  const std::string record = ReadAll(File());
  EXPECT_NE(record.find("\nRequest: 16 bytes, cut to the first 10 shown\n0123456***\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("\nAnswer: 17 bytes, cut to the first 9 shown\n012345678\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("\nConnection: no response\nRequest:"), std::string::npos) << record;
  EXPECT_NE(record.find("\nResponse: none\n"), std::string::npos) << record;
  EXPECT_NE(record.find("\nResult: ESOAPHTTPException Not Found (404) - 'x'\n"), std::string::npos)
      << record;
  EXPECT_EQ(record.find("SEC"), std::string::npos);
}

TEST_F(TraceTest, BodyLimitShowsNoPieceOfAnEscapedPasswordAndAWholeBodyOfExactlyTheLimit) {
  TTraceCall call(u"sendsms");
  // As the gateway call gives them: the password and its escaped form.
  call.Start(Options(20), {u"p&w", u"p&amp;w"});
  {
    TExchangeTrace trace(u"SendSMSWebService", u"sendSMS");
    // In the envelope the password is escaped twice and 11 bytes long; its
    // first mask leaves room before the cut for the start of the second.
    trace.Request(u"https://gw.example/x", u"a", "p&amp;amp;w0123456789p&amp;amp;w tail");
    trace.Answer("01234567890123456789");
    trace.Succeeded();
  }
  const std::string record = ReadAll(File());
  EXPECT_NE(record.find("\nRequest: 37 bytes, cut to the first 20 shown\n********0123456789**\n"),
            std::string::npos)
      << record;
  EXPECT_EQ(record.find("p&"), std::string::npos) << record;
  EXPECT_NE(record.find("\nAnswer: 20 bytes\n01234567890123456789\n"), std::string::npos) << record;
}

TEST_F(TraceTest, NothingIsRecordedOutsideATracedCall) {
  {
    TExchangeTrace outside(u"S", u"op");
    EXPECT_FALSE(outside.Recording());
  }
  TTraceCall off(u"getinfo");
  off.Start({}, {u"pw"});
  TExchangeTrace untraced(u"S", u"op");
  EXPECT_FALSE(untraced.Recording());
  untraced.Succeeded();
  EXPECT_FALSE(fs::exists(File()));
}

TEST_F(TraceTest, FileIsRenamedAtTheLimitReplacingTheOlderOne) {
  const std::string record(40, 'r');
  const std::u16string file = File().u16string();
  const fs::path rotated = folder_ / "trace.log.1";
  // 100 bytes hold two records; the third begins a new file.
  AppendTraceRecord(file, 100, record + "1\n");
  AppendTraceRecord(file, 100, record + "2\n");
  EXPECT_FALSE(fs::exists(rotated));
  AppendTraceRecord(file, 100, record + "3\n");
  EXPECT_EQ(ReadAll(rotated), record + "1\n" + record + "2\n");
  EXPECT_EQ(ReadAll(File()), record + "3\n");
  AppendTraceRecord(file, 100, record + "4\n");
  AppendTraceRecord(file, 100, record + "5\n");
  EXPECT_EQ(ReadAll(rotated), record + "3\n" + record + "4\n");
  EXPECT_EQ(ReadAll(File()), record + "5\n");
  // A record larger than the limit still goes whole, into a file of its own.
  const std::string large(300, 'L');
  AppendTraceRecord(file, 100, large);
  EXPECT_EQ(ReadAll(rotated), record + "5\n");
  EXPECT_EQ(ReadAll(File()), large);
  // One that begins a new file keeps the older records where they are.
  fs::remove(File());
  AppendTraceRecord(file, 100, large + "2");
  EXPECT_EQ(ReadAll(rotated), record + "5\n");
  EXPECT_EQ(ReadAll(File()), large + "2");
  // A record that brings the file to exactly the limit stays in it.
  fs::remove(File());
  const std::string half(50, 'h');
  AppendTraceRecord(file, 100, half);
  AppendTraceRecord(file, 100, half);
  EXPECT_EQ(ReadAll(File()), half + half);
  EXPECT_EQ(ReadAll(rotated), record + "5\n");
}

TEST_F(TraceTest, RotationThatCannotRenameSkipsRecordsUntilItCan) {
  const std::u16string file = File().u16string();
  const fs::path rotated = folder_ / "trace.log.1";
  const std::string record(60, 'r');
  const auto refusal = [&](const std::string& text) -> std::string {
    try {
      AppendTraceRecord(file, 100, text);
    } catch (const Exception& failure) {
      return Utf16ToUtf8(failure.ReportText());
    }
    return "appended";
  };
  // A folder in the rotated file's place cannot be replaced: the file stays
  // under its limit and the failure names both files.
  fs::create_directories(rotated / "kept");
  AppendTraceRecord(file, 100, record + "1\n");
  const std::string skipped = refusal(record + "2\n");
  EXPECT_NE(
      skipped.find("The trace file '" + File().string() +
                   "' cannot be written: it reached its size limit and cannot be renamed to '" +
                   rotated.string() + "', so the record was skipped: "),
      std::string::npos)
      << skipped;
  EXPECT_NE(refusal(record + "3\n"), "appended");
  EXPECT_EQ(ReadAll(File()), record + "1\n");
  fs::remove_all(rotated);
  AppendTraceRecord(file, 100, record + "4\n");
  EXPECT_EQ(ReadAll(rotated), record + "1\n");
  EXPECT_EQ(ReadAll(File()), record + "4\n");
#ifdef _WIN32
  // A reader that does not let the file be renamed, as most editors open it.
  {
    const KernelHandle reader(CreateFileW(File().c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(reader.Get(), INVALID_HANDLE_VALUE);
    EXPECT_NE(refusal(record + "5\n"), "appended");
  }
  EXPECT_EQ(ReadAll(File()), record + "4\n");
  AppendTraceRecord(file, 100, record + "6\n");
  EXPECT_EQ(ReadAll(rotated), record + "4\n");
  EXPECT_EQ(ReadAll(File()), record + "6\n");
#endif
}

#ifndef _WIN32
// In a shared folder with the sticky bit, another account's link at the
// rotated name cannot be replaced by this one: the trace must neither grow
// past its limit nor write through the link. Needs two accounts: run as
// root, the trace is written by "nobody" and the link is root's.
TEST_F(TraceTest, LinkOfAnotherAccountAtTheRotatedNameIsNeverWrittenThrough) {
  constexpr uid_t kNobody = 65534;
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root, to write the trace as another account (nobody)";
  char shared[] = "/tmp/tellavo-sticky-XXXXXX";
  ASSERT_NE(mkdtemp(shared), nullptr);
  const fs::path folder = shared;
  ASSERT_EQ(0, chmod(shared, 01777));
  const fs::path trace = folder / "trace.log";
  const fs::path victim = folder_ / "victim";
  std::ofstream(victim) << "mine";
  fs::create_symlink(victim, trace.string() + ".1");

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Each failed check ends the child with its own status.
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
      _exit(10);
    const std::string record(60, 'r');
    AppendTraceRecord(trace.u16string(), 100, record);
    for (int i = 0; i < 3; ++i) {
      try {
        AppendTraceRecord(trace.u16string(), 100, record);
        _exit(11);
      } catch (const Exception&) {
      }
    }
    _exit(fs::file_size(trace) == record.size() ? 0 : 12);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(fs::is_symlink(trace.string() + ".1"));
  EXPECT_EQ(ReadAll(victim), "mine");
  fs::remove_all(folder);
}
#endif

#ifdef _WIN32
// The security descriptor of `path` as SDDL, for `parts`.
std::string SecurityText(const fs::path& path, SECURITY_INFORMATION parts) {
  LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr,
                            descriptor.Out()) != ERROR_SUCCESS)
    return "unreadable";
  LocalMemory<LPWSTR> text;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.Get(), SDDL_REVISION_1, parts,
                                                       text.Out(), nullptr);
  return text.Valid() ? Utf16ToUtf8(FromWide(text.Get())) : "";
}

std::string ProcessUserSid() {
  KernelHandle token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Out());
  BYTE buffer[256];
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size);
  LocalMemory<LPWSTR> text;
  ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, text.Out());
  return Utf16ToUtf8(FromWide(text.Get()));
}
#endif

TEST_F(TraceTest, NewFilesArePrivateToTheirOwner) {
  AppendTraceRecord(File().u16string(), 100, "x\n");
  for (const fs::path& made : {File(), fs::path(File().string() + ".lock")}) {
#ifdef _WIN32
    // Read back as the system keeps it: nothing inherited from the folder
    // (P), full control for SYSTEM, the Administrators and the owner.
    // Wine keeps a file's access in its Unix mode, here owner-only, and
    // reports the descriptor it derives from that: no entry for the
    // Administrators, no protection flag, and no entry for Everyone, which
    // a file made without the descriptor gets.
    const std::string user = ProcessUserSid();
    EXPECT_EQ(SecurityText(made, DACL_SECURITY_INFORMATION),
              RunningUnderWine() ? "D:(A;;FA;;;SY)(A;;FA;;;" + user + ")"
                                 : "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + user + ")")
        << made;
#else
    EXPECT_EQ(fs::status(made).permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << made;
#endif
  }
}

// What appending a record to `path` reports, or "accepted".
std::string Refusal(const fs::path& path) {
  try {
    AppendTraceRecord(path.u16string(), 1000, "record\n");
  } catch (const Exception& failure) {
    return Utf16ToUtf8(failure.ReportText());
  }
  return "accepted";
}

TEST_F(TraceTest, ControlCharactersLinksAndFilesOfOthersAreRefused) {
  const fs::path other = folder_ / "other.txt";
  std::ofstream(other) << "other";

  const fs::path deleteCharacter = folder_ / "trace\x7F.log";
  EXPECT_NE(Refusal(deleteCharacter).find("not an absolute path"), std::string::npos);
  EXPECT_FALSE(fs::exists(deleteCharacter));

  fs::create_hard_link(other, File());
  EXPECT_TRUE(Refusal(File()).ends_with(": it is a link")) << Refusal(File());
  fs::remove(File());

  // Where the system lets this account make one. Wine's CreateSymbolicLinkW
  // reports success and makes nothing.
#ifdef _WIN32
  const bool linked = CreateSymbolicLinkW(File().c_str(), other.c_str(),
                                          SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0 &&
                      GetFileAttributesW(File().c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  std::error_code noLink;
  fs::create_symlink(other, File(), noLink);
  const bool linked = !noLink;
#endif
  if (linked) {
    EXPECT_TRUE(Refusal(File()).ends_with(": it is a link")) << Refusal(File());
    fs::remove(File());
  }

  // The lock file is held to the same rules, and named.
  fs::remove(File().string() + ".lock");
  fs::create_hard_link(other, File().string() + ".lock");
  EXPECT_TRUE(Refusal(File()).ends_with("trace.log.lock': it is a link")) << Refusal(File());
  EXPECT_EQ(ReadAll(other), "other");
  fs::remove(File().string() + ".lock");

  // A file another account made first.
  std::ofstream(File()) << "planted";
#ifdef _WIN32
  BYTE system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof system;
  CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
  // Wine accepts a new owner but keeps the file's Unix owner: there the
  // case cannot be made.
  const bool foreign = SetNamedSecurityInfoW(const_cast<LPWSTR>(File().c_str()), SE_FILE_OBJECT,
                                             OWNER_SECURITY_INFORMATION, system, nullptr, nullptr,
                                             nullptr) == ERROR_SUCCESS &&
                       SecurityText(File(), OWNER_SECURITY_INFORMATION) == "O:SY";
#else
  const bool foreign = chown(File().c_str(), 65534, 65534) == 0;
#endif
  if (foreign) {
    EXPECT_TRUE(Refusal(File()).ends_with(": it belongs to another account")) << Refusal(File());
    EXPECT_EQ(ReadAll(File()), "planted");
  }
  EXPECT_EQ(ReadAll(other), "other");
}

// A path that only the other platform roots would be a file of that name in
// the host's current folder, and a device or a pipe is no file: each is
// refused before anything is made or opened.
TEST_F(TraceTest, PathsOfTheOtherPlatformDevicesAndPipesAreRefused) {
  const fs::path current = fs::current_path();
  fs::current_path(folder_);
#ifdef _WIN32
  const std::u16string folder = folder_.u16string();
  for (const std::u16string& path :
       {std::u16string(u"/trace.log"), std::u16string(u"\\\\.\\pipe\\tellavo-trace"),
        folder + u"\\NUL", folder + u"\\con.log"})
#else
  for (std::u16string_view path : {u"C:\\trace.log", u"C:/trace.log", u"\\\\srv\\share\\t.log"})
#endif
    EXPECT_NE(Refusal(fs::path(path)).find("not an absolute path"), std::string::npos)
        << Refusal(fs::path(path));
  fs::current_path(current);
  EXPECT_TRUE(fs::is_empty(folder_));
#ifndef _WIN32
  // A FIFO never holds the call waiting for a reader; with one, it is no
  // plain file.
  ASSERT_EQ(mkfifo(File().c_str(), 0600), 0);
  EXPECT_NE(Refusal(File()), "accepted");
  const int reader = open(File().c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(Refusal(File()).ends_with(": it is not a plain file")) << Refusal(File());
  close(reader);
#endif
}

TEST_F(TraceTest, UnwritableFileIsReportedOncePerProcessAndStopsTheCallsTrace) {
  const fs::path missing = folder_ / "no such folder" / "trace.log";
  for (int i = 0; i < 2; ++i) {
    TTraceCall call(u"getinfo");
    call.Start({missing.u16string()}, {});
    {
      TExchangeTrace trace(u"S", u"op");
      ASSERT_TRUE(trace.Recording());
      trace.Succeeded();
    }
    // The call's later exchanges go untraced.
    EXPECT_FALSE(TExchangeTrace(u"S", u"op").Recording());
    const std::optional<Exception> failure = call.TakeFailure();
    if (i == 1) {
      EXPECT_FALSE(failure) << "reported twice";
      continue;
    }
    ASSERT_TRUE(failure);
    const std::string message = Utf16ToUtf8(failure->ReportText());
    EXPECT_TRUE(message.starts_with("Exception The trace file '" +
                                    Utf16ToUtf8(missing.u16string()) + "' cannot be written: "))
        << message;
  }
}

TEST_F(TraceTest, RecordsOfManyThreadsNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kRecords = 50;
  // Records of 20 KB: far beyond what one small write would carry.
  std::vector<std::thread> threads;
  std::vector<std::string> failures(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string record = "<" + std::string(20000, static_cast<char>('a' + t)) + ">\n";
      try {
        for (int i = 0; i < kRecords; ++i)
          AppendTraceRecord(File().u16string(), BuiltInSettings().Number(SettingId::TraceMaxBytes),
                            record);
      } catch (const Exception& failure) {
        failures[t] = Utf16ToUtf8(failure.ReportText());
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (const std::string& failure : failures)
    EXPECT_EQ(failure, "");
  const std::string all = ReadAll(File());
  ASSERT_EQ(all.size(), size_t{kThreads} * kRecords * 20003);
  for (size_t at = 0; at < all.size(); at += 20003) {
    const char letter = all[at + 1];
    ASSERT_EQ(all.substr(at, 20003), "<" + std::string(20000, letter) + ">\n") << "at " << at;
  }
  EXPECT_EQ(Count(all, "<"), size_t{kThreads} * kRecords);
}

// The job of a writer process: the folder of the trace files and the letter
// of its records.
constexpr char kWriterVariable[] = "TELLAVO_TEST_TRACE_WRITER";
// Each round is a trace file of its own, filled so that one more record
// fits but not two, to which both writers add a record at the same moment:
// the second one must find the first and rotate the file. A lock that lets
// both look at the file before either writes fits both in, or loses records
// in a rotation of both, in some rounds; many rounds find it every run.
constexpr int kWriterRounds = 250;
constexpr uint64_t kWriterLimit = 200'000;
constexpr size_t kWriterRecordBytes = 75'000;

// Writer `letter`'s record of `round`: 75 KB, more than one write of some
// systems carries at once.
std::string WriterRecord(char letter, int round) {
  std::string record = {'<', letter};
  record += std::to_string(1000 + round);
  record += ':';
  record.append(kWriterRecordBytes, letter);
  record += ">\n";
  return record;
}

// What a round's file holds before the writers start.
std::string FilledTrace() {
  return "<full:" + std::string(kWriterLimit - 2 * kWriterRecordBytes, 'f') + ">\n";
}

fs::path RoundFile(const fs::path& folder, int round) {
  return folder / ("round" + std::to_string(round) + ".log");
}

// This test program again, running only AppendsItsRecords with `job`.
class TWriterProcess {
public:
  explicit TWriterProcess(const std::string& job) {
    SetEnvironment(kWriterVariable, job);
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" " + kFilter;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    started_ = CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process);
    process_.reset(process.hProcess);
    const KernelHandle unusedThread(process.hThread);
#else
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string filter = Utf8Filter();
    char* arguments[] = {self.data(), filter.data(), nullptr};
    started_ = posix_spawn(&process_, self.c_str(), nullptr, nullptr, arguments, environ) == 0;
#endif
    SetEnvironment(kWriterVariable, std::nullopt);
  }
  TWriterProcess(const TWriterProcess&) = delete;
  TWriterProcess& operator=(const TWriterProcess&) = delete;

  // Whether it started and ran to success.
  bool Succeeded() {
    if (!started_)
      return false;
#ifdef _WIN32
    WaitForSingleObject(process_.Get(), INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process_.Get(), &status);
    return status == 0;
#else
    int status = 0;
    return waitpid(process_, &status, 0) == process_ && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
#endif
  }

private:
#ifdef _WIN32
  static constexpr wchar_t kFilter[] = L"--gtest_filter=TraceWriter.AppendsItsRecords";
  KernelHandle process_;
#else
  static std::string Utf8Filter() {
    return "--gtest_filter=TraceWriter.AppendsItsRecords";
  }
  pid_t process_ = 0;
#endif
  bool started_ = false;
};

// Runs only in a writer process: in each round, announces itself, waits for
// the other writer, so that both write at once, then appends its record.
TEST(TraceWriter, AppendsItsRecords) {
  const std::optional<std::string> job = GetEnvironment(kWriterVariable);
  if (!job)
    GTEST_SKIP() << "a writer process of RecordsOfTwoProcessesAtOnceAreAllKept";
  const fs::path folder = job->substr(1);
  const char letter = job->front();
  const char otherLetter = letter == 'a' ? 'b' : 'a';
  for (int round = 0; round < kWriterRounds; ++round) {
    const std::string file = RoundFile(folder, round).string();
    std::ofstream(file + ".ready-" + letter) << "ready";
    while (!fs::exists(file + ".ready-" + otherLetter))
      std::this_thread::yield();
    AppendTraceRecord(fs::path(file).u16string(), kWriterLimit, WriterRecord(letter, round));
  }
}

TEST_F(TraceTest, RecordsOfTwoProcessesAtOnceAreAllKept) {
  for (int round = 0; round < kWriterRounds; ++round)
    std::ofstream(RoundFile(folder_, round), std::ios::binary) << FilledTrace();
  const std::string folder = folder_.string();
  TWriterProcess first(std::string(1, 'a').append(folder));
  TWriterProcess second(std::string(1, 'b').append(folder));
  ASSERT_TRUE(first.Succeeded());
  ASSERT_TRUE(second.Succeeded());
  int lost = 0;
  for (int round = 0; round < kWriterRounds; ++round) {
    const fs::path file = RoundFile(folder_, round);
    const std::string a = WriterRecord('a', round);
    const std::string b = WriterRecord('b', round);
    const std::string rotated = ReadAll(file.string() + ".1");
    const std::string current = ReadAll(file);
    const bool whole = (rotated == FilledTrace() + a && current == b) ||
                       (rotated == FilledTrace() + b && current == a);
    lost += whole ? 0 : 1;
  }
  EXPECT_EQ(lost, 0) << "rounds of " << kWriterRounds << " that lost, broke or misplaced records";
}

} // namespace
} // namespace tellavo::test
