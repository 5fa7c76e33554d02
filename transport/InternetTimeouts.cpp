#include "transport/InternetTimeouts.h"

#include <atomic>

namespace tellavo {

namespace {

std::atomic<DWORD> exchangeTimeLimit = 0;

} // namespace

void SetInternetTimeouts(DWORD milliseconds) {
  // The null handle addresses the whole process; the results say nothing a
  // caller could act on.
  DWORD value = milliseconds;
  InternetSetOptionW(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, sizeof value);
  InternetSetOptionW(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof value);
  exchangeTimeLimit = milliseconds;
}

DWORD ExchangeTimeLimit() {
  return exchangeTimeLimit;
}

} // namespace tellavo
