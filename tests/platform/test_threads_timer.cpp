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

TEST(OneShotTimer, FiresOnceAfterItsTimeOnTheTimerThread) {
  Probe probe;
  probe.armingThread = std::this_thread::get_id();
  uint32_t start = platform::milliseconds();
  platform::TimerHandle handle = platform::armTimer(60, record, &probe);
  ASSERT_NE(handle, 0u);
  sleepMs(300);
  EXPECT_EQ(probe.fired.load(), 1);
  EXPECT_GE(probe.firedAt.load() - start, 59u);
  EXPECT_LT(probe.firedAt.load() - start, 250u);
  EXPECT_TRUE(probe.onOtherThread.load());
  platform::cancelTimer(handle);  // fired already: nothing happens
  EXPECT_EQ(probe.fired.load(), 1);
}

TEST(OneShotTimer, CancelledTimerNeverFiresAndOthersStillDo) {
  Probe cancelled;
  Probe kept;
  platform::TimerHandle a = platform::armTimer(80, record, &cancelled);
  platform::TimerHandle b = platform::armTimer(40, record, &kept);
  platform::cancelTimer(a);
  sleepMs(250);
  EXPECT_EQ(cancelled.fired.load(), 0);
  EXPECT_EQ(kept.fired.load(), 1);
  platform::cancelTimer(b);
  platform::cancelTimer(0);
}

TEST(OneShotTimer, EarlierDueTimerFiresFirst) {
  Probe late;
  Probe early;
  platform::armTimer(120, record, &late);
  platform::armTimer(20, record, &early);
  sleepMs(70);
  EXPECT_EQ(early.fired.load(), 1);
  EXPECT_EQ(late.fired.load(), 0);
  sleepMs(200);
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
