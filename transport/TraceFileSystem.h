// The file operations of the trace, one implementation per target. Each
// raises Exception with the platform's reason on failure.
//
// Records hold phone numbers, message texts and answers: the files the trace
// makes are readable by their owner (and on Windows SYSTEM and the
// Administrators) only, whatever their folder gives. Whoever can write to the
// folder could otherwise plant a file of their own, or a link, for the
// records to go to; so an existing file of another account, a link or
// anything but a plain file where the trace would be is refused.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "common/Exceptions.h"

namespace tellavo {

// A trace file opened for appending, created private when missing.
class TTraceFileHandle {
public:
  explicit TTraceFileHandle(std::u16string_view path);
  ~TTraceFileHandle();
  TTraceFileHandle(const TTraceFileHandle&) = delete;
  TTraceFileHandle& operator=(const TTraceFileHandle&) = delete;

  uint64_t Size() const;
  // Writes all of `bytes` at the end of the file.
  void Append(std::string_view bytes);

private:
  struct Native;
  std::unique_ptr<Native> native_;
  std::u16string path_;
};

// The lock on a file at `path`, created private when missing, that every
// process writing the trace takes before it looks at the trace's size and
// holds until its record is written: the size, a rotation and the append are
// one step for all processes. Waits while another holds it, until
// `deadline`; released when destroyed, or by the system when the process
// ends.
class TTraceFileLock {
public:
  // Failures name `traceFile`, the file the lock is for; one that is not had
  // by `deadline` gives TraceLockBusyReason.
  TTraceFileLock(std::u16string_view path, std::u16string_view traceFile,
                 std::chrono::steady_clock::time_point deadline);
  ~TTraceFileLock();
  TTraceFileLock(const TTraceFileLock&) = delete;
  TTraceFileLock& operator=(const TTraceFileLock&) = delete;

private:
  struct Native;
  std::unique_ptr<Native> native_;
};

// Renames `from` to `to`, replacing any file of that name (a link there is
// replaced, never followed); raises TraceRenameError when the system refuses.
void RenameTraceFile(std::u16string_view from, std::u16string_view to);
void WriteStandardError(std::string_view bytes);

// The failure to write `path`, for `reason`.
Exception TraceFileError(std::u16string_view path, std::u16string_view reason);
// The failure to take the lock at `lockPath` of `traceFile`, for `reason`.
Exception TraceLockError(std::u16string_view traceFile, std::u16string_view lockPath,
                         std::u16string_view reason);

// The failure to rotate `traceFile` to `rotated`, for `reason`.
Exception TraceRenameError(std::u16string_view traceFile, std::u16string_view rotated,
                           std::u16string_view reason);

// Why a record was skipped when the lock stayed taken past its deadline.
std::u16string TraceLockBusyReason();
// How long a lock taken elsewhere is left before it is tried again.
inline constexpr std::chrono::milliseconds kTraceLockRetry{20};

// Tries `take` (true: the lock is had) at kTraceLockRetry's pace until it
// succeeds or `deadline` passes; answers whether it succeeded. The file
// locks of the processes cannot wait for a time themselves.
template <class Take> bool TakeLockBy(std::chrono::steady_clock::time_point deadline, Take&& take) {
  while (!take()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(kTraceLockRetry);
  }
  return true;
}

// The reasons a file in the trace's place is refused.
inline constexpr std::u16string_view kRefusedLink = u"it is a link";
inline constexpr std::u16string_view kRefusedOwner = u"it belongs to another account";
inline constexpr std::u16string_view kRefusedKind = u"it is not a plain file";

} // namespace tellavo
