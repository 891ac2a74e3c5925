#include "platform/timer.h"

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct PendingTimer {
  TimerHandle handle;
  Clock::time_point due;
  TimerCallback callback;
  void* context;
};

// The queue: pending timers in arming order, the one whose callback runs
// now, and the thread that runs them. The lock is never held while a
// callback runs, so a callback may arm and cancel timers itself.
struct TimerQueue {
  std::mutex lock;
  std::condition_variable changed;
  std::list<PendingTimer> pending;
  TimerHandle running = 0;
  TimerHandle lastHandle = 0;
  bool threadStarted = false;
  std::thread::id threadId;
};

TimerQueue& timerQueue() {
  // Created on first use and never destroyed: the timer thread may still
  // run while the process ends.
  static TimerQueue* queue = new TimerQueue;
  return *queue;
}

void runTimerThread(TimerQueue* queue) {
  std::unique_lock<std::mutex> guard(queue->lock);
  for (;;) {
    if (queue->pending.empty()) {
      queue->changed.wait(guard);
      continue;
    }
    // The earliest due timer fires next.
    auto earliest = queue->pending.begin();
    for (auto it = queue->pending.begin(); it != queue->pending.end(); ++it)
      if (it->due < earliest->due) earliest = it;
    // Wait on a copy of the due time: the timer may be cancelled (and its
    // record freed) while the lock is released.
    const Clock::time_point due = earliest->due;
    if (Clock::now() < due) {
      queue->changed.wait_until(guard, due);
      continue;
    }
    PendingTimer timer = *earliest;
    queue->pending.erase(earliest);
    queue->running = timer.handle;
    guard.unlock();
    timer.callback(timer.context, true);
    guard.lock();
    queue->running = 0;
    queue->changed.notify_all();
  }
}

}  // namespace

TimerHandle armTimer(uint32_t ms, TimerCallback callback, void* context) {
  TimerQueue& queue = timerQueue();
  std::lock_guard<std::mutex> guard(queue.lock);
  if (!queue.threadStarted) {
    try {
      std::thread thread(runTimerThread, &queue);
      queue.threadId = thread.get_id();
      thread.detach();
    } catch (...) {
      return 0;
    }
    queue.threadStarted = true;
  }
  TimerHandle handle = ++queue.lastHandle;
  queue.pending.push_back({handle, Clock::now() + std::chrono::milliseconds(ms), callback, context});
  queue.changed.notify_all();
  return handle;
}

void cancelTimer(TimerHandle handle) {
  if (handle == 0) return;
  TimerQueue& queue = timerQueue();
  std::unique_lock<std::mutex> guard(queue.lock);
  queue.pending.remove_if([handle](const PendingTimer& t) { return t.handle == handle; });
  queue.changed.notify_all();
  // Waiting on the timer thread for its own callback would never end.
  if (std::this_thread::get_id() == queue.threadId) return;
  queue.changed.wait(guard, [&queue, handle] { return queue.running != handle; });
}

}  // namespace platform
