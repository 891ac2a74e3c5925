// Monotonic millisecond clock. The engine measures search time as the
// unsigned 32-bit difference of two readings, so wrap-around is harmless.
#pragma once
#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary fixed point; wraps after about 49 days.
uint32_t milliseconds();

// Sleeps the calling thread for the given number of milliseconds.
void sleepMilliseconds(uint32_t ms);

}  // namespace platform
