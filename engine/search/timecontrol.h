// The search's stopwatch and the time allocation of a search.
//
// The `searchStopwatch` times the current search: cleared at the first search,
// started at every search and never stopped, so its accumulated time stays
// 0 and the elapsed time is "now - start". It lives on the worker thread;
// the report hook reads `searchStopwatch` from search threads.
//
// allocateTime turns the time control into three figures: `timerTime` (when
// the first timer fires), `maxTime` (the latest stop, reached through the
// timer's extension) and `targetTime` (the time ratio's base, at least 1).
#pragma once
#include <cstdint>

#include "engine/board/stopwatch.h"
#include "engine/control/control.h"

namespace engine {

extern Stopwatch searchStopwatch;

// Times of the current search in milliseconds, set by allocateTime.
extern int32_t timerTime;
extern int32_t maxTime;
extern int32_t targetTime;

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
