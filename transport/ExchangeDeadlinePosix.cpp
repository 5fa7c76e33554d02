#include "transport/ExchangeDeadline.h"

namespace tellavo {

// Nothing to watch: the Internet client ends the request at its limit.
struct TExchangeDeadline::Watcher {};

TExchangeDeadline::TExchangeDeadline(InternetHandle request, DWORD milliseconds)
    : request_(std::move(request)) {
  InternetSetOptionW(request_.Get(), INTERNET_OPTION_REQUEST_TIME_LIMIT, &milliseconds,
                     sizeof milliseconds);
}

TExchangeDeadline::~TExchangeDeadline() = default;

bool TExchangeDeadline::Finish() {
  return false;
}

} // namespace tellavo
