// Appending trace records to a file or to standard error. One write per
// record under a lock that every thread and every process tracing the file
// takes, so that records never interleave and a rotation loses none. The file is opened for each
// record, so a trace setting changed meanwhile, or a file an administrator moved away, takes effect
// at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tellavo {

// The longest a record waits for the lock that another thread or process
// holds: a stopped process or a hung network file system must not hold a
// call, above all one whose message the gateway has already taken. The
// record is then skipped, as when the file cannot be written.
inline constexpr std::chrono::milliseconds kTraceLockWait{2000};

// Appends `record` to `file` (or standard error for "-"). When the file
// would grow past `maxBytes` it is first renamed with the suffix ".1",
// replacing an older one, and a new file begins; a record larger than the
// limit alone still goes whole into a file of its own; a rename that fails
// skips the record, so that the file never passes its limit, and is tried
// again at the next one. A new file
// is private to its owner (TraceFileSystem.h), and a link, or a file of
// another account, in its place is refused. Raises Exception naming the file
// and the reason on failure, and when the lock is not had within
// kTraceLockWait.
void AppendTraceRecord(std::u16string_view file, uint64_t maxBytes, std::string_view record);

// The environment variable by which a process traces its own calls to the
// file it names ("-": standard error), whatever the settings say.
inline constexpr char16_t kTraceFileVariable[] = u"TELLAVO_TRACE_FILE";
// Its value in this process; empty when it is not set.
std::u16string TraceFileOverride();

// The numbers that tell one process and thread from another in a record.
uint32_t TraceProcessId();
uint32_t TraceThreadId();

} // namespace tellavo
