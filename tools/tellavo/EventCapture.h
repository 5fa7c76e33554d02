// Watches the event log of this process while the client runs: every entry
// that the module writes is kept, and may be echoed as it happens.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Platform.h"

namespace tellavo::cli {

// One entry as a JSON line: {"event": {"source", "type", "category", "id", "text"}}.
std::string EventJson(const EventLogEntry& entry);

class EventCapture {
public:
  using Echo = std::function<void(const EventLogEntry&)>;

  // Attaches the observer; `echo`, when given, sees each entry as it is written.
  explicit EventCapture(Echo echo = {});
  ~EventCapture();
  EventCapture(const EventCapture&) = delete;
  EventCapture& operator=(const EventCapture&) = delete;

  // The entries written since the last call (or since attaching).
  std::vector<EventLogEntry> Take();

private:
  Echo echo_;
  std::vector<EventLogEntry> entries_;
  int token_;
};

} // namespace tellavo::cli
