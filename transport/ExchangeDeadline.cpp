#include "transport/ExchangeDeadline.h"

#include <chrono>
#include <new>
#include <system_error>

namespace tellavo {

TExchangeDeadline::TExchangeDeadline(InternetHandle request, DWORD milliseconds)
    : request_(std::move(request)) {
  if (milliseconds == 0)
    return;
  try {
    watcher_ = std::thread([this, milliseconds] { Watch(milliseconds); });
  } catch (const std::system_error&) {
    // A thread fails to start for a lack of resources.
    throw std::bad_alloc();
  }
}

TExchangeDeadline::~TExchangeDeadline() {
  // A handle the watcher closed is gone: closing it again could close a
  // handle that another thread has been given meanwhile.
  if (Finish())
    request_.Release();
}

bool TExchangeDeadline::Finish() {
  if (watcher_.joinable()) {
    {
      std::lock_guard lock(lock_);
      finished_ = true;
    }
    finishing_.notify_one();
    // Once joined, the watcher neither closes the handle nor will.
    watcher_.join();
  }
  return expired_;
}

void TExchangeDeadline::Watch(DWORD milliseconds) {
  {
    std::unique_lock lock(lock_);
    if (finishing_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                            [this] { return finished_; }))
      return;
  }
  expired_ = true;
  // Outside the lock: the close waits for the aborted call, whose thread may
  // be on its way to Finish.
  InternetCloseHandle(request_.Get());
}

} // namespace tellavo
