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

std::u16string FitEventText(std::u16string_view text, std::u16string_view tail) {
  std::u16string fitted;
  if (text.size() + tail.size() <= kMaxEventTextLength) {
    fitted = text;
  } else {
    size_t kept = kMaxEventTextLength - kEventTextCutMarker.size() - tail.size();
    // Half of a surrogate pair is not a character.
    if (text[kept - 1] >= 0xD800 && text[kept - 1] <= 0xDBFF)
      --kept;
    fitted = text.substr(0, kept);
    fitted += kEventTextCutMarker;
  }
  fitted += tail;
  return fitted;
}

BOOL WriteEventLog(WORD eventType, WORD category, DWORD eventId, std::u16string_view text,
                   std::u16string_view tail) {
  const std::u16string insertion = FitEventText(text, tail);
  LPCWSTR strings[] = {Wide(insertion)};
  const DWORD id = GetCurrentProcessId();
  const BYTE process[] = {static_cast<BYTE>(id), static_cast<BYTE>(id >> 8),
                          static_cast<BYTE>(id >> 16), static_cast<BYTE>(id >> 24)};
  const EventSource source(RegisterEventSourceW(nullptr, Wide(kEventSourceName)));
  return ReportEventW(source.Get(), eventType, category, eventId, nullptr, 1, sizeof process,
                      strings, const_cast<BYTE*>(process));
}

void ReportFailure(const Exception& failure, std::u16string_view outcome) {
  std::u16string tail;
  if (!outcome.empty())
    tail.append(1, u'\n').append(outcome);
  WriteEventLog(EVENTLOG_ERROR_TYPE, kFailureCategory, kFailureEventId, failure.ReportText(), tail);
}

} // namespace tellavo
