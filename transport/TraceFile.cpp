#include "transport/TraceFile.h"

#include <mutex>

#include "common/Format.h"
#include "transport/TraceCall.h"
#include "transport/TraceFileSystem.h"

namespace tellavo {

namespace {

constexpr std::u16string_view kRotatedSuffix = u".1";
constexpr std::u16string_view kCannotWrite = u"The trace file '%s' cannot be written: %s";

// Held for a whole record, rotation included, by every thread of the process.
std::mutex& TraceLock() {
  static std::mutex lock;
  return lock;
}

} // namespace

Exception TraceFileError(std::u16string_view path, std::u16string_view reason) {
  return Exception(Format(kCannotWrite, {path, reason}));
}

void AppendTraceRecord(std::u16string_view file, uint64_t maxBytes, std::string_view record) {
  const std::lock_guard<std::mutex> hold(TraceLock());
  if (file == kTraceToStandardError) {
    WriteStandardError(record);
    return;
  }
  {
    TTraceFileHandle current(file);
    const uint64_t size = current.Size();
    if (size == 0 || size + record.size() <= maxBytes) {
      current.Append(record);
      return;
    }
  }
  const std::u16string path(file);
  RenameTraceFile(path, path + std::u16string(kRotatedSuffix));
  TTraceFileHandle(file).Append(record);
}

} // namespace tellavo
