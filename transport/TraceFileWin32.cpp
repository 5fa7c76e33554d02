#include "Platform.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "transport/TraceFile.h"
#include "transport/TraceFileSystem.h"

namespace tellavo {

namespace {

const WCHAR* W(std::u16string_view text) {
  return reinterpret_cast<const WCHAR*>(text.data());
}

// The system's text for the thread's last error code.
std::u16string LastErrorReason() {
  const DWORD code = GetLastError();
  std::u16string text = SystemMessageText(static_cast<HRESULT>(code));
  return text.empty() ? Format(u"system error %d", {static_cast<long>(code)}) : text;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0)
      return false;
    bytes.remove_prefix(written);
  }
  return true;
}

} // namespace

struct TTraceFileHandle::Native {
  HANDLE file = INVALID_HANDLE_VALUE;
};

TTraceFileHandle::TTraceFileHandle(std::u16string_view path)
    : native_(std::make_unique<Native>()), path_(path) {
  // No security descriptor: a new file takes its folder's permissions.
  // Other writers and a rename stay possible while the file is open.
  native_->file = CreateFileW(W(path_), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (native_->file == INVALID_HANDLE_VALUE)
    throw TraceFileError(path_, LastErrorReason());
}

TTraceFileHandle::~TTraceFileHandle() {
  CloseHandle(native_->file);
}

uint64_t TTraceFileHandle::Size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(native_->file, &size))
    throw TraceFileError(path_, LastErrorReason());
  return static_cast<uint64_t>(size.QuadPart);
}

void TTraceFileHandle::Append(std::string_view bytes) {
  if (!WriteAll(native_->file, bytes))
    throw TraceFileError(path_, LastErrorReason());
}

void RenameTraceFile(std::u16string_view from, std::u16string_view to) {
  const std::u16string source(from);
  const std::u16string target(to);
  if (!MoveFileExW(W(source), W(target), MOVEFILE_REPLACE_EXISTING))
    throw TraceFileError(from, LastErrorReason());
}

void WriteStandardError(std::string_view bytes) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE || !WriteAll(error, bytes))
    throw TraceFileError(u"-", LastErrorReason());
}

std::u16string TraceFileOverride() {
  std::u16string value(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length =
        GetEnvironmentVariableW(W(kTraceFileVariable), reinterpret_cast<WCHAR*>(value.data()),
                                static_cast<DWORD>(value.size()));
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.assign(length, u'\0');
  }
}

uint32_t TraceProcessId() {
  return GetCurrentProcessId();
}

uint32_t TraceThreadId() {
  return GetCurrentThreadId();
}

} // namespace tellavo
