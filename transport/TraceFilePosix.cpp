#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

// Writes all of `bytes` to `fd`, through interruptions and short writes.
bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

} // namespace

struct TTraceFileHandle::Native {
  int fd = -1;
};

TTraceFileHandle::TTraceFileHandle(std::u16string_view path)
    : native_(std::make_unique<Native>()), path_(path) {
  native_->fd =
      open(Utf16ToUtf8(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kOwnerOnly);
  if (native_->fd < 0)
    throw TraceFileError(path_, Reason(errno));
}

TTraceFileHandle::~TTraceFileHandle() {
  close(native_->fd);
}

uint64_t TTraceFileHandle::Size() const {
  struct stat status {};
  if (fstat(native_->fd, &status) != 0)
    throw TraceFileError(path_, Reason(errno));
  return static_cast<uint64_t>(status.st_size);
}

void TTraceFileHandle::Append(std::string_view bytes) {
  if (!WriteAll(native_->fd, bytes))
    throw TraceFileError(path_, Reason(errno));
}

void RenameTraceFile(std::u16string_view from, std::u16string_view to) {
  if (rename(Utf16ToUtf8(from).c_str(), Utf16ToUtf8(to).c_str()) != 0)
    throw TraceFileError(from, Reason(errno));
}

void WriteStandardError(std::string_view bytes) {
  if (!WriteAll(STDERR_FILENO, bytes))
    throw TraceFileError(u"-", Reason(errno));
}

std::u16string TraceFileOverride() {
  const char* value = std::getenv(Utf16ToUtf8(kTraceFileVariable).c_str());
  return value == nullptr ? std::u16string() : Utf8ToUtf16(value);
}

uint32_t TraceProcessId() {
  return static_cast<uint32_t>(getpid());
}

uint32_t TraceThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

} // namespace tellavo
