#include "gateway/EventLogReport.h"

#include <string>

#include "common/UniqueHandle.h"
#include "common/WideText.h"

namespace tellavo {

namespace {

constexpr WORD kFailureCategory = 1;
constexpr DWORD kFailureEventId = 1;

// An event source registration, released after its one report.
using EventSource = UniqueHandle<HANDLE, DeregisterEventSource>;

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
  const EventSource source(RegisterEventSourceW(nullptr, Wide(kEventSourceName)));
  return ReportEventW(source.Get(), eventType, category, eventId, nullptr, 1, 0, strings, nullptr);
}

void ReportFailure(const Exception& failure) {
  WriteEventLog(EVENTLOG_ERROR_TYPE, kFailureCategory, kFailureEventId, failure.ReportText());
}

} // namespace tellavo
