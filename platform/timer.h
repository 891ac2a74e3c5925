// One-shot timers whose callbacks run on one timer thread of their own, the
// stand-in for a system timer queue. The front end's search timer arms them
// (target time, extension) and cancels them when a search ends.
//
// A timer fires at most once. Cancelling a timer that has not fired removes
// it; cancelling one whose callback is running waits until the callback has
// returned, except on the timer thread itself (a callback may cancel or arm
// timers without deadlock).
#pragma once
#include <cstdint>

namespace platform {

// The callback gets the context given at arming and a fired flag (always true).
using TimerCallback = void (*)(void* context, bool fired);

// A timer's handle; 0 is never a valid one.
using TimerHandle = uint64_t;

// Arms a timer that calls callback(context, true) once after `ms`
// milliseconds; 0 when the timer thread cannot be started.
TimerHandle armTimer(uint32_t ms, TimerCallback callback, void* context);

// Deletes the timer (armed, fired or already deleted; 0 does nothing) and
// waits for its running callback unless called from the timer thread.
void cancelTimer(TimerHandle handle);

}  // namespace platform
