// The event-log entries that this process writes while a watch is on.
//
// On posix the platform layer hands every entry to in-process observers. On
// Windows the entries go to the system's Application log; under Wine that log
// keeps nothing, and each report is only traced on the process's standard
// error (`NNNN:err:eventlog:ReportEventW L"text"`), which the test runner
// keeps in a file: the watch reads the texts back from there. The trace
// carries only the text, escaped, and cuts it near 300 characters.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tellavo::test {

class EventLogWatch {
public:
  EventLogWatch();
  ~EventLogWatch();
  EventLogWatch(const EventLogWatch&) = delete;
  EventLogWatch& operator=(const EventLogWatch&) = delete;

  // The texts of the entries written since the watch began or was cleared.
  std::vector<std::u16string> Texts() const;
  void Clear();

  // Whether entries carry source, type, category and identifier here, and
  // whether every one written since the start has the values of a Tellavo
  // failure report (source "Tellavo COM API", error, category 1, id 1).
  static bool SeesEntryDetails();
  bool AllAreFailureReports() const;

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace tellavo::test
