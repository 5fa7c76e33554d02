#include "transport/ExchangeDeadline.h"

#include <new>

namespace tellavo {

namespace {

// A due time relative to now, in the timer's 100 ns units.
FILETIME RelativeDueTime(DWORD milliseconds) {
  const auto ticks = static_cast<uint64_t>(-int64_t{milliseconds} * 10'000);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Once this returns, the callback neither runs nor will.
void Stop(PTP_TIMER timer) {
  SetThreadpoolTimer(timer, nullptr, 0, 0);
  WaitForThreadpoolTimerCallbacks(timer, TRUE);
}

} // namespace

void ThreadpoolTimerCloser::operator()(PTP_TIMER timer) const {
  Stop(timer);
  CloseThreadpoolTimer(timer);
}

TExchangeDeadline::TExchangeDeadline(InternetHandle request, DWORD milliseconds)
    : request_(std::move(request)) {
  if (milliseconds == 0)
    return;
  timer_.reset(CreateThreadpoolTimer(&Expire, this, nullptr));
  // The timer's one documented failure is a lack of memory.
  if (!timer_)
    throw std::bad_alloc();
  FILETIME due = RelativeDueTime(milliseconds);
  SetThreadpoolTimer(timer_.get(), &due, 0, 0);
}

TExchangeDeadline::~TExchangeDeadline() {
  // A handle the timer closed is gone: closing it again could close a handle
  // that another thread has been given meanwhile.
  if (Finish())
    request_.Release();
}

bool TExchangeDeadline::Finish() {
  if (timer_)
    Stop(timer_.get());
  return expired_;
}

void CALLBACK TExchangeDeadline::Expire(PTP_CALLBACK_INSTANCE, PVOID self, PTP_TIMER) {
  auto& deadline = *static_cast<TExchangeDeadline*>(self);
  deadline.expired_ = true;
  InternetCloseHandle(deadline.Request());
}

} // namespace tellavo
