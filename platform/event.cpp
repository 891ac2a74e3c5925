#include "platform/event.h"

#include <chrono>

namespace platform {

Event* createEvent() { return new Event; }

void setEvent(Event* event) {
  {
    std::lock_guard<std::mutex> guard(event->mutex);
    event->signalled = true;
  }
  event->signal.notify_one();
}

void waitEvent(Event* event) {
  std::unique_lock<std::mutex> guard(event->mutex);
  event->signal.wait(guard, [event] { return event->signalled; });
  event->signalled = false;
}

bool waitEventFor(Event* event, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(event->mutex);
  if (!event->signal.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [event] { return event->signalled; }))
    return false;
  event->signalled = false;
  return true;
}

}  // namespace platform
