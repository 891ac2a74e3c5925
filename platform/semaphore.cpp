#include "platform/semaphore.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace platform {

// All semaphores share one lock, so a thread can wait for any of several at
// once. A waiting thread registers its own condition on each semaphore it
// waits for, and a release wakes only the threads registered on that one:
// with one shared condition every release woke every idle helper of the
// pool, and the wake-ups queued on the lock behind each other. The lock is
// never destroyed: helper threads live until the process ends and may
// still be signalling while static destructors run.
static std::mutex& semaphoreMutex = *new std::mutex;

namespace {

struct Waiter {
  std::condition_variable signal;
};

// One per thread, ended with the thread (a registered waiter is always in
// a wait of its own thread, so no list holds it by then).
Waiter& ownWaiter() {
  thread_local Waiter waiter;
  return waiter;
}

}  // namespace

struct Semaphore {
  int32_t count;
  int32_t maximum;
  std::vector<Waiter*> waiters;
};

Semaphore* createSemaphore(int32_t initial, int32_t maximum) {
  if (maximum <= 0 || initial < 0 || initial > maximum) return nullptr;
  return new Semaphore{initial, maximum, {}};
}

void closeSemaphore(Semaphore* semaphore) {
  std::lock_guard<std::mutex> guard(semaphoreMutex);
  delete semaphore;
}

bool releaseSemaphore(Semaphore* semaphore) {
  std::lock_guard<std::mutex> guard(semaphoreMutex);
  if (semaphore->count >= semaphore->maximum) return false;
  ++semaphore->count;
  for (Waiter* waiter : semaphore->waiters) waiter->signal.notify_one();
  return true;
}

void waitSemaphore(Semaphore* semaphore) {
  Semaphore* const list[1] = {semaphore};
  waitAnySemaphore(list, 1);
}

bool tryWaitSemaphore(Semaphore* semaphore) {
  std::lock_guard<std::mutex> guard(semaphoreMutex);
  if (semaphore->count == 0) return false;
  --semaphore->count;
  return true;
}

// Index of the lowest semaphore with a token, or -1. Under the lock.
static int firstFree(Semaphore* const* semaphores, int count) {
  for (int i = 0; i < count; ++i)
    if (semaphores[i]->count > 0) return i;
  return -1;
}

int waitAnySemaphore(Semaphore* const* semaphores, int count) {
  if (count <= 0) return -1;
  std::unique_lock<std::mutex> guard(semaphoreMutex);
  int taken = firstFree(semaphores, count);
  if (taken < 0) {
    Waiter* waiter = &ownWaiter();
    for (int i = 0; i < count; ++i) semaphores[i]->waiters.push_back(waiter);
    do {
      waiter->signal.wait(guard);
      taken = firstFree(semaphores, count);
    } while (taken < 0);
    for (int i = 0; i < count; ++i) {
      std::vector<Waiter*>& list = semaphores[i]->waiters;
      list.erase(std::find(list.begin(), list.end(), waiter));
    }
  }
  --semaphores[taken]->count;
  return taken;
}

}  // namespace platform
