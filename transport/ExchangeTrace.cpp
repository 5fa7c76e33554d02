#include "transport/ExchangeTrace.h"

#include <algorithm>
#include <cstdio>

#include "common/SameText.h"
#include "common/Utf.h"
#include "transport/TraceFile.h"

namespace tellavo {

namespace {

using namespace std::chrono;

constexpr std::string_view kRecordStart = "==== ";
constexpr std::string_view kSuccess = "success";
constexpr std::string_view kAuthorizationHeaders[] = {"authorization:", "proxy-authorization:"};

// UTC, to the millisecond: "2026-12-08T10:40:12.345Z".
std::string Timestamp(system_clock::time_point when) {
  const auto milliseconds = floor<std::chrono::milliseconds>(when);
  const auto day = floor<days>(milliseconds);
  const year_month_day date{day};
  const hh_mm_ss time{milliseconds - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
  return text;
}

std::string Milliseconds(steady_clock::duration taken) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", duration<double, std::milli>(taken).count());
  return text;
}

// The line breaks of received header text as the record's own.
std::string AsLines(std::u16string_view head) {
  std::string text = Utf16ToUtf8(head);
  std::erase(text, '\r');
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  return text;
}

// The length of the longest start of `text` of at most `limit` bytes that
// does not end inside a UTF-8 sequence.
size_t WholeCharacters(std::string_view text, size_t limit) {
  if (limit >= text.size())
    return text.size();
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  return end;
}

// `text` with every run of bytes that occurrences of secrets cover replaced
// by one mask: overlapping and adjacent occurrences make one run, so no
// piece of a secret shows beside a mask. Stops once more than `enough` bytes
// are out and no run is open, so that cutting what it gives at `enough`
// shows nothing a whole masking would not.
std::string MaskedStart(std::string_view text, const std::vector<std::string>& secrets,
                        size_t enough) {
  // The next occurrence of each secret at or after `at`; the text between
  // occurrences is copied whole.
  std::vector<size_t> next;
  for (const std::string& secret : secrets)
    next.push_back(secret.empty() ? std::string_view::npos : text.find(secret));
  std::string out;
  size_t at = 0;
  while (at < text.size() && out.size() <= enough) {
    size_t start = text.size();
    for (size_t i = 0; i < secrets.size(); ++i) {
      if (next[i] < at)
        next[i] = text.find(secrets[i], at);
      start = std::min(start, next[i]);
    }
    // At most one byte past `enough`, which tells the cut where a character
    // ends.
    const size_t room = enough - out.size();
    const size_t plainEnd = start - at <= room ? start : at + room + 1;
    out.append(text.substr(at, plainEnd - at));
    at = plainEnd;
    if (at != start || start == text.size())
      continue;
    // The run of occurrences from `start`: every byte it covers, and the
    // one after it, may begin another that reaches further.
    size_t end = start + 1;
    for (size_t covered = start; covered <= end && covered < text.size(); ++covered) {
      for (const std::string& secret : secrets) {
        if (!secret.empty() && text.substr(covered).starts_with(secret))
          end = std::max(end, covered + secret.size());
      }
    }
    out += kTraceMask;
    at = end;
  }
  return out;
}

// `text` with the value of every Authorization and Proxy-Authorization
// header line masked.
std::string MaskAuthorizationValues(std::string text) {
  for (size_t line = 0; line < text.size();) {
    size_t end = text.find('\n', line);
    if (end == std::string::npos)
      end = text.size();
    const std::string_view current(text.data() + line, end - line);
    for (std::string_view name : kAuthorizationHeaders) {
      if (!SameText(current.substr(0, name.size()), name))
        continue;
      size_t value = line + name.size();
      while (value < end && text[value] == ' ')
        ++value;
      text.replace(value, end - value, kTraceMask);
      end = value + kTraceMask.size();
      break;
    }
    line = end + 1;
  }
  return text;
}

// The lines that begin every record: when, who, and for which method.
std::string RecordHead(system_clock::time_point started, const TTraceCall& call) {
  std::string head;
  head += kRecordStart;
  head += Timestamp(started);
  head += " process " + std::to_string(TraceProcessId());
  head += " thread " + std::to_string(TraceThreadId()) + "\n";
  head += "Method: " + Utf16ToUtf8(call.Method()) + "\n";
  return head;
}

} // namespace

void TraceOutcome(std::u16string_view outcome) {
  TTraceCall* call = TTraceCall::Active();
  if (call == nullptr)
    return;
  // An empty line between records, for the reader.
  call->Write(RecordHead(system_clock::now(), *call) + "Outcome: " + Utf16ToUtf8(outcome) + "\n\n");
}

std::string MaskSecrets(std::string text, const std::vector<std::string>& secrets) {
  return MaskAuthorizationValues(MaskedStart(text, secrets, std::string::npos));
}

TExchangeTrace::TExchangeTrace(std::u16string_view service, std::u16string_view operation)
    : call_(TTraceCall::Active()) {
  if (call_ == nullptr)
    return;
  started_ = system_clock::now();
  startedSteady_ = steady_clock::now();
  service_ = Utf16ToUtf8(service);
  operation_ = Utf16ToUtf8(operation);
}

void TExchangeTrace::Request(std::u16string_view url, std::u16string_view soapAction,
                             std::string_view envelope) {
  if (call_ == nullptr)
    return;
  url_ = Utf16ToUtf8(url);
  soapAction_ = Utf16ToUtf8(soapAction);
  envelope_ = envelope;
}

void TExchangeTrace::ResponseHead(std::u16string_view head, std::optional<bool> reusedConnection) {
  if (call_ == nullptr)
    return;
  head_ = AsLines(head);
  headReceived_ = true;
  reused_ = reusedConnection;
}

void TExchangeTrace::Answer(std::string_view body) {
  if (call_ == nullptr || answerSize_)
    return;
  answerSize_ = body.size();
  answer_ = Shown(body);
}

std::string TExchangeTrace::Shown(std::string_view body) const {
  const uint64_t limit = call_->Options().maxBodyBytes;
  if (body.size() <= limit)
    return MaskSecrets(std::string(body), call_->Secrets());
  // Masked before it is cut, so that a secret across the cut is not half
  // shown; only as much as the cut keeps is masked.
  const size_t kept = static_cast<size_t>(limit);
  std::string shown = MaskAuthorizationValues(MaskedStart(body, call_->Secrets(), kept));
  shown.resize(WholeCharacters(shown, kept));
  return shown;
}

void TExchangeTrace::Succeeded() {
  Finish(kSuccess);
}

void TExchangeTrace::Failed(const Exception& failure) {
  if (call_ == nullptr)
    return;
  Finish(Utf16ToUtf8(failure.ReportText()));
}

void TExchangeTrace::Finish(std::string_view outcome) {
  if (call_ == nullptr || finished_)
    return;
  finished_ = true;
  const steady_clock::duration taken = steady_clock::now() - startedSteady_;
  const uint64_t limit = call_->Options().maxBodyBytes;
  const auto body = [&](std::string& out, std::string_view name, size_t size,
                        const std::string& shown) {
    out += name;
    out += ": ";
    out += std::to_string(size);
    out += " bytes";
    if (size > limit)
      out += ", cut to the first " + std::to_string(shown.size()) + " shown";
    out += "\n";
    out += shown;
    out += "\n";
  };

  std::string head = RecordHead(started_, *call_);
  head += "Service: " + service_ + ", operation " + operation_ + "\n";
  head += "URL: " + url_ + "\n";
  head += "SOAPAction: \"" + soapAction_ + "\"\n";
  head += "Connection: ";
  head += !headReceived_ ? "no response" : !reused_ ? "not known" : *reused_ ? "reused" : "new";
  head += "\n";
  std::string record = MaskSecrets(std::move(head), call_->Secrets());
  body(record, "Request", envelope_.size(), Shown(envelope_));

  std::string tail;
  tail += "Response:";
  tail += headReceived_ ? "\n" + head_ + "\n" : " none\n";
  record += MaskSecrets(std::move(tail), call_->Secrets());
  if (answerSize_)
    body(record, "Answer", *answerSize_, answer_);
  else
    record += "Answer: none\n";
  record += "Time: " + Milliseconds(taken) + "\n";
  record += MaskSecrets("Result: " + std::string(outcome) + "\n", call_->Secrets());
  // An empty line between records, for the reader.
  record += "\n";
  call_->Write(record);
}

} // namespace tellavo
