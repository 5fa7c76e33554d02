// What a failed send's event entry says about its messages: whether they may
// have gone out decides whether a script may send them again.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gateway/EventLogReport.h"
#include "gateway/SendOutcome.h"
#include "support/EventLogWatch.h"

using namespace tellavo;

namespace {

// A failure, written in full or not.
template <class E> std::unique_ptr<Exception> Failure(E failure, bool written) {
  if (written)
    failure.SetRequestWritten();
  return std::make_unique<E>(std::move(failure));
}

} // namespace

TEST(SendOutcome, HowFarTheSendGotDecidesWhetherItMayHaveGoneOut) {
  struct Case {
    std::unique_ptr<Exception> failure;
    SendStage stage;
    SendOutcome expected;
    const char* what;
  };
  const auto http = [](int32_t status, bool written) {
    return Failure(ESOAPHTTPException(u"m", status), written);
  };
  Case cases[] = {
      // The credit check's own request was written: that sends no message.
      {http(0, true), SendStage::BeforeSending, SendOutcome::NothingSent, "credit check lost"},
      {http(503, true), SendStage::BeforeSending, SendOutcome::NothingSent, "credit check 503"},
      {http(0, false), SendStage::Sending, SendOutcome::NothingSent, "no connection"},
      {http(0, true), SendStage::Sending, SendOutcome::MayHaveBeenAccepted, "closed unanswered"},
      {Failure(EAbort(), true), SendStage::Sending, SendOutcome::MayHaveBeenAccepted, "aborted"},
      {Failure(ERemotableException(u"f"), true), SendStage::Sending, SendOutcome::Refused,
       "SOAP fault"},
      {http(404, true), SendStage::Sending, SendOutcome::Refused, "404"},
      // A server that answered with another status had the request.
      {http(500, false), SendStage::Sending, SendOutcome::MayHaveBeenAccepted, "500"},
      {http(303, false), SendStage::Sending, SendOutcome::MayHaveBeenAccepted, "303"},
      {Failure(EDOMParseError(u"p"), false), SendStage::Answered, SendOutcome::MayHaveBeenAccepted,
       "unreadable answer"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FailedSendOutcome(*c.failure, c.stage), c.expected) << c.what;
}

TEST(SendOutcome, TheEntryKeepsItsTextAndEndsWithTheOutcomeEvenWhenCut) {
  test::EventLogWatch events;
  const ESOAPHTTPException failure(u"Connection reset");
  for (const SendOutcome outcome :
       {SendOutcome::NothingSent, SendOutcome::MayHaveBeenAccepted, SendOutcome::Refused})
    ReportFailure(failure, OutcomeSentence(outcome));
  ReportFailure(failure);
  const std::vector<std::u16string> texts = events.Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1], u"ESOAPHTTPException Connection reset\nThe gateway may have accepted the "
                      u"messages: check getmsgstatustodate before sending them again.");
  EXPECT_EQ(OutcomeOfEntryText(texts[0]), SendOutcome::NothingSent);
  EXPECT_EQ(OutcomeOfEntryText(texts[1]), SendOutcome::MayHaveBeenAccepted);
  EXPECT_EQ(OutcomeOfEntryText(texts[2]), SendOutcome::Refused);
  // A query's entry, or a trace's, tells no outcome.
  EXPECT_EQ(texts[3], u"ESOAPHTTPException Connection reset");
  EXPECT_EQ(OutcomeOfEntryText(texts[3]), std::nullopt);

  // A fault text too long for one entry is cut; the outcome after it is not.
  std::u16string tail(1, u'\n');
  tail += OutcomeSentence(SendOutcome::Refused);
  const std::u16string fitted = FitEventText(std::u16string(100'000, u'f'), tail);
  EXPECT_EQ(fitted.size(), kMaxEventTextLength);
  EXPECT_TRUE(fitted.ends_with(std::u16string(kEventTextCutMarker) + tail));
}
