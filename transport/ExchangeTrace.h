// The trace record of one exchange: filled in by the proxy and the transport
// as the exchange goes, and appended to the trace when it ends. Outside a
// traced call (TraceCall.h) it records nothing and costs nothing.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "common/Exceptions.h"
#include "transport/TraceCall.h"

namespace tellavo {

// What the record says in place of a secret.
inline constexpr std::string_view kTraceMask = "********";

class TExchangeTrace {
public:
  // Begins a record of a call of `operation` on `service` when a traced call
  // runs on this thread.
  TExchangeTrace(std::u16string_view service, std::u16string_view operation);
  TExchangeTrace(const TExchangeTrace&) = delete;
  TExchangeTrace& operator=(const TExchangeTrace&) = delete;

  bool Recording() const { return call_ != nullptr; }

  // What is about to be sent. `envelope` must stay valid until the record ends.
  void Request(std::u16string_view url, std::u16string_view soapAction, std::string_view envelope);
  // The status line and header lines as received, and whether the request
  // went over a connection kept from an earlier one (nothing: not known).
  void ResponseHead(std::u16string_view head, std::optional<bool> reusedConnection);
  // The answer body as received; the record keeps what it shows of it.
  void Answer(std::string_view body);
  // Ends the record and appends it to the trace.
  void Succeeded();
  void Failed(const Exception& failure);

private:
  void Finish(std::string_view outcome);
  // `body` as the record shows it: secrets masked, cut to the body limit.
  std::string Shown(std::string_view body) const;

  TTraceCall* call_;
  std::chrono::system_clock::time_point started_;
  std::chrono::steady_clock::time_point startedSteady_;
  std::string service_;
  std::string operation_;
  std::string url_;
  std::string soapAction_;
  std::string_view envelope_;
  std::string head_;
  bool headReceived_ = false;
  std::optional<bool> reused_;
  std::string answer_;
  std::optional<size_t> answerSize_;
  bool finished_ = false;
};

// Appends to the trace of the call running on this thread, when it is traced,
// a record of what the call's failure did at the gateway, in the words its
// event entry ends with.
void TraceOutcome(std::u16string_view outcome);

// `text` with every secret replaced by kTraceMask, and the value of every
// Authorization and Proxy-Authorization header line too.
std::string MaskSecrets(std::string text, const std::vector<std::string>& secrets);

} // namespace tellavo
