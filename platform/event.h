// Auto-reset event: set wakes one waiter (or lets the next wait through) and
// the event resets itself as that wait returns. The front end's command
// channel is two of these.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

// Defined here so that an event can also be a static object.
struct Event {
  std::mutex mutex;
  std::condition_variable signal;
  bool signalled = false;
};

// A new event, not signalled (it lives as long as the process).
Event* createEvent();

void setEvent(Event* event);

// Waits until the event is set and resets it.
void waitEvent(Event* event);
// The same, giving up after `timeoutMs`: false when the time ran out first.
bool waitEventFor(Event* event, uint32_t timeoutMs);

}  // namespace platform
