// The millisecond clock, the stopwatches and the time allocation of a search.
//
// `whiteClock` and `blackClock` time the game: the set-up resets them and
// each played move stops the mover's and starts the other's. The
// `searchStopwatch` times the current search: cleared at the first search,
// started at every search and never stopped, so its accumulated time stays
// 0 and the elapsed time is "now - start". All live on the worker thread;
// the report hook reads `searchStopwatch` from search threads.
//
// allocateTime turns the time control into three figures: `timerTime` (when
// the first timer fires), `maxTime` (the latest stop, reached through the
// timer's extension) and `targetTime` (the time ratio's base, at least 1).
#pragma once
#include <cstdint>

#include "engine/control/control.h"

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
extern Stopwatch searchStopwatch;

// The three times of a search.
struct TimeAllocation {
  int32_t timerTime;
  int32_t maxTime;
  int32_t targetTime;
};

// The allocation for a time control at a move number, with `used`
// milliseconds on the side to move's game clock. Wide arithmetic throughout,
// results clamped to the 32-bit range.
TimeAllocation computeTimeAllocation(const TimeControl& control, int32_t moveNumberNow, int32_t used);

// Sets `timerTime`, `maxTime` and `targetTime` from `timeControl` and
// `moveNumber`.
void allocateTime(int32_t used);

}  // namespace engine
