// A plain lock, held briefly and never nested (the search's `searchLock`).
// A thread that enters a section it already holds would deadlock on itself;
// it is stopped with a message instead.
#pragma once
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {

struct CriticalSection {
  std::mutex mutex;
  // The thread inside, or 0. Only the holder writes it; another thread may
  // read a stale value, which is never its own id.
  std::atomic<pthread_t> owner{0};
};

inline void enterCriticalSection(CriticalSection& section) {
  if (section.owner.load(std::memory_order_relaxed) == pthread_self()) {
    std::fprintf(stderr, "critical section entered twice by one thread\n");
    std::fflush(stderr);
    std::abort();
  }
  section.mutex.lock();
  section.owner.store(pthread_self(), std::memory_order_relaxed);
}

inline void leaveCriticalSection(CriticalSection& section) {
  section.owner.store(0, std::memory_order_relaxed);
  section.mutex.unlock();
}

}  // namespace platform
