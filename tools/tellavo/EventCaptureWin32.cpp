// Windows keeps the entries in the Application log, which every process
// writes to: the watch reads the records numbered after the newest one at its
// start and keeps those of the module's event source that this process wrote.
// The log does not record the writer; the module puts its process identifier
// in each entry's data, and an entry without it (an older module's) is
// another process's as far as the client can know.
#include <memory>
#include <string_view>
#include <type_traits>

#include "Platform.h"
#include "common/Format.h"
#include "gateway/EventLogReport.h"
#include "tools/tellavo/EventCapture.h"

namespace tellavo::cli {
namespace {

constexpr wchar_t kLogName[] = L"Application";
constexpr size_t kReadBufferSize = 64 * 1024;

struct CloseLog {
  void operator()(HANDLE log) const { CloseEventLog(log); }
};
using LogHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, CloseLog>;

// The number of the newest record, 0 for an empty log.
DWORD NewestRecord(HANDLE log) {
  DWORD oldest = 0, count = 0;
  if (!GetOldestEventLogRecord(log, &oldest) || !GetNumberOfEventLogRecords(log, &count) ||
      count == 0)
    return 0;
  return oldest + count - 1;
}

// A record's texts follow its fixed part: the source name right after it, the
// insertion strings at StringOffset, each ended by a NUL.
const char16_t* RecordText(const EVENTLOGRECORD& record, DWORD offset) {
  return reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(&record) + offset);
}

std::u16string_view SourceName(const EVENTLOGRECORD& record) {
  return RecordText(record, sizeof(EVENTLOGRECORD));
}

// Whether the record's data begins with this process's identifier, 32 bits
// little-endian, as the module writes it. A process identifier is not reused
// while the process runs, and the watch reads only records written since it
// began.
bool WrittenByThisProcess(const EVENTLOGRECORD& record) {
  if (record.DataLength < sizeof(DWORD) || record.DataOffset > record.Length - sizeof(DWORD))
    return false;
  const BYTE* data = reinterpret_cast<const BYTE*>(&record) + record.DataOffset;
  const DWORD writer = data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
  return writer == GetCurrentProcessId();
}

EventEntry Entry(const EVENTLOGRECORD& record) {
  EventEntry entry{std::u16string(SourceName(record)),
                   record.EventType,
                   record.EventCategory,
                   record.EventID,
                   {}};
  const char16_t* insertion = RecordText(record, record.StringOffset);
  for (WORD i = 0; i < record.NumStrings; ++i) {
    const std::u16string_view text(insertion);
    if (i > 0)
      entry.text += u'\n';
    entry.text += text;
    insertion += text.size() + 1;
  }
  return entry;
}

} // namespace

struct EventCapture::Watch {
  LogHandle log;
  DWORD seen = 0; // the newest record already looked at
  std::vector<BYTE> buffer = std::vector<BYTE>(kReadBufferSize);
};

EventCapture::EventCapture() : watch_(std::make_unique<Watch>()) {
  watch_->log.reset(OpenEventLogW(nullptr, kLogName));
  if (!watch_->log)
    throw Exception(Format(u"cannot open the Application event log (error %d)",
                           {static_cast<unsigned long>(GetLastError())}));
  watch_->seen = NewestRecord(watch_->log.get());
}

EventCapture::~EventCapture() = default;

std::vector<EventEntry> EventCapture::Take() {
  Watch& watch = *watch_;
  std::vector<EventEntry> entries;
  const DWORD newest = NewestRecord(watch.log.get());
  while (watch.seen < newest) {
    DWORD read = 0, needed = 0;
    if (!ReadEventLogW(watch.log.get(), EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, watch.seen + 1,
                       watch.buffer.data(), static_cast<DWORD>(watch.buffer.size()), &read,
                       &needed)) {
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        break; // the records are gone: the log was cleared or overwritten
      watch.buffer.resize(needed);
      continue;
    }
    const DWORD before = watch.seen;
    for (DWORD offset = 0; offset + sizeof(EVENTLOGRECORD) <= read;) {
      const auto& record = *reinterpret_cast<const EVENTLOGRECORD*>(watch.buffer.data() + offset);
      if (record.Length < sizeof(EVENTLOGRECORD))
        break;
      offset += record.Length;
      if (record.RecordNumber <= watch.seen)
        continue;
      watch.seen = record.RecordNumber;
      if (SourceName(record) == kEventSourceName && WrittenByThisProcess(record))
        entries.push_back(Entry(record));
    }
    if (watch.seen == before)
      break;
  }
  return entries;
}

} // namespace tellavo::cli
