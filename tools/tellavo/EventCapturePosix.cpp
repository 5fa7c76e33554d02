// The platform layer hands every entry it logs to the observers of the
// process, so the client sees exactly its own entries.
#include <utility>

#include "Platform.h"
#include "tools/tellavo/EventCapture.h"

namespace tellavo::cli {

struct EventCapture::Watch {
  std::vector<EventEntry> entries;
  int token = 0;
};

EventCapture::EventCapture() : watch_(std::make_unique<Watch>()) {
  watch_->token = AddEventLogObserver([watch = watch_.get()](const EventLogEntry& entry) {
    watch->entries.push_back({entry.source, entry.type, entry.category, entry.eventId, entry.text});
  });
}

EventCapture::~EventCapture() {
  RemoveEventLogObserver(watch_->token);
}

std::vector<EventEntry> EventCapture::Take() {
  return std::exchange(watch_->entries, {});
}

} // namespace tellavo::cli
