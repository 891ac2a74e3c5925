#include "engine/board/stopwatch.h"

#include "platform/clock.h"

namespace engine {

Stopwatch whiteClock = {0, 0, 0};
Stopwatch blackClock = {0, 0, 0};

int32_t readClockMs() { return int32_t(platform::milliseconds()); }

void clearStopwatch(Stopwatch* watch) {
  watch->running = 0;
  watch->accumulated = 0;
}

void startStopwatch(Stopwatch* watch) {
  watch->start = readClockMs();
  watch->running = 1;
}

int32_t stopStopwatch(Stopwatch* watch) {
  if (!watch->running) return 0;
  int32_t now = readClockMs();
  watch->accumulated += clockDifference(now, watch->start);
  watch->start = now;
  watch->running = 0;
  return now;
}

int32_t stopwatchElapsed(const Stopwatch* watch) {
  int32_t running = watch->running ? clockDifference(readClockMs(), watch->start) : 0;
  return running + watch->accumulated;
}

}  // namespace engine
