// The overall time limit of one exchange. The idle time-outs bound only how
// long nothing moves, so a gateway that drips a byte now and then could hold
// a call for ever; this closes the request handle from a thread-pool timer
// once the limit has passed, which aborts whichever blocking Internet call is
// running on it.
#pragma once

#include <atomic>
#include <memory>

#include "transport/HTTPReqResp.h"

namespace tellavo {

// Stops a thread-pool timer, waits for a callback that is running and
// releases the timer, so that no callback outlives what it was given.
struct ThreadpoolTimerCloser {
  void operator()(PTP_TIMER timer) const;
};
using ThreadpoolTimer = std::unique_ptr<TP_TIMER, ThreadpoolTimerCloser>;

class TExchangeDeadline {
public:
  // Owns `request` from here on; 0 milliseconds sets no limit.
  TExchangeDeadline(InternetHandle request, DWORD milliseconds);
  ~TExchangeDeadline();
  TExchangeDeadline(const TExchangeDeadline&) = delete;
  TExchangeDeadline& operator=(const TExchangeDeadline&) = delete;

  HINTERNET Request() const { return request_.Get(); }
  // Stops the timer and answers whether the limit passed (and the handle
  // was closed) before that.
  bool Finish();

private:
  static void CALLBACK Expire(PTP_CALLBACK_INSTANCE, PVOID self, PTP_TIMER);

  InternetHandle request_;
  std::atomic<bool> expired_ = false;
  // Declared last so that it goes first, while the request is still there.
  ThreadpoolTimer timer_;
};

} // namespace tellavo
