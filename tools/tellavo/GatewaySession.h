// One client session with the Gateway: the module loaded, one object created,
// and the event log watched from before the first call to after the last.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tellavo/EventCapture.h"
#include "tools/tellavo/LateBoundObject.h"
#include "tools/tellavo/ServerModule.h"

namespace tellavo::cli {

class GatewaySession {
public:
  explicit GatewaySession(const std::string& modulePath, EventCapture::Echo echo = {});

  // One late-bound call, as it came back.
  CallResult Call(std::u16string_view method, const std::vector<std::u16string>& arguments) {
    return gateway_.Call(method, arguments);
  }

  // One call on behalf of a person: its result when the call worked and the
  // gateway answered as expected; otherwise nothing, with the reason in words
  // and the call's event-log entries written to standard error. The result
  // codes "-1" and "-2" and any answer that the module logged as unreadable
  // count as failures.
  std::optional<std::u16string> Ask(std::u16string_view method,
                                    const std::vector<std::u16string>& arguments);

  // Entries written since the last call of Ask or Events.
  std::vector<EventLogEntry> Events() { return events_.Take(); }

private:
  // Declared in this order so that the object goes first, then the module,
  // and the observer last.
  EventCapture events_;
  ServerModule module_;
  LateBoundObject gateway_;
};

} // namespace tellavo::cli
