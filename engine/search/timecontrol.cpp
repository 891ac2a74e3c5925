#include "engine/search/timecontrol.h"

#include <algorithm>
#include <climits>

#include "engine/board/setup.h"

namespace engine {

Stopwatch searchStopwatch = {0, 0, 0};

// Time kept back in whole-game controls, and the share of the clock that a
// moves-to-go control may spend at most (two fifths).
constexpr int64_t ReserveMs = 2000;

static int32_t clampToInt32(int64_t value) {
  return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

TimeAllocation computeTimeAllocation(const TimeControl& control, int32_t moveNumberNow, int32_t used) {
  const int64_t time = control.time;
  const int64_t moves = control.moves;
  const int64_t number = moveNumberNow;
  int64_t timer = 0, maximum = 0, target = 0;
  // f: the time left in the current period, e: the moves left in it.
  int64_t f = 0, e = 0;
  bool periodRule = false;

  switch (control.type) {
    case TimePerMoveSeconds:
      timer = maximum = time * 8000;
      target = time * 1000;
      break;
    case TimePerMoveMs: {
      // A move time of nothing or less would arm no timer and search to
      // the depth limit: it is read as one millisecond.
      const int64_t ms = std::max<int64_t>(time, 1);
      timer = maximum = ms;
      target = 3 * ms / 4;
      break;
    }
    case TimeWholeGame:
    case TimeWholeGameIncrement: {
      const int64_t c = control.type == TimeWholeGameIncrement ? moves * 1000 : 0;
      const int64_t u = used - number * c;
      const int64_t m = time * 1000 - u;
      const int64_t o = m - ReserveMs;
      // The move number is at most 30 in the second form, so the divisor is
      // at least 2.
      const int64_t r = number > 30 ? o / 32 : std::min(o / 20, (time * 500 - u) / (32 - number));
      maximum = (2 * m - 2 * ReserveMs) / 5;
      timer = std::min(o / 6 + (c > 0 ? 4 * c : 0), maximum);
      target = std::min(timer, r + c);
      break;
    }
    case TimeMovesPerPeriod: {
      const int64_t increment = control.increment;
      const int64_t extra = control.extra;
      int64_t period;
      if (moves == 0) {
        period = time;
        e = 0;
      } else if (number <= moves) {
        period = time;
        e = moves - number + 1;
      } else if (extra <= 0) {
        period = time + increment;
        e = 0;
      } else {
        const int64_t k = number - moves;
        period = time + ((k + extra - 1) / extra) * increment;
        e = extra - (k - 1) % extra;
      }
      f = period * 1000 - used;
      periodRule = true;
      break;
    }
    case TimeLeftMovesToGo:
      // The extra word carries the milliseconds past the whole seconds, so
      // a clock under a second or two is planned with what it really shows.
      f = std::max<int64_t>(time * 1000 + control.extra, 0);
      e = moves;
      periodRule = true;
      break;
    default:  // fixed depth and unknown types: no timer
      break;
  }

  if (periodRule) {
    int64_t c;
    if (e > 0) {
      timer = f * (e + 2) / (5 * e);
      c = f / (e + 1);
    } else {
      timer = f / 6;
      c = f / 32;
    }
    maximum = std::max(timer, 2 * f / 5);
    target = std::min(timer, c);
  }
  // A timed search always arms its timer, however little time is left:
  // without one only the depth limit would end it.
  if (control.type >= TimePerMoveSeconds && control.type <= TimeLeftMovesToGo) {
    timer = std::max<int64_t>(timer, 1);
    maximum = std::max(maximum, timer);
  }
  return {clampToInt32(timer), clampToInt32(maximum), clampToInt32(std::max<int64_t>(target, 1))};
}

void allocateTime(int32_t used) {
  TimeAllocation allocation = computeTimeAllocation(timeControl, moveNumber, used);
  timerTime = allocation.timerTime;
  maxTime = allocation.maxTime;
  targetTime = allocation.targetTime;
}

}  // namespace engine
