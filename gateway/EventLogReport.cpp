#include "gateway/EventLogReport.h"

#include <string>

namespace tellavo {

namespace {

constexpr WORD kFailureCategory = 1;
constexpr DWORD kFailureEventId = 1;

// An event source registration, released after its one report.
class EventSource {
public:
  EventSource()
      : handle_(RegisterEventSourceW(nullptr, reinterpret_cast<LPCWSTR>(kEventSourceName))) {}
  ~EventSource() {
    if (handle_ != nullptr)
      DeregisterEventSource(handle_);
  }
  EventSource(const EventSource&) = delete;
  EventSource& operator=(const EventSource&) = delete;
  HANDLE Handle() const { return handle_; }

private:
  HANDLE handle_;
};

} // namespace

BOOL WriteEventLog(WORD eventType, WORD category, DWORD eventId, std::u16string_view text) {
  const std::u16string insertion(text);
  LPCWSTR strings[] = {reinterpret_cast<LPCWSTR>(insertion.c_str())};
  EventSource source;
  return ReportEventW(source.Handle(), eventType, category, eventId, nullptr, 1, 0, strings,
                      nullptr);
}

void ReportFailure(const Exception& failure) {
  WriteEventLog(EVENTLOG_ERROR_TYPE, kFailureCategory, kFailureEventId, failure.ReportText());
}

} // namespace tellavo
