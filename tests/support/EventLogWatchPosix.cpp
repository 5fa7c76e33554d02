#include "EventLogWatch.h"

#include <algorithm>

#include "Platform.h"

namespace tellavo::test {

struct EventLogWatch::State {
  std::vector<EventLogEntry> entries;
  int token = 0;
};

EventLogWatch::EventLogWatch() : state_(std::make_unique<State>()) {
  state_->token = AddEventLogObserver(
      [state = state_.get()](const EventLogEntry& e) { state->entries.push_back(e); });
}

EventLogWatch::~EventLogWatch() {
  RemoveEventLogObserver(state_->token);
}

std::vector<std::u16string> EventLogWatch::Texts() const {
  std::vector<std::u16string> texts;
  for (const EventLogEntry& e : state_->entries)
    texts.push_back(e.text);
  return texts;
}

void EventLogWatch::Clear() {
  state_->entries.clear();
}

bool EventLogWatch::SeesEntryDetails() {
  return true;
}

bool EventLogWatch::AllAreFailureReports() const {
  return std::all_of(state_->entries.begin(), state_->entries.end(), [](const EventLogEntry& e) {
    return e.source == u"Tellavo COM API" && e.type == EVENTLOG_ERROR_TYPE && e.category == 1 &&
           e.eventId == 1;
  });
}

} // namespace tellavo::test
