// The thread pool's timers: due times, cancelling, waiting for a running
// callback, several timers and several threads.
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Platform.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

FILETIME DueTime(int64_t ticks) {
  const auto bits = static_cast<uint64_t>(ticks);
  return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

FILETIME After(std::chrono::milliseconds delay) {
  return DueTime(-delay.count() * 10'000);
}

// What a timer's callbacks saw.
struct Firings {
  std::atomic<int> count{0};
  std::atomic<PTP_TIMER> timer{nullptr};
  std::promise<Clock::time_point> first;

  static void CALLBACK Callback(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER timer) {
    auto& self = *static_cast<Firings*>(context);
    self.timer = timer;
    if (self.count++ == 0)
      self.first.set_value(Clock::now());
  }
};

struct TimerCloser {
  void operator()(PTP_TIMER timer) const {
    SetThreadpoolTimer(timer, nullptr, 0, 0);
    WaitForThreadpoolTimerCallbacks(timer, TRUE);
    CloseThreadpoolTimer(timer);
  }
};
using Timer = std::unique_ptr<TP_TIMER, TimerCloser>;

Timer NewTimer(PTP_TIMER_CALLBACK callback, void* context) {
  Timer timer(CreateThreadpoolTimer(callback, context, nullptr));
  EXPECT_NE(nullptr, timer);
  return timer;
}

TEST(ThreadpoolTimer, FiresOnceWhenARelativeDueTimePasses) {
  Firings firings;
  auto fired = firings.first.get_future();
  Timer timer = NewTimer(&Firings::Callback, &firings);
  const auto set = Clock::now();
  FILETIME due = After(50ms);
  SetThreadpoolTimer(timer.get(), &due, 0, 0);
  ASSERT_EQ(std::future_status::ready, fired.wait_for(10s));
  EXPECT_GE(fired.get() - set, 50ms);
  EXPECT_EQ(timer.get(), firings.timer.load());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(1, firings.count);
}

TEST(ThreadpoolTimer, AbsoluteDueTimesCountFrom1601) {
  // 1601 itself is long past, so the timer fires at once.
  Firings past;
  auto pastFired = past.first.get_future();
  Timer pastTimer = NewTimer(&Firings::Callback, &past);
  FILETIME epoch = DueTime(0);
  SetThreadpoolTimer(pastTimer.get(), &epoch, 0, 0);
  EXPECT_EQ(std::future_status::ready, pastFired.wait_for(10s));

  // Now plus 100 ms on the system clock, in 100 ns units since 1601.
  Firings future;
  auto futureFired = future.first.get_future();
  Timer futureTimer = NewTimer(&Firings::Callback, &future);
  const auto set = Clock::now();
  const int64_t unixEpoch = 116'444'736'000'000'000;
  const auto sinceUnixEpoch = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch() + 100ms);
  FILETIME due = DueTime(unixEpoch + sinceUnixEpoch.count() * 10);
  SetThreadpoolTimer(futureTimer.get(), &due, 0, 0);
  ASSERT_EQ(std::future_status::ready, futureFired.wait_for(10s));
  EXPECT_GE(futureFired.get() - set, 90ms);
}

TEST(ThreadpoolTimer, ANullDueTimeCancelsAndASetTimerCanBeSetAgain) {
  Firings firings;
  Timer timer = NewTimer(&Firings::Callback, &firings);
  FILETIME due = After(50ms);
  SetThreadpoolTimer(timer.get(), &due, 0, 0);
  SetThreadpoolTimer(timer.get(), nullptr, 0, 0);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(0, firings.count);

  // Setting again replaces the due time rather than adding a second one.
  auto fired = firings.first.get_future();
  FILETIME later = After(10s);
  FILETIME soon = After(10ms);
  SetThreadpoolTimer(timer.get(), &later, 0, 0);
  SetThreadpoolTimer(timer.get(), &soon, 0, 0);
  EXPECT_EQ(std::future_status::ready, fired.wait_for(5s));
}

TEST(ThreadpoolTimer, APeriodicTimerRepeatsUntilStopped) {
  Firings firings;
  Timer timer = NewTimer(&Firings::Callback, &firings);
  FILETIME due = After(1ms);
  SetThreadpoolTimer(timer.get(), &due, 5, 0);
  const auto limit = Clock::now() + 10s;
  while (firings.count < 3 && Clock::now() < limit)
    std::this_thread::sleep_for(5ms);
  SetThreadpoolTimer(timer.get(), nullptr, 0, 0);
  WaitForThreadpoolTimerCallbacks(timer.get(), TRUE);
  const int stoppedAt = firings.count;
  EXPECT_GE(stoppedAt, 3);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(stoppedAt, firings.count);
}

// A callback that runs until the test lets it return.
struct Blocking {
  std::promise<void> entered;
  std::promise<void> release;
  std::atomic<bool> returned{false};

  static void CALLBACK Callback(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER) {
    auto& self = *static_cast<Blocking*>(context);
    self.entered.set_value();
    self.release.get_future().wait();
    self.returned = true;
  }
};

TEST(ThreadpoolTimer, WaitingWaitsForTheRunningCallbackEvenWhenCancelling) {
  Blocking blocking;
  Timer timer = NewTimer(&Blocking::Callback, &blocking);
  FILETIME due = After(1ms);
  SetThreadpoolTimer(timer.get(), &due, 0, 0);
  blocking.entered.get_future().wait();

  auto waited = std::async(std::launch::async, [&] {
    WaitForThreadpoolTimerCallbacks(timer.get(), TRUE);
    return blocking.returned.load();
  });
  EXPECT_EQ(std::future_status::timeout, waited.wait_for(100ms));
  blocking.release.set_value();
  EXPECT_TRUE(waited.get());
}

TEST(ThreadpoolTimer, CancellingDropsACallbackThatIsDueButHasNotStarted) {
  // Timers' callbacks run one after another: while the first one runs, the
  // second timer comes due and waits in the queue.
  Blocking blocking;
  Timer first = NewTimer(&Blocking::Callback, &blocking);
  FILETIME due = After(1ms);
  SetThreadpoolTimer(first.get(), &due, 0, 0);
  blocking.entered.get_future().wait();

  Firings queued;
  Timer second = NewTimer(&Firings::Callback, &queued);
  SetThreadpoolTimer(second.get(), &due, 0, 0);
  std::this_thread::sleep_for(20ms);
  WaitForThreadpoolTimerCallbacks(second.get(), TRUE);
  blocking.release.set_value();
  WaitForThreadpoolTimerCallbacks(first.get(), FALSE);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(0, queued.count);
}

TEST(ThreadpoolTimer, SeveralTimersFireInTheOrderOfTheirDueTimes) {
  struct Order {
    std::mutex lock;
    std::vector<int> fired;
  } order;
  struct Entry {
    Order* order;
    int id;
    static void CALLBACK Callback(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER) {
      auto& self = *static_cast<Entry*>(context);
      std::lock_guard lock(self.order->lock);
      self.order->fired.push_back(self.id);
    }
  };
  std::vector<Entry> entries{{&order, 0}, {&order, 1}, {&order, 2}, {&order, 3}};
  const std::chrono::milliseconds delays[] = {120ms, 30ms, 90ms, 60ms};
  std::vector<Timer> timers;
  for (auto& entry : entries) {
    timers.push_back(NewTimer(&Entry::Callback, &entry));
    FILETIME due = After(delays[entry.id]);
    SetThreadpoolTimer(timers.back().get(), &due, 0, 0);
  }
  const auto limit = Clock::now() + 10s;
  while (Clock::now() < limit) {
    std::this_thread::sleep_for(10ms);
    std::lock_guard lock(order.lock);
    if (order.fired.size() == entries.size())
      break;
  }
  std::lock_guard lock(order.lock);
  EXPECT_EQ((std::vector<int>{1, 3, 2, 0}), order.fired);
}

// The timer thread sleeps until the earliest due time it knows of: a sooner
// timer set later must wake it, and one set after a stopped timer must still
// fire once the thread wakes for the stopped one and finds nothing due.
TEST(ThreadpoolTimer, NeitherASoonerTimerNorOneAfterAStoppedTimerIsLate) {
  Firings far, near, stopped, after;
  const Timer farTimer = NewTimer(&Firings::Callback, &far);
  FILETIME due = After(30s);
  SetThreadpoolTimer(farTimer.get(), &due, 0, 0);
  const Timer nearTimer = NewTimer(&Firings::Callback, &near);
  due = After(20ms);
  SetThreadpoolTimer(nearTimer.get(), &due, 0, 0);
  auto fired = near.first.get_future();
  ASSERT_EQ(std::future_status::ready, fired.wait_for(10s));

  const Timer stoppedTimer = NewTimer(&Firings::Callback, &stopped);
  due = After(50ms);
  SetThreadpoolTimer(stoppedTimer.get(), &due, 0, 0);
  SetThreadpoolTimer(stoppedTimer.get(), nullptr, 0, 0);
  const Timer afterTimer = NewTimer(&Firings::Callback, &after);
  const auto setAfter = Clock::now();
  due = After(100ms);
  SetThreadpoolTimer(afterTimer.get(), &due, 0, 0);
  fired = after.first.get_future();
  ASSERT_EQ(std::future_status::ready, fired.wait_for(10s));
  EXPECT_GE(fired.get() - setAfter, 100ms);
  EXPECT_EQ(0, stopped.count);
  EXPECT_EQ(0, far.count);
}

TEST(ThreadpoolTimer, ACallbackMayCloseItsOwnTimer) {
  std::promise<void> closed;
  auto done = closed.get_future();
  PTP_TIMER timer = CreateThreadpoolTimer(
      [](PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER self) {
        CloseThreadpoolTimer(self);
        static_cast<std::promise<void>*>(context)->set_value();
      },
      &closed, nullptr);
  ASSERT_NE(nullptr, timer);
  FILETIME due = After(1ms);
  SetThreadpoolTimer(timer, &due, 0, 0);
  EXPECT_EQ(std::future_status::ready, done.wait_for(10s));
}

TEST(ThreadpoolTimer, ThreadsSetCancelAndCloseTimersAtOnce) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::atomic<int> fired{0};
  const auto count = [](PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER) {
    ++*static_cast<std::atomic<int>*>(context);
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        Timer timer = NewTimer(count, &fired);
        // Due at once, in a moment, or far off: some fire, some are stopped
        // while running or queued, some never come due.
        FILETIME due = After(std::chrono::milliseconds((round + t) % 3 == 2 ? 10'000 : round % 2));
        SetThreadpoolTimer(timer.get(), &due, 0, 0);
        if (round % 4 == 0)
          WaitForThreadpoolTimerCallbacks(timer.get(), FALSE);
      }
    });
  for (auto& thread : threads)
    thread.join();
  // Every timer was stopped before it closed, so nothing fires from here on.
  const int total = fired;
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(total, fired.load());
  EXPECT_LE(total, kThreads * kRounds);
}

TEST(ThreadpoolTimer, OnlyTheDefaultCallbackEnvironmentIsSupported) {
  auto* environment = reinterpret_cast<PTP_CALLBACK_ENVIRON>(uintptr_t{1});
  EXPECT_EQ(nullptr, CreateThreadpoolTimer(&Firings::Callback, nullptr, environment));
  EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, GetLastError());
  EXPECT_EQ(nullptr, CreateThreadpoolTimer(nullptr, nullptr, nullptr));
}

} // namespace
