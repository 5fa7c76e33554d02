// The wire trace of one Gateway call: where its exchange records go, and what
// of the call a record names or must hide. The Gateway method opens one for
// its duration on its own thread; the exchanges it makes find it there, so
// nothing needs to be handed down through the proxies. Exchanges outside a
// call, or in a call whose trace is off, are not recorded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exceptions.h"
#include "common/Settings.h"

namespace tellavo {

// A trace file name that stands for the process's standard error.
inline constexpr std::u16string_view kTraceToStandardError = u"-";

struct TTraceOptions {
  // Empty: no trace. kTraceToStandardError: standard error, never rotated.
  std::u16string file;
  // The most of each body a record shows.
  uint64_t maxBodyBytes = BuiltInSettings().Number(SettingId::TraceMaxBodyBytes);
  // The size at which the file is renamed with ".1" and a new one begins.
  uint64_t maxBytes = BuiltInSettings().Number(SettingId::TraceMaxBytes);
};

class TTraceCall {
public:
  // `method` names the Gateway method in each record.
  explicit TTraceCall(std::u16string_view method);
  ~TTraceCall();
  TTraceCall(const TTraceCall&) = delete;
  TTraceCall& operator=(const TTraceCall&) = delete;

  // Turns the trace on for the rest of the call when `options` names a file.
  // `secrets` are texts that no record may show, each in every form the
  // caller has put it into the request.
  void Start(TTraceOptions options, std::vector<std::u16string> secrets);

  // The traced call running on this thread; null when there is none.
  static TTraceCall* Active();

  const std::u16string& Method() const { return method_; }
  const TTraceOptions& Options() const { return options_; }
  // The texts to mask, as UTF-8, longest first.
  const std::vector<std::string>& Secrets() const { return secrets_; }

  // Appends one record. A file that cannot be written leaves the call
  // untraced from here on; the process's first such failure is kept for
  // TakeFailure.
  void Write(std::string_view record);
  // The failure the caller reports once, if this call met the first one.
  std::optional<Exception> TakeFailure();

private:
  std::u16string method_;
  TTraceOptions options_;
  std::vector<std::string> secrets_;
  bool active_ = false;
  std::optional<Exception> failure_;
  TTraceCall* outer_;
};

} // namespace tellavo
