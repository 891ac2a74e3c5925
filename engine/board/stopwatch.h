// The millisecond clock, the stopwatches and the game's two clocks.
//
// `whiteClock` and `blackClock` time the game: the set-up resets them and
// each played move stops the mover's and starts the other's. They live on
// the worker thread.
#pragma once
#include <cstdint>

namespace engine {

// The clock in milliseconds, kept in 32 bits; differences of two readings
// are taken in 32-bit unsigned arithmetic, so wrap-around is harmless.
int32_t readClockMs();
inline int32_t clockDifference(int32_t later, int32_t earlier) {
  return int32_t(uint32_t(later) - uint32_t(earlier));
}

struct Stopwatch {
  uint8_t running;
  int32_t start;
  int32_t accumulated;
};

void clearStopwatch(Stopwatch* watch);
void startStopwatch(Stopwatch* watch);
// Adds the running time to the accumulated time; returns now, or 0 when
// the watch was not running.
int32_t stopStopwatch(Stopwatch* watch);
// Running time plus accumulated time.
int32_t stopwatchElapsed(const Stopwatch* watch);

extern Stopwatch whiteClock;
extern Stopwatch blackClock;

}  // namespace engine
