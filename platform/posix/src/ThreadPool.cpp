// The thread pool's timers over one timer thread of the process.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "Platform.h"

using Clock = std::chrono::steady_clock;

struct TP_TIMER {
  TP_TIMER(PTP_TIMER_CALLBACK callback, PVOID context) : callback(callback), context(context) {}

  PTP_TIMER_CALLBACK callback;
  PVOID context;
  // The rest is guarded by the timer thread's lock.
  std::optional<Clock::time_point> due; // set when the timer is set
  std::chrono::milliseconds period{0};
  bool running = false;
  bool closed = false; // released once the running callback returns
};

namespace {

// Due times count 100 ns ticks; absolute ones from 1601-01-01 UTC.
using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
constexpr Ticks kUnixEpoch{116'444'736'000'000'000};
// Beyond this a due time is "never" in practice; the bound keeps the
// arithmetic on the clock from overflowing.
constexpr Ticks kFarthest = std::chrono::duration_cast<Ticks>(std::chrono::hours(24 * 365 * 100));

Clock::time_point DueTimePoint(const FILETIME& dueTime) {
  const Ticks value{
      static_cast<int64_t>(uint64_t{dueTime.dwHighDateTime} << 32 | dueTime.dwLowDateTime)};
  // Negative is relative; an absolute time is taken as its distance from now.
  const Ticks fromNow = value.count() < 0
                            ? -value
                            : value - kUnixEpoch -
                                  std::chrono::duration_cast<Ticks>(
                                      std::chrono::system_clock::now().time_since_epoch());
  return Clock::now() + std::clamp(fromNow, -kFarthest, kFarthest);
}

class TimerThread {
public:
  ~TimerThread() {
    {
      std::lock_guard lock(lock_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
      thread_.join();
  }

  PTP_TIMER Create(PTP_TIMER_CALLBACK callback, PVOID context) {
    auto timer = std::make_unique<TP_TIMER>(callback, context);
    std::lock_guard lock(lock_);
    if (!thread_.joinable())
      thread_ = std::thread([this] { Run(); });
    return timer.release();
  }

  void Set(PTP_TIMER timer, std::optional<Clock::time_point> due,
           std::chrono::milliseconds period) {
    bool sooner = false;
    {
      std::lock_guard lock(lock_);
      if (due)
        Schedule(timer, *due);
      else
        Unschedule(timer);
      timer->period = period;
      sooner = due && *due < wakeAt_;
    }
    // The thread is woken only for a due time before the one it sleeps
    // until: one that woke for a timer since stopped or moved later finds
    // nothing due and sleeps on. So an exchange that sets its deadline and
    // stops it in time costs the thread nothing.
    if (sooner)
      wake_.notify_all();
  }

  void Wait(PTP_TIMER timer, bool cancelPending) {
    std::unique_lock lock(lock_);
    if (cancelPending && timer->due && *timer->due <= Clock::now())
      Advance(timer);
    returned_.wait(lock, [timer] { return !timer->running; });
  }

  void Close(PTP_TIMER timer) {
    std::lock_guard lock(lock_);
    Unschedule(timer);
    if (timer->running)
      timer->closed = true;
    else
      delete timer;
  }

private:
  void Schedule(PTP_TIMER timer, Clock::time_point due) {
    if (!timer->due)
      set_.push_back(timer);
    timer->due = due;
  }

  void Unschedule(PTP_TIMER timer) {
    if (timer->due)
      set_.erase(std::find(set_.begin(), set_.end(), timer));
    timer->due.reset();
  }

  // Moves a due timer on to its next period, or stops a one-shot timer.
  void Advance(PTP_TIMER timer) {
    if (timer->period.count() == 0)
      return Unschedule(timer);
    const auto now = Clock::now();
    // A period missed while the thread was busy is skipped, not caught up.
    const auto next = *timer->due + timer->period;
    timer->due = next > now ? next : now + timer->period;
  }

  void Run() {
    std::unique_lock lock(lock_);
    while (!stopping_) {
      const auto next = std::min_element(
          set_.begin(), set_.end(), [](PTP_TIMER a, PTP_TIMER b) { return *a->due < *b->due; });
      if (next == set_.end()) {
        Sleep(lock, Clock::time_point::max());
        continue;
      }
      // A copy: the timer may be closed while the thread waits.
      const Clock::time_point due = *(*next)->due;
      if (Clock::now() < due)
        Sleep(lock, due);
      else
        Fire(*next, lock);
    }
  }

  void Sleep(std::unique_lock<std::mutex>& lock, Clock::time_point until) {
    wakeAt_ = until;
    if (until == Clock::time_point::max())
      wake_.wait(lock);
    else
      wake_.wait_until(lock, until);
    wakeAt_ = Clock::time_point::min();
  }

  // Runs the callback outside the lock, so that it may set, wait for other
  // timers or close its own.
  void Fire(PTP_TIMER timer, std::unique_lock<std::mutex>& lock) {
    timer->running = true;
    Advance(timer);
    lock.unlock();
    timer->callback(nullptr, timer->context, timer);
    lock.lock();
    timer->running = false;
    if (timer->closed)
      delete timer;
    returned_.notify_all();
  }

  std::mutex lock_;
  std::condition_variable wake_;     // a due time sooner than wakeAt_, or stopping_
  std::condition_variable returned_; // a callback returned
  std::vector<PTP_TIMER> set_;       // the timers with a due time
  // When the sleeping thread wakes by itself; the earliest time point while
  // it is awake, since it looks at the set again before it sleeps.
  Clock::time_point wakeAt_ = Clock::time_point::min();
  bool stopping_ = false;
  std::thread thread_;
};

// Destroyed, and its thread joined, when the library unloads.
TimerThread& Timers() {
  static TimerThread timers;
  return timers;
}

} // namespace

PTP_TIMER CreateThreadpoolTimer(PTP_TIMER_CALLBACK callback, PVOID context,
                                PTP_CALLBACK_ENVIRON environment) {
  if (callback == nullptr || environment != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    return Timers().Create(callback, context);
  } catch (const std::exception&) {
    // No memory, or no thread to run the timers on.
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
}

void SetThreadpoolTimer(PTP_TIMER timer, PFILETIME dueTime, DWORD period, DWORD) {
  Timers().Set(timer, dueTime ? std::optional(DueTimePoint(*dueTime)) : std::nullopt,
               std::chrono::milliseconds(period));
}

void WaitForThreadpoolTimerCallbacks(PTP_TIMER timer, BOOL cancelPending) {
  Timers().Wait(timer, cancelPending != FALSE);
}

void CloseThreadpoolTimer(PTP_TIMER timer) {
  Timers().Close(timer);
}
