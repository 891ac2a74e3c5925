#include "platform/clock.h"

#include <errno.h>
#include <time.h>

namespace platform {

uint32_t milliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
  return uint32_t(ms);
}

void sleepMilliseconds(uint32_t ms) {
  timespec wait{};
  wait.tv_sec = time_t(ms / 1000u);
  wait.tv_nsec = long(ms % 1000u) * 1000000L;
  // A signal cuts the sleep short and leaves the rest in `wait`: sleep that
  // again. Any other failure would fail the same way every time.
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
