// The watcher is a thread of this exchange alone, joined when the exchange
// finishes, rather than a timer of the process's thread pool: the pool's
// threads, once started, live until the process ends, and Wine's teardown of
// such threads at the end of a 32-bit process can crash it.
#include "transport/ExchangeDeadline.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace tellavo {

struct TExchangeDeadline::Watcher {
  std::mutex lock;
  std::condition_variable finishing;
  bool finished = false; // guarded by lock
  bool expired = false;  // written by the thread, read once it is joined
  std::thread thread;

  // Waits for the limit or the end of the exchange; closes the handle at the
  // limit.
  void Watch(HINTERNET request, DWORD milliseconds) {
    {
      std::unique_lock hold(lock);
      if (finishing.wait_for(hold, std::chrono::milliseconds(milliseconds),
                             [this] { return finished; }))
        return;
    }
    expired = true;
    // Outside the lock: the close waits for the aborted call, whose thread may
    // be on its way to Finish.
    InternetCloseHandle(request);
  }
};

TExchangeDeadline::TExchangeDeadline(InternetHandle request, DWORD milliseconds)
    : request_(std::move(request)) {
  if (milliseconds == 0)
    return;
  watcher_ = std::make_unique<Watcher>();
  try {
    watcher_->thread = std::thread([watcher = watcher_.get(), handle = request_.Get(),
                                    milliseconds] { watcher->Watch(handle, milliseconds); });
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
  if (watcher_ == nullptr)
    return false;
  if (watcher_->thread.joinable()) {
    {
      std::lock_guard hold(watcher_->lock);
      watcher_->finished = true;
    }
    watcher_->finishing.notify_one();
    // Once joined, the watcher neither closes the handle nor will.
    watcher_->thread.join();
  }
  return watcher_->expired;
}

} // namespace tellavo
