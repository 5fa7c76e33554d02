// One client session with the Gateway: one object created, and the event log
// watched from before the first call to after the last.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tellavo/CommandLine.h"
#include "tools/tellavo/EventCapture.h"
#include "tools/tellavo/GatewayServer.h"
#include "tools/tellavo/LateBoundObject.h"

namespace tellavo::cli {

// What one sendsms or sendsmsconcat did with its basket.
enum class BasketFate {
  Sent,    // the gateway assigned the message identifier
  NotSent, // nothing reached the gateway, or it refused
  Unknown, // the gateway may have accepted the messages
};

struct SentBasket {
  BasketFate fate;
  std::u16string messageId; // empty unless sent
};

class GatewaySession {
public:
  using Echo = std::function<void(const EventEntry&)>;

  // The object comes from the server that the options name (--module);
  // `echo`, when given, sees the entries that each Call wrote before Call
  // returns.
  explicit GatewaySession(const ParsedOptions& options, Echo echo = {});

  // One late-bound call, as it came back.
  CallResult Call(std::u16string_view method, const std::vector<std::u16string>& arguments);

  // One call on behalf of a person: its result when the call worked and the
  // gateway answered as expected; otherwise nothing, with the reason in words
  // and the call's event-log entries written to standard error. The result
  // codes "-1" and "-2" and any answer that the module logged as unreadable
  // count as failures. The other entries of a call that got its answer (a
  // trace file that cannot be written) are warnings on standard error: the
  // call did what it was asked, and a send must not look as if it had not.
  std::optional<std::u16string> Ask(std::u16string_view method,
                                    const std::vector<std::u16string>& arguments);

  // sendsms or sendsmsconcat on behalf of a person, as Ask, and what became
  // of the basket: told by the outcome that the call's event entry ends with.
  // A failure whose entry this process cannot read back (an event log that
  // keeps nothing, as Wine's) may have sent the messages.
  SentBasket Send(std::u16string_view method, const std::vector<std::u16string>& arguments);

private:
  // Declared in this order so that the object goes first, then its server,
  // and the watch last.
  EventCapture events_;
  Echo echo_;
  std::unique_ptr<GatewayServer> server_;
  LateBoundObject gateway_;
  // The last Ask's call and the entries it wrote.
  CallResult last_;
  std::vector<EventEntry> lastEntries_;
};

} // namespace tellavo::cli
