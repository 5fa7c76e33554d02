// What a failed sendsms or sendsmsconcat did at the gateway, as far as
// Tellavo can know, and the words its event entry ends with. A script that
// sends again after a failure must know whether the gateway may already have
// taken the messages: they cost money and reach people.
#pragma once

#include <optional>
#include <string_view>

#include "common/Exceptions.h"

namespace tellavo {

enum class SendOutcome {
  // The request to send never reached the gateway whole.
  NothingSent,
  // The whole request reached it and no readable answer came back.
  MayHaveBeenAccepted,
  // The gateway answered that it refused the request.
  Refused,
};

// How far a send had got when it failed.
enum class SendStage {
  // Before the sending exchange began: the credit check, building the request.
  BeforeSending,
  // The sending exchange, until it returned the gateway's answer.
  Sending,
  // The answer had arrived; reading it failed.
  Answered,
};

SendOutcome FailedSendOutcome(const Exception& failure, SendStage stage);

// The sentence, for a person to act on, that follows a failed send's event
// text and ends its trace.
std::u16string_view OutcomeSentence(SendOutcome outcome);

// The outcome that an event entry's text ends with; none for an entry that
// tells none (a query's, a trace's).
std::optional<SendOutcome> OutcomeOfEntryText(std::u16string_view text);

} // namespace tellavo
