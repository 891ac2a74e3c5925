// One-shot timers: each fires once after its time on the timer thread,
// cancelled ones never fire, cancelling waits for a running callback, and a
// callback may arm and cancel timers itself without deadlock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/timer.h"

namespace {

struct Probe {
  std::atomic<int> fired{0};
  std::atomic<uint32_t> firedAt{0};
  std::atomic<bool> onOtherThread{false};
  std::thread::id armingThread;
};

void record(void* context, bool fired) {
  Probe* probe = static_cast<Probe*>(context);
  probe->firedAt.store(platform::milliseconds());
  probe->onOtherThread.store(std::this_thread::get_id() != probe->armingThread);
  if (fired) probe->fired.fetch_add(1);
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

// Three timers armed out of order, one cancelled: the others fire once
// each, in the order they fall due, on the timer thread and not before
// their time; the cancelled one never fires, and cancelling a timer that
// has fired, or no timer at all, changes nothing.
TEST(OneShotTimer, FireOnceInTheOrderTheyFallDueUnlessCancelled) {
  Probe late, early, cancelled;
  late.armingThread = std::this_thread::get_id();
  const uint32_t start = platform::milliseconds();
  platform::TimerHandle lateHandle = platform::armTimer(120, record, &late);
  platform::TimerHandle cancelledHandle = platform::armTimer(80, record, &cancelled);
  platform::TimerHandle earlyHandle = platform::armTimer(20, record, &early);
  ASSERT_NE(lateHandle, 0u);
  ASSERT_NE(earlyHandle, 0u);
  platform::cancelTimer(cancelledHandle);
  sleepMs(400);
  EXPECT_EQ(early.fired.load(), 1);
  EXPECT_EQ(late.fired.load(), 1);
  EXPECT_EQ(cancelled.fired.load(), 0);
  EXPECT_GE(early.firedAt.load() - start, 19u);
  EXPECT_GE(late.firedAt.load() - start, 119u);
  EXPECT_LT(early.firedAt.load(), late.firedAt.load());
  EXPECT_TRUE(late.onOtherThread.load());
  platform::cancelTimer(lateHandle);
  platform::cancelTimer(earlyHandle);
  platform::cancelTimer(0);
  EXPECT_EQ(late.fired.load(), 1);
}

namespace {
std::atomic<int> slowDone{0};
void slowCallback(void*, bool) {
  sleepMs(100);
  slowDone.store(1);
}

// A callback that re-arms a timer from the timer thread and cancels its own
// handle, as the engine's timer entry does through the search timer.
std::atomic<int> chainCount{0};
std::atomic<platform::TimerHandle> chainHandle{0};
void chainCallback(void*, bool) {
  platform::cancelTimer(chainHandle.load());
  if (chainCount.fetch_add(1) < 2) chainHandle.store(platform::armTimer(10, chainCallback, nullptr));
}
}  // namespace

TEST(OneShotTimer, CancelWaitsForARunningCallback) {
  slowDone.store(0);
  platform::TimerHandle handle = platform::armTimer(1, slowCallback, nullptr);
  sleepMs(30);  // the callback is running now
  platform::cancelTimer(handle);
  EXPECT_EQ(slowDone.load(), 1);
}

TEST(OneShotTimer, CallbackMayArmAndCancelTimers) {
  chainCount.store(0);
  chainHandle.store(platform::armTimer(10, chainCallback, nullptr));
  sleepMs(200);
  EXPECT_EQ(chainCount.load(), 3);
}
