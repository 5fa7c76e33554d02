#include "transport/ExchangeDeadline.h"

#include <chrono>

namespace tellavo {

TExchangeDeadline::TExchangeDeadline(InternetHandle request, DWORD milliseconds)
    : request_(std::move(request)) {
  if (milliseconds != 0)
    timer_ = std::thread([this, milliseconds] { Watch(milliseconds); });
}

TExchangeDeadline::~TExchangeDeadline() {
  // A handle the timer closed is gone: closing it again could close a handle
  // that another thread has been given meanwhile.
  if (Finish())
    request_.release();
}

bool TExchangeDeadline::Finish() {
  {
    std::lock_guard lock(lock_);
    finished_ = true;
  }
  stop_.notify_one();
  if (timer_.joinable())
    timer_.join();
  std::lock_guard lock(lock_);
  return expired_;
}

void TExchangeDeadline::Watch(DWORD milliseconds) {
  {
    std::unique_lock lock(lock_);
    if (stop_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return finished_; }))
      return;
    expired_ = true;
  }
  // Outside the lock: closing may take a moment while the blocked call ends.
  InternetCloseHandle(request_.get());
}

} // namespace tellavo
