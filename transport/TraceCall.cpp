#include "transport/TraceCall.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "common/Utf.h"
#include "transport/TraceFile.h"

namespace tellavo {

namespace {

thread_local TTraceCall* activeCall = nullptr;

// Only the process's first failure to write the trace is reported; a file
// that stays unwritable would otherwise add an entry to every call.
std::atomic<bool> failureReported{false};

// A text as it stands in character data of the envelope: the request
// document goes into the envelope escaped once more.
std::u16string EscapedAsText(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    if (c == u'&')
      out += u"&amp;";
    else if (c == u'<')
      out += u"&lt;";
    else if (c == u'>')
      out += u"&gt;";
    else
      out += c;
  }
  return out;
}

} // namespace

TTraceCall::TTraceCall(std::u16string_view method) : method_(method), outer_(activeCall) {
  activeCall = this;
}

TTraceCall::~TTraceCall() {
  activeCall = outer_;
}

void TTraceCall::Start(TTraceOptions options, std::vector<std::u16string> secrets) {
  options_ = std::move(options);
  active_ = !options_.file.empty();
  if (!active_)
    return;
  for (const std::u16string& secret : secrets) {
    if (secret.empty())
      continue;
    secrets_.push_back(Utf16ToUtf8(secret));
    secrets_.push_back(Utf16ToUtf8(EscapedAsText(secret)));
  }
  std::ranges::sort(secrets_, [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() > b.size() : a < b;
  });
  secrets_.erase(std::unique(secrets_.begin(), secrets_.end()), secrets_.end());
}

TTraceCall* TTraceCall::Active() {
  TTraceCall* call = activeCall;
  return call != nullptr && call->active_ ? call : nullptr;
}

void TTraceCall::Write(std::string_view record) {
  try {
    AppendTraceRecord(options_.file, options_.maxBytes, record);
  } catch (const Exception& failure) {
    active_ = false;
    if (!failureReported.exchange(true))
      failure_ = failure;
  }
}

std::optional<Exception> TTraceCall::TakeFailure() {
  return std::exchange(failure_, std::nullopt);
}

} // namespace tellavo
