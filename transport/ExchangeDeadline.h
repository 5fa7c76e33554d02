// The overall time limit of one exchange. The idle time-outs bound only how
// long nothing moves, so a gateway that drips a byte now and then could hold
// a call for ever; this closes the request handle from a watcher thread once
// the limit has passed, which aborts whichever blocking Internet call is
// running on it.
//
// The watcher is a thread of this exchange alone, joined when the exchange
// finishes, rather than a timer of the process's thread pool: the pool's
// threads, once started, live until the process ends, and Wine's teardown of
// such threads at the end of a 32-bit process can crash it.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "transport/HTTPReqResp.h"

namespace tellavo {

class TExchangeDeadline {
public:
  // Owns `request` from here on; 0 milliseconds sets no limit and starts no
  // thread.
  TExchangeDeadline(InternetHandle request, DWORD milliseconds);
  ~TExchangeDeadline();
  TExchangeDeadline(const TExchangeDeadline&) = delete;
  TExchangeDeadline& operator=(const TExchangeDeadline&) = delete;

  HINTERNET Request() const { return request_.Get(); }
  // Ends the watcher and answers whether the limit passed (and the handle
  // was closed) before that.
  bool Finish();

private:
  void Watch(DWORD milliseconds);

  InternetHandle request_;
  std::mutex lock_;
  std::condition_variable finishing_;
  bool finished_ = false; // guarded by lock_
  bool expired_ = false;  // written by the watcher, read once it is joined
  // Declared last so that it starts once the rest is there.
  std::thread watcher_;
};

} // namespace tellavo
