#include "EventLog.h"

#include <syslog.h>

#include <map>
#include <mutex>
#include <string>

#include "common/Utf.h"

namespace {

struct EventSource {
  std::u16string name;
};

std::mutex observersLock;
std::map<int, EventLogObserver> observers;
int nextToken = 1;

std::mutex syslogLock;

int PriorityOf(WORD type) {
  switch (type) {
  case EVENTLOG_ERROR_TYPE:
  case EVENTLOG_AUDIT_FAILURE:
    return LOG_ERR;
  case EVENTLOG_WARNING_TYPE:
    return LOG_WARNING;
  default:
    return LOG_INFO;
  }
}

void WriteSyslog(const EventLogEntry& entry) {
  const std::string identity = tellavo::Utf16ToUtf8(entry.source);
  const std::string text = tellavo::Utf16ToUtf8(entry.text);
  // openlog keeps the identity pointer, so the log is opened and closed
  // around each entry while the text is alive.
  std::lock_guard lock(syslogLock);
  openlog(identity.c_str(), LOG_PID, LOG_USER);
  syslog(PriorityOf(entry.type), "%s", text.c_str());
  closelog();
}

} // namespace

HANDLE RegisterEventSourceW(LPCWSTR serverName, LPCWSTR sourceName) {
  if (serverName != nullptr && serverName[0] != 0) {
    SetLastError(5); // ERROR_ACCESS_DENIED: only the local log exists here
    return nullptr;
  }
  return new EventSource{sourceName == nullptr ? u"" : sourceName};
}

BOOL DeregisterEventSource(HANDLE eventLog) {
  if (eventLog == nullptr) {
    SetLastError(6); // ERROR_INVALID_HANDLE
    return FALSE;
  }
  delete static_cast<EventSource*>(eventLog);
  return TRUE;
}

BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID, WORD numStrings,
                  DWORD, LPCWSTR* strings, void*) {
  if (eventLog == nullptr) {
    SetLastError(6); // ERROR_INVALID_HANDLE
    return FALSE;
  }
  EventLogEntry entry{static_cast<EventSource*>(eventLog)->name, type, category, eventId, {}};
  for (WORD i = 0; i < numStrings; ++i) {
    if (i > 0)
      entry.text += u'\n';
    if (strings[i] != nullptr)
      entry.text += strings[i];
  }
  WriteSyslog(entry);
  std::map<int, EventLogObserver> current;
  {
    std::lock_guard lock(observersLock);
    current = observers;
  }
  for (const auto& [token, observer] : current)
    observer(entry);
  return TRUE;
}

int AddEventLogObserver(EventLogObserver observer) {
  std::lock_guard lock(observersLock);
  observers.emplace(nextToken, std::move(observer));
  return nextToken++;
}

void RemoveEventLogObserver(int token) {
  std::lock_guard lock(observersLock);
  observers.erase(token);
}
