#include "gateway/SendOutcome.h"

#include <array>

namespace tellavo {

namespace {

constexpr std::u16string_view kNothingSent = u"Nothing was sent: sending again is safe.";
constexpr std::u16string_view kMayHaveBeenAccepted =
    u"The gateway may have accepted the messages: check getmsgstatustodate before sending them "
    u"again.";
constexpr std::u16string_view kRefused = u"The gateway refused the messages: nothing was sent.";

constexpr std::array kOutcomes{SendOutcome::NothingSent, SendOutcome::MayHaveBeenAccepted,
                               SendOutcome::Refused};

// An HTTP status in which the server says the request was wrong: it was not
// carried out.
bool IsRefusalStatus(int32_t status) {
  return status >= 400 && status < 500;
}

} // namespace

SendOutcome FailedSendOutcome(const Exception& failure, SendStage stage) {
  if (stage == SendStage::BeforeSending)
    return SendOutcome::NothingSent;
  if (stage == SendStage::Answered)
    return SendOutcome::MayHaveBeenAccepted;
  if (dynamic_cast<const ERemotableException*>(&failure) != nullptr)
    return SendOutcome::Refused;
  if (const auto* http = dynamic_cast<const ESOAPHTTPException*>(&failure);
      http != nullptr && http->StatusCode() != 0) {
    // Any other status came from a server that had the request: a gateway
    // may fail, or redirect, after carrying it out.
    return IsRefusalStatus(http->StatusCode()) ? SendOutcome::Refused
                                               : SendOutcome::MayHaveBeenAccepted;
  }
  return failure.RequestWritten() ? SendOutcome::MayHaveBeenAccepted : SendOutcome::NothingSent;
}

std::u16string_view OutcomeSentence(SendOutcome outcome) {
  switch (outcome) {
  case SendOutcome::NothingSent:
    return kNothingSent;
  case SendOutcome::Refused:
    return kRefused;
  case SendOutcome::MayHaveBeenAccepted:
    break;
  }
  return kMayHaveBeenAccepted;
}

std::optional<SendOutcome> OutcomeOfEntryText(std::u16string_view text) {
  for (const SendOutcome outcome : kOutcomes)
    if (text.ends_with(OutcomeSentence(outcome)))
      return outcome;
  return std::nullopt;
}

} // namespace tellavo
