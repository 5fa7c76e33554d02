#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "FileDescriptor.h"
#include "common/FileNameText.h"
#include "common/Utf.h"
#include "transport/TraceFile.h"
#include "transport/TraceFileSystem.h"

namespace tellavo {

namespace {

// Records hold what went over the wire, secrets masked or not: nobody but
// the owner reads a file the trace makes.
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

std::u16string Reason(int error) {
  return Utf8ToUtf16(std::strerror(error));
}

// Opens `path` for writing, created with kOwnerOnly when missing. The last
// part of the path is never followed as a link, a FIFO never waits for a
// reader (O_NONBLOCK does nothing to a plain file), and what was opened is
// checked on the descriptor itself, so nothing can be swapped in between.
// On failure the descriptor is not open and `reason` says why.
FileDescriptor OpenPrivateFile(std::u16string_view path, std::u16string& reason) {
  FileDescriptor file(open(Utf16ToFileName(path).c_str(),
                           O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                           kOwnerOnly));
  struct stat status {};
  if (file.Get() < 0)
    reason = errno == ELOOP ? std::u16string(kRefusedLink) : Reason(errno);
  else if (fstat(file.Get(), &status) != 0)
    reason = Reason(errno);
  else if (!S_ISREG(status.st_mode))
    reason = kRefusedKind;
  else if (status.st_uid != geteuid())
    reason = kRefusedOwner;
  // A second name for the same file: another's file, or one they can read.
  else if (status.st_nlink != 1)
    reason = kRefusedLink;
  else
    return file;
  return FileDescriptor();
}

} // namespace

struct TTraceFileHandle::Native {
  FileDescriptor file;
};

TTraceFileHandle::TTraceFileHandle(std::u16string_view path) : path_(path) {
  std::u16string reason;
  native_ = std::make_unique<Native>(Native{OpenPrivateFile(path, reason)});
  if (native_->file.Get() < 0)
    throw TraceFileError(path, reason);
}

TTraceFileHandle::~TTraceFileHandle() = default;

uint64_t TTraceFileHandle::Size() const {
  struct stat status {};
  if (fstat(native_->file.Get(), &status) != 0)
    throw TraceFileError(path_, Reason(errno));
  return static_cast<uint64_t>(status.st_size);
}

void TTraceFileHandle::Append(std::string_view bytes) {
  if (!WriteAll(native_->file.Get(), bytes))
    throw TraceFileError(path_, Reason(errno));
}

struct TTraceFileLock::Native {
  FileDescriptor file;
};

TTraceFileLock::TTraceFileLock(std::u16string_view path, std::u16string_view traceFile,
                               std::chrono::steady_clock::time_point deadline) {
  std::u16string reason;
  native_ = std::make_unique<Native>(Native{OpenPrivateFile(path, reason)});
  if (native_->file.Get() < 0)
    throw TraceLockError(traceFile, path, reason);
  const bool taken = TakeLockBy(deadline, [&] {
    if (flock(native_->file.Get(), LOCK_EX | LOCK_NB) == 0)
      return true;
    if (errno != EWOULDBLOCK && errno != EINTR)
      throw TraceLockError(traceFile, path, Reason(errno));
    return false;
  });
  if (!taken)
    throw TraceLockError(traceFile, path, TraceLockBusyReason());
}

// Closing the descriptor releases the lock.
TTraceFileLock::~TTraceFileLock() = default;

void RenameTraceFile(std::u16string_view from, std::u16string_view to) {
  if (rename(Utf16ToFileName(from).c_str(), Utf16ToFileName(to).c_str()) != 0)
    throw TraceRenameError(from, to, Reason(errno));
}

void WriteStandardError(std::string_view bytes) {
  if (!WriteAll(STDERR_FILENO, bytes))
    throw TraceFileError(u"-", Reason(errno));
}

std::u16string TraceFileOverride() {
  const char* value = std::getenv(Utf16ToUtf8(kTraceFileVariable).c_str());
  return value == nullptr ? std::u16string() : FileNameToUtf16(value);
}

uint32_t TraceProcessId() {
  return static_cast<uint32_t>(getpid());
}

uint32_t TraceThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

} // namespace tellavo
