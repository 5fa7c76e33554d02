#include "tools/tellavo/EventCapture.h"

#include <utility>

#include "tools/tellavo/Json.h"

namespace tellavo::cli {

std::string EventJson(const EventLogEntry& entry) {
  JsonObject event;
  event.Text("source", entry.source)
      .Number("type", entry.type)
      .Number("category", entry.category)
      .Number("id", entry.eventId)
      .Text("text", entry.text);
  return JsonObject().Object("event", event).Str();
}

EventCapture::EventCapture(Echo echo)
    : echo_(std::move(echo)), token_(AddEventLogObserver([this](const EventLogEntry& entry) {
        entries_.push_back(entry);
        if (echo_)
          echo_(entry);
      })) {}

EventCapture::~EventCapture() {
  RemoveEventLogObserver(token_);
}

std::vector<EventLogEntry> EventCapture::Take() {
  return std::exchange(entries_, {});
}

} // namespace tellavo::cli
