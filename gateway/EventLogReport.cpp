#include "gateway/EventLogReport.h"

#include <string>

#include "common/WideText.h"

namespace tellavo {

namespace {

constexpr WORD kFailureCategory = 1;
constexpr DWORD kFailureEventId = 1;

// An event source registration, released after its one report.
class EventSource {
public:
  EventSource() : handle_(RegisterEventSourceW(nullptr, Wide(kEventSourceName))) {}
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

std::u16string FitEventText(std::u16string_view text) {
  if (text.size() <= kMaxEventTextLength)
    return std::u16string(text);
  size_t kept = kMaxEventTextLength - kEventTextCutMarker.size();
  // Half of a surrogate pair is not a character.
  if (text[kept - 1] >= 0xD800 && text[kept - 1] <= 0xDBFF)
    --kept;
  std::u16string fitted(text.substr(0, kept));
  fitted += kEventTextCutMarker;
  return fitted;
}

BOOL WriteEventLog(WORD eventType, WORD category, DWORD eventId, std::u16string_view text) {
  const std::u16string insertion = FitEventText(text);
  LPCWSTR strings[] = {Wide(insertion)};
  EventSource source;
  return ReportEventW(source.Handle(), eventType, category, eventId, nullptr, 1, 0, strings,
                      nullptr);
}

void ReportFailure(const Exception& failure) {
  WriteEventLog(EVENTLOG_ERROR_TYPE, kFailureCategory, kFailureEventId, failure.ReportText());
}

} // namespace tellavo
