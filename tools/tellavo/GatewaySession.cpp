#include "tools/tellavo/GatewaySession.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <iterator>

#include "common/Utf.h"
#include "gateway/SendOutcome.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/Output.h"

namespace tellavo::cli {
namespace {

// The result codes that the Gateway methods place in their result.
constexpr std::u16string_view kExchangeFailed = u"-1";
constexpr std::u16string_view kNothingToSend = u"-2";

// The failures the module meets in reading an answer that has arrived: its
// XML layer's, and those of the DOM objects it drives. Only after one of them
// does a method hand back the raw answer in place of its result; every other
// entry that comes with an answer (a trace file that cannot be written, for
// one) did not stop the call.
constexpr std::array<std::u16string_view, 6> kAnswerReadFailures{
    u"EDOMParseError", u"EXMLDocError", u"EListError",
    u"EOleError",      u"EOleSysError", u"EOleException"};

// An entry's text begins with the failure's class name and a blank.
bool IsAnswerReadFailure(const EventEntry& entry) {
  const std::u16string_view text = entry.text;
  return std::ranges::find(kAnswerReadFailures, text.substr(0, text.find(u' '))) !=
         kAnswerReadFailures.end();
}

// An entry's later lines (a send's outcome) indented under its first.
void PrintEntries(const std::vector<EventEntry>& entries) {
  for (const EventEntry& entry : entries) {
    std::string text = Utf16ToUtf8(entry.text);
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
      text.insert(at + 1, "    ");
    std::cerr << "  event log: " << text << '\n';
  }
}

} // namespace

GatewaySession::GatewaySession(const ParsedOptions& options, Echo echo)
    : echo_(std::move(echo)), server_((ApplyTraceOption(options), OpenGatewayServer(options))),
      gateway_(server_->CreateGateway()) {}

CallResult GatewaySession::Call(std::u16string_view method,
                                const std::vector<std::u16string>& arguments) {
  CallResult result = gateway_.Call(method, arguments);
  const std::vector<EventEntry> entries = events_.Take();
  if (echo_)
    for (const EventEntry& entry : entries)
      echo_(entry);
  return result;
}

std::optional<std::u16string> GatewaySession::Ask(std::u16string_view method,
                                                  const std::vector<std::u16string>& arguments) {
  events_.Take();
  last_ = gateway_.Call(method, arguments);
  lastEntries_ = events_.Take();
  const CallResult& result = last_;
  const std::vector<EventEntry>& entries = lastEntries_;
  const std::string name = Utf16ToUtf8(method);
  if (!result.Succeeded()) {
    std::cerr << "tellavo: " << name << " failed: " << HresultText(result.hresult) << ' '
              << Utf16ToUtf8(result.error) << '\n';
    PrintEntries(entries);
    return std::nullopt;
  }
  const std::u16string retvalue = result.retvalue.value_or(std::u16string());
  if (retvalue == kExchangeFailed) {
    std::cerr << "tellavo: " << name
              << ": the gateway could not be reached, did not answer, or answered with an error; "
                 "see the event log:\n";
    PrintEntries(entries);
    return std::nullopt;
  }
  std::vector<EventEntry> readFailures;
  std::vector<EventEntry> others;
  std::ranges::partition_copy(entries, std::back_inserter(readFailures), std::back_inserter(others),
                              IsAnswerReadFailure);
  if (!others.empty()) {
    std::cerr << "tellavo: warning: the module logged during " << name << ":\n";
    PrintEntries(others);
  }
  if (retvalue == kNothingToSend) {
    std::cerr << "tellavo: " << name << ": nothing to send\n";
    return std::nullopt;
  }
  if (!readFailures.empty()) {
    std::cerr << "tellavo: " << name
              << ": the gateway's answer could not be read; see the event log:\n";
    PrintEntries(readFailures);
    std::cerr << "The answer as received:\n" << Utf16ToUtf8(retvalue) << '\n';
    return std::nullopt;
  }
  return retvalue;
}

SentBasket GatewaySession::Send(std::u16string_view method,
                                const std::vector<std::u16string>& arguments) {
  if (const std::optional<std::u16string> messageId = Ask(method, arguments)) {
    if (!messageId->empty())
      return {BasketFate::Sent, *messageId};
    std::cerr << "tellavo: " << Utf16ToUtf8(method)
              << ": the gateway assigned no message identifier, so it refused the request "
                 "(check user, password, vendor and originator)\n";
    return {BasketFate::NotSent, {}};
  }
  if (last_.Succeeded() && last_.retvalue == kNothingToSend)
    return {BasketFate::NotSent, {}};
  for (const EventEntry& entry : lastEntries_) {
    if (const std::optional<SendOutcome> outcome = OutcomeOfEntryText(entry.text))
      return {*outcome == SendOutcome::MayHaveBeenAccepted ? BasketFate::Unknown
                                                           : BasketFate::NotSent,
              {}};
  }
  return {BasketFate::Unknown, {}};
}

} // namespace tellavo::cli
