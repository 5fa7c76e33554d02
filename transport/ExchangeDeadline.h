// The overall time limit of one exchange. The idle time-outs bound only how
// long nothing moves, so a gateway that drips a byte now and then could hold
// a call for ever; this ends the exchange once the limit has passed, whichever
// blocking Internet call is running then.
//
// One implementation per target. WinINet has no limit for a whole request:
// ExchangeDeadlineWin32.cpp closes the request handle from a watcher thread,
// which aborts the blocking call. The posix Internet client keeps such a limit
// itself (INTERNET_OPTION_REQUEST_TIME_LIMIT): ExchangeDeadlinePosix.cpp hands
// it over, and the waiting call fails with ERROR_INTERNET_TIMEOUT, so an
// exchange costs no thread there.
#pragma once

#include <memory>

#include "transport/HTTPReqResp.h"

namespace tellavo {

class TExchangeDeadline {
public:
  // Owns `request` from here on; 0 milliseconds sets no limit.
  TExchangeDeadline(InternetHandle request, DWORD milliseconds);
  ~TExchangeDeadline();
  TExchangeDeadline(const TExchangeDeadline&) = delete;
  TExchangeDeadline& operator=(const TExchangeDeadline&) = delete;

  HINTERNET Request() const { return request_.Get(); }
  // Stops watching the limit and answers whether it closed the request's
  // handle before that (never where the Internet client keeps the limit).
  bool Finish();

private:
  struct Watcher;

  InternetHandle request_;
  std::unique_ptr<Watcher> watcher_;
};

} // namespace tellavo
