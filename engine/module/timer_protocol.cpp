// The search timer: the root driver arms the first timer through the hook,
// the host's timer thread calls onTimer when it fires.
//
// The first firing stops the search after a completed iteration; during a
// fail-low it arms the second timer for the extension, whose firing finds
// the extension 0 and stops. Once the driver has cancelled the timers, a
// firing that was already under way is ignored: it neither stops the next
// search nor arms a timer that the cancel has missed.
#include <mutex>

#include "engine/control/control.h"
#include "engine/module/engine_entries.h"
#include "engine/module/hooks.h"

namespace engine {

// Guards `timerArmed` against a firing on the timer thread. Never held
// while the host cancels timers (a cancel waits for a running firing).
static std::mutex timerLock;
static bool timerArmed = false;

void armSearchTimer(int32_t t, int32_t m) {
  if (hostCallbacks.setSearchTimer == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(timerLock);
    timerArmed = t > 0;
    timerExtension.store(timerArmed ? m - t : 0);
  }
  hostCallbacks.setSearchTimer(t);
}

void onTimer(void*, bool) {
  std::lock_guard<std::mutex> guard(timerLock);
  if (!timerArmed) return;
  const int32_t done = iterationDone.load();
  const int32_t extension = timerExtension.exchange(0);
  if (done != 0 || extension <= 0) {
    stopFlag.store(1);
    return;
  }
  // Arming from the timer thread: the host does not wait for itself.
  hostCallbacks.setSearchTimer(-extension);
}

}  // namespace engine
