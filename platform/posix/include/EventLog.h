// The Windows event-log functions on syslog. An entry's one insertion string
// becomes the syslog message, sent with the event source as identity. Every
// entry is also handed to the observers registered in this process, so that
// tests and the command-line client can see what was logged.
#pragma once

#include <functional>
#include <string>

#include "WinTypes.h"

constexpr WORD EVENTLOG_SUCCESS = 0;
constexpr WORD EVENTLOG_ERROR_TYPE = 1;
constexpr WORD EVENTLOG_WARNING_TYPE = 2;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 4;
constexpr WORD EVENTLOG_AUDIT_SUCCESS = 8;
constexpr WORD EVENTLOG_AUDIT_FAILURE = 16;

using PSID = void*;

HANDLE RegisterEventSourceW(LPCWSTR serverName, LPCWSTR sourceName);
BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid,
                  WORD numStrings, DWORD dataSize, LPCWSTR* strings, void* rawData);
BOOL DeregisterEventSource(HANDLE eventLog);

struct EventLogEntry {
  std::u16string source;
  WORD type;
  WORD category;
  DWORD eventId;
  std::u16string text; // the insertion strings, joined by line feeds
};

using EventLogObserver = std::function<void(const EventLogEntry&)>;

// Registers an observer for every entry reported from now on; the answer is
// the token that removes it again.
int AddEventLogObserver(EventLogObserver observer);
void RemoveEventLogObserver(int token);
