#include "Platform.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <optional>
#include <utility>

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/HandlesWin32.h"
#include "common/TokenWin32.h"
#include "common/WideText.h"
#include "transport/TraceFile.h"
#include "transport/TraceFileSystem.h"

namespace tellavo {

namespace {

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

// Memory the security functions allocate with LocalAlloc.
using TLocalMemory = LocalMemory<HLOCAL>;

// The account this thread acts for: its user, and the owner that the system
// gives what it creates (for an elevated administrator, the Administrators).
struct TAccount {
  std::unique_ptr<BYTE[]> user;
  std::unique_ptr<BYTE[]> owner;

  PSID User() const { return reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid; }
  PSID Owner() const { return reinterpret_cast<TOKEN_OWNER*>(owner.get())->Owner; }
};

std::optional<TAccount> CurrentAccount() {
  HANDLE token = nullptr;
  // A thread that impersonates creates files as the client it acts for.
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return std::nullopt;
  const KernelHandle held(token);
  TAccount account{TokenInformation(token, TokenUser), TokenInformation(token, TokenOwner)};
  if (!account.user || !account.owner)
    return std::nullopt;
  return account;
}

// SYSTEM, the Administrators and the account itself, full control each, and
// nothing inherited from the folder.
constexpr std::u16string_view kPrivateDacl = u"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;%s)";

// The private descriptor for a new file of `account`.
TLocalMemory PrivateDescriptor(const TAccount& account) {
  LPWSTR user = nullptr;
  if (!ConvertSidToStringSidW(account.User(), &user))
    return {};
  const TLocalMemory userText(user);
  const std::u16string sddl = Format(kPrivateDacl, {FromWide(user)});
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(sddl), SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return {};
  return TLocalMemory(descriptor);
}

// Whether `file` belongs to `account`: to its user, or to the owner the
// system gives what it creates.
bool OwnedBy(HANDLE file, const TAccount& account) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  const TLocalMemory held(descriptor);
  return EqualSid(owner, account.User()) || EqualSid(owner, account.Owner());
}

// Opens `path` with `access`, created with the private descriptor when
// missing. A link is opened as itself, never followed, and what was opened
// is checked on the handle itself, so nothing can be swapped in between.
// Should the name reach a pipe after all, its server may only identify the
// host, never act as it. Other writers and a rename stay possible while the
// file is open.
// On failure the handle is not open and `reason` says why.
KernelHandle OpenPrivateFile(std::u16string_view path, DWORD access, std::u16string& reason) {
  const std::u16string name(path);
  const std::optional<TAccount> account = CurrentAccount();
  const TLocalMemory descriptor = account ? PrivateDescriptor(*account) : TLocalMemory();
  if (!descriptor.Valid()) {
    reason = LastErrorReason();
    return KernelHandle(INVALID_HANDLE_VALUE);
  }
  SECURITY_ATTRIBUTES security{sizeof security, descriptor.Get(), FALSE};
  KernelHandle file(CreateFileW(Wide(name), access | READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security,
                                OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                                    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (file.Get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.Get(), &information))
    reason = LastErrorReason();
  // A symbolic link, a junction or a second name for the same file.
  else if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
           information.nNumberOfLinks != 1)
    reason = kRefusedLink;
  else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
           GetFileType(file.Get()) != FILE_TYPE_DISK)
    reason = kRefusedKind;
  else if (!OwnedBy(file.Get(), *account))
    reason = kRefusedOwner;
  else
    return file;
  return KernelHandle(INVALID_HANDLE_VALUE);
}

} // namespace

struct TTraceFileHandle::Native {
  KernelHandle file;
};

TTraceFileHandle::TTraceFileHandle(std::u16string_view path) : path_(path) {
  std::u16string reason;
  native_ = std::make_unique<Native>(OpenPrivateFile(path, FILE_APPEND_DATA, reason));
  if (native_->file.Get() == INVALID_HANDLE_VALUE)
    throw TraceFileError(path, reason);
}

TTraceFileHandle::~TTraceFileHandle() = default;

uint64_t TTraceFileHandle::Size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(native_->file.Get(), &size))
    throw TraceFileError(path_, LastErrorReason());
  return static_cast<uint64_t>(size.QuadPart);
}

void TTraceFileHandle::Append(std::string_view bytes) {
  if (!WriteAll(native_->file.Get(), bytes))
    throw TraceFileError(path_, LastErrorReason());
}

struct TTraceFileLock::Native {
  KernelHandle file;
};

TTraceFileLock::TTraceFileLock(std::u16string_view path, std::u16string_view traceFile,
                               std::chrono::steady_clock::time_point deadline) {
  std::u16string reason;
  native_ = std::make_unique<Native>(OpenPrivateFile(path, GENERIC_READ | GENERIC_WRITE, reason));
  if (native_->file.Get() == INVALID_HANDLE_VALUE)
    throw TraceLockError(traceFile, path, reason);
  const bool taken = TakeLockBy(deadline, [&] {
    OVERLAPPED start{};
    if (LockFileEx(native_->file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                   0, &start))
      return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION)
      throw TraceLockError(traceFile, path, LastErrorReason());
    return false;
  });
  if (!taken)
    throw TraceLockError(traceFile, path, TraceLockBusyReason());
}

// Released at once: the system releases the lock of a closed handle only
// when it gets round to it, and the next process waits until then.
TTraceFileLock::~TTraceFileLock() {
  OVERLAPPED start{};
  UnlockFileEx(native_->file.Get(), 0, 1, 0, &start);
}

void RenameTraceFile(std::u16string_view from, std::u16string_view to) {
  const std::u16string source(from);
  const std::u16string target(to);
  if (!MoveFileExW(Wide(source), Wide(target), MOVEFILE_REPLACE_EXISTING))
    throw TraceRenameError(from, to, LastErrorReason());
}

void WriteStandardError(std::string_view bytes) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE || !WriteAll(error, bytes))
    throw TraceFileError(u"-", LastErrorReason());
}

std::u16string TraceFileOverride() {
  std::u16string value(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableW(Wide(kTraceFileVariable), Wide(value.data()),
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
