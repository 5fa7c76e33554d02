// The file operations of the trace, one implementation per target. Each
// raises Exception with the platform's reason on failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/Exceptions.h"

namespace tellavo {

// A trace file opened for appending, created when missing.
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

// Renames `from` to `to`, replacing any file of that name.
void RenameTraceFile(std::u16string_view from, std::u16string_view to);
void WriteStandardError(std::string_view bytes);

// The failure to write `path`, for `reason`.
Exception TraceFileError(std::u16string_view path, std::u16string_view reason);

} // namespace tellavo
