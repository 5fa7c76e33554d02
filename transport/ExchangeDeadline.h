// The overall time limit of one exchange. The idle time-outs bound only how
// long nothing moves, so a gateway that drips a byte now and then could hold
// a call for ever; this closes the request handle from a timer thread once the
// limit has passed, which aborts whichever blocking Internet call is running
// on it.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "transport/HTTPReqResp.h"

namespace tellavo {

class TExchangeDeadline {
public:
  // Owns `request` from here on; 0 milliseconds sets no limit.
  TExchangeDeadline(InternetHandle request, DWORD milliseconds);
  ~TExchangeDeadline();
  TExchangeDeadline(const TExchangeDeadline&) = delete;
  TExchangeDeadline& operator=(const TExchangeDeadline&) = delete;

  HINTERNET Request() const { return request_.get(); }
  // Stops the timer and answers whether the limit passed (and the handle
  // was closed) before that.
  bool Finish();

private:
  void Watch(DWORD milliseconds);

  InternetHandle request_;
  std::mutex lock_;
  std::condition_variable stop_;
  bool finished_ = false; // guarded by lock_
  bool expired_ = false;  // guarded by lock_
  std::thread timer_;
};

} // namespace tellavo
