// The Tellavo module loaded as a client loads it, one Gateway object made by
// its class factory, and a fixture that runs each test against a freshly
// reset simulator with the proxy environment pointing at it and the event
// log observed.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Platform.h"
#include "common/ComPtr.h"
#include "gateway/Tellavo_TLB.h"
#include "support/BstrArg.h"
#include "support/EventLogWatch.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {

// What one IGateway call gave.
struct CallResult {
  HRESULT hr;
  std::u16string retvalue;
};

// The module's one Gateway object of this test binary, made as a client makes
// it: on posix from the module's class factory, on Windows by CoCreateInstance
// from the registered server.
IGateway& Gateway();
// Runs `body` with a Gateway object of the calling thread's own, made as
// Gateway() makes its one (on Windows in a single-threaded apartment that the
// thread joins for the time), so that threads of a test call side by side.
void WithOwnGateway(const std::function<void(IGateway&)>& body);

class GatewayTest : public SimulatorTest {
protected:
  void SetUp() override;
  void TearDown() override;

  // The event-log texts written since the test began or ClearEvents.
  std::vector<std::u16string> EventTexts() const;
  void ClearEvents();
  // The one entry that a caught failure writes; fails the test otherwise.
  std::u16string OnlyEventText() const;
  // Queues one message in the process-wide basket.
  void Queue(std::u16string_view text, std::u16string_view number);

private:
  std::unique_ptr<ScopedProxyEnvironment> proxy_;
  std::unique_ptr<EventLogWatch> events_;
};

CallResult GetInfo(std::u16string_view user, std::u16string_view password,
                   std::u16string_view vendor);
CallResult GetMsgStatus(std::u16string_view user, std::u16string_view password,
                        std::u16string_view packet, std::u16string_view vendor);
CallResult GetMsgStatusToDate(std::u16string_view user, std::u16string_view password,
                              std::u16string_view date1, std::u16string_view date2,
                              std::u16string_view vendor);
CallResult SendSms(std::u16string_view user, std::u16string_view password,
                   std::u16string_view originator);
CallResult SendSmsConcat(std::u16string_view user, std::u16string_view password,
                         std::u16string_view originator);

// The default accounts of the simulator.
inline constexpr std::u16string_view kUser = u"tellavo";
inline constexpr std::u16string_view kPrepaidUser = u"prepaid";
inline constexpr std::u16string_view kPassword = u"s3cret";
inline constexpr std::u16string_view kVendor = u"42";

// Scripts the next service answer (a JSON object of the simulator's script).
void ScriptAnswer(const std::string& json);
// Scripts the next answer's result string.
void ScriptResult(const std::string& resultJson);

} // namespace tellavo::test
