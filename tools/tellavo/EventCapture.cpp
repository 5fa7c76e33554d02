#include "tools/tellavo/EventCapture.h"

#include "tools/tellavo/Json.h"

namespace tellavo::cli {

std::string EventJson(const EventEntry& entry) {
  return JsonLine({{"event",
                    {{"source", entry.source},
                     {"type", entry.type},
                     {"category", entry.category},
                     {"id", entry.eventId},
                     {"text", entry.text}}}});
}

} // namespace tellavo::cli
