// Watches the event log while the client runs: the entries that the module
// writes in this process from the start of the watch on are handed out in the
// order written; other processes' entries are not.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tellavo::cli {

struct EventEntry {
  std::u16string source;
  unsigned type;
  unsigned category;
  unsigned long eventId;
  std::u16string text; // the insertion strings, joined by line feeds
};

// One entry as a JSON line: {"event": {"source", "type", "category", "id", "text"}}.
std::string EventJson(const EventEntry& entry);

// Defined per platform: on posix an observer of the platform layer's event
// log, on Windows a reader of the Application log.
class EventCapture {
public:
  EventCapture();
  ~EventCapture();
  EventCapture(const EventCapture&) = delete;
  EventCapture& operator=(const EventCapture&) = delete;

  // The entries written since the last call (or since the watch began).
  std::vector<EventEntry> Take();

private:
  struct Watch;
  std::unique_ptr<Watch> watch_;
};

} // namespace tellavo::cli
