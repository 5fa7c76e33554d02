#include "transport/TraceFile.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "common/Format.h"
#include "common/Settings.h"
#include "transport/TraceCall.h"
#include "transport/TraceFileSystem.h"

namespace tellavo {

namespace {

constexpr std::u16string_view kRotatedSuffix = u".1";
// Beside the trace, never renamed: the lock every process takes.
constexpr std::u16string_view kLockSuffix = u".lock";
constexpr std::u16string_view kNotAPath = u"not an absolute path without control characters";
constexpr std::u16string_view kCannotWrite = u"The trace file '%s' cannot be written: %s";
constexpr std::u16string_view kLockFailed = u"its lock file '%s': %s";
constexpr std::u16string_view kRenameFailed =
    u"it reached its size limit and cannot be renamed to '%s', so the record was skipped: %s";
constexpr std::u16string_view kLockBusy =
    u"another writer held it for longer than %d ms, so the record was skipped";

// Held for a whole record, rotation included, by every thread of the
// process; the lock file then orders the processes. A waiting thread is woken
// as soon as the lock is released, so that threads taking turns never starve
// one of them past its deadline. Taken through std::unique_lock with a
// deadline.
class TProcessTraceLock {
public:
  bool try_lock_until(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock hold(lock_);
    if (!released_.wait_until(hold, deadline, [this] { return !held_; }))
      return false;
    held_ = true;
    return true;
  }

  void unlock() {
    {
      std::lock_guard hold(lock_);
      held_ = false;
    }
    released_.notify_one();
  }

private:
  std::mutex lock_;
  std::condition_variable released_;
  bool held_ = false;
};

TProcessTraceLock& TraceLock() {
  static TProcessTraceLock lock;
  return lock;
}

} // namespace

std::u16string TraceLockBusyReason() {
  return Format(kLockBusy, {static_cast<long>(kTraceLockWait.count())});
}

Exception TraceFileError(std::u16string_view path, std::u16string_view reason) {
  return Exception(Format(kCannotWrite, {path, reason}));
}

Exception TraceLockError(std::u16string_view traceFile, std::u16string_view lockPath,
                         std::u16string_view reason) {
  return TraceFileError(traceFile, Format(kLockFailed, {lockPath, reason}));
}

Exception TraceRenameError(std::u16string_view traceFile, std::u16string_view rotated,
                           std::u16string_view reason) {
  return TraceFileError(traceFile, Format(kRenameFailed, {rotated, reason}));
}

void AppendTraceRecord(std::u16string_view file, uint64_t maxBytes, std::string_view record) {
  // One wait for both locks: the record waits kTraceLockWait at most.
  const auto deadline = std::chrono::steady_clock::now() + kTraceLockWait;
  const std::unique_lock hold(TraceLock(), deadline);
  if (!hold.owns_lock())
    throw TraceFileError(file, TraceLockBusyReason());
  if (file == kTraceToStandardError) {
    WriteStandardError(record);
    return;
  }
  // The file may come from the process's environment rather than a checked
  // setting: the same rules hold for it.
  if (!IsTracePath(file))
    throw TraceFileError(file, kNotAPath);
  const std::u16string path(file);
  const TTraceFileLock processes(path + std::u16string(kLockSuffix), path, deadline);
  {
    TTraceFileHandle current(path);
    const uint64_t size = current.Size();
    if (size == 0 || size + record.size() <= maxBytes) {
      current.Append(record);
      return;
    }
  }
  // A file that cannot be renamed away (a reader on Windows that does not
  // let it, or something of another account at the rotated name) is never
  // written past its limit: the record is skipped, and each later record
  // tries again.
  RenameTraceFile(path, path + std::u16string(kRotatedSuffix));
  TTraceFileHandle(path).Append(record);
}

} // namespace tellavo
