#include "tools/tellavo/EventCapture.h"

#include "tools/tellavo/Json.h"

namespace tellavo::cli {

std::string EventJson(const EventEntry& entry) {
  JsonObject event;
  event.Text("source", entry.source)
      .Number("type", entry.type)
      .Number("category", entry.category)
      .Number("id", entry.eventId)
      .Text("text", entry.text);
  return JsonObject().Object("event", event).Str();
}

} // namespace tellavo::cli
