#include "platform/semaphore.h"

#include <condition_variable>
#include <mutex>

namespace platform {

// All semaphores share one lock and one condition, so a thread can wait for
// any of several at once. Hand-offs are rare next to the search's own work,
// so the shared wake-up costs nothing that shows. Both are never destroyed:
// helper threads live until the process ends and may still be signalling
// while static destructors run.
static std::mutex& semaphoreMutex = *new std::mutex;
static std::condition_variable& semaphoreSignal = *new std::condition_variable;

struct Semaphore {
  int32_t count;
  int32_t maximum;
};

Semaphore* createSemaphore(int32_t initial, int32_t maximum) {
  if (maximum <= 0 || initial < 0 || initial > maximum) return nullptr;
  return new Semaphore{initial, maximum};
}

void closeSemaphore(Semaphore* semaphore) {
  std::lock_guard<std::mutex> guard(semaphoreMutex);
  delete semaphore;
}

bool releaseSemaphore(Semaphore* semaphore) {
  {
    std::lock_guard<std::mutex> guard(semaphoreMutex);
    if (semaphore->count >= semaphore->maximum) return false;
    ++semaphore->count;
  }
  semaphoreSignal.notify_all();
  return true;
}

void waitSemaphore(Semaphore* semaphore) {
  std::unique_lock<std::mutex> guard(semaphoreMutex);
  semaphoreSignal.wait(guard, [semaphore] { return semaphore->count > 0; });
  --semaphore->count;
}

bool tryWaitSemaphore(Semaphore* semaphore) {
  std::lock_guard<std::mutex> guard(semaphoreMutex);
  if (semaphore->count == 0) return false;
  --semaphore->count;
  return true;
}

int waitAnySemaphore(Semaphore* const* semaphores, int count) {
  if (count <= 0) return -1;
  std::unique_lock<std::mutex> guard(semaphoreMutex);
  int taken = -1;
  semaphoreSignal.wait(guard, [&] {
    for (int i = 0; i < count; ++i) {
      if (semaphores[i]->count > 0) {
        taken = i;
        return true;
      }
    }
    return false;
  });
  --semaphores[taken]->count;
  return taken;
}

}  // namespace platform
