#include "Platform.h"
#include "TellavoProcess.h"

#include <optional>
#include <stdexcept>

#include "common/HandlesWin32.h"
#include "common/Utf.h"
#include "support/EventLogWatch.h"

namespace tellavo::test {
namespace {

std::wstring Wide(std::string_view text) {
  const std::u16string utf16 = Utf8ToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " failed, error " + std::to_string(GetLastError()));
}

// A temporary file that the child inherits as a standard stream, deleted when
// closed. A file rather than a pipe: the test waits for the child itself, not
// for the end of a pipe that any process the child starts would inherit too.
class TempFile {
public:
  TempFile() {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"tlv", 0, name) == 0)
      Fail("GetTempFileNameW");
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    handle_.reset(CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr));
    if (handle_.Get() == INVALID_HANDLE_VALUE)
      Fail("CreateFileW");
  }

  HANDLE Get() const { return handle_.Get(); }
  void Write(std::string_view text) const {
    DWORD written = 0;
    if (!text.empty() &&
        !WriteFile(Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
      Fail("WriteFile");
    Rewind();
  }
  std::string Read() const {
    Rewind();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
      text.append(buffer, read);
    return text;
  }

private:
  void Rewind() const { SetFilePointer(Get(), 0, nullptr, FILE_BEGIN); }

  KernelHandle handle_;
};

// One argument as the C runtime's command-line parser reads it back: quoted
// when it is empty or holds blanks or quotes, with the backslashes before a
// quote doubled.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
  if (!line.empty())
    line += L' ';
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// The client, found from this program's own folder (TELLAVO_CLIENT is
// relative to it).
std::wstring ClientPath() {
  wchar_t self[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH)
    Fail("GetModuleFileNameW");
  std::wstring path(self, length);
  path.erase(path.find_last_of(L"\\/") + 1);
  return path + Wide(TELLAVO_CLIENT);
}

} // namespace

TellavoRun RunTellavo(const std::vector<std::string>& args, std::string_view input) {
  const TempFile in, out, err;
  in.Write(input);
  const std::wstring client = ClientPath();
  std::wstring line;
  AppendArgument(line, client);
  for (const std::string& arg : args)
    AppendArgument(line, Wide(arg));

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.Get();
  startup.hStdOutput = out.Get();
  startup.hStdError = err.Get();
  std::optional<EventLogWatch> trace;
  if (RunningUnderWine())
    trace.emplace();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(client.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process))
    Fail("CreateProcessW");
  const KernelHandle child(process.hProcess), thread(process.hThread);
  DWORD code = 0;
  if (WaitForSingleObject(child.Get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(child.Get(), &code))
    Fail("waiting for the client");
  TellavoRun run;
  // A crash ends the process with its exception code (0xC0000005 ...).
  run.status = code >= 0xC0000000 ? -1 : static_cast<int>(code);
  run.out = out.Read();
  run.err = err.Read();
  if (trace)
    for (const std::u16string& text : trace->Texts())
      run.tracedEvents.push_back(Utf16ToUtf8(text));
  return run;
}

} // namespace tellavo::test
