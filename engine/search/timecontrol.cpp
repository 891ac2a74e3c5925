#include "engine/search/timecontrol.h"

#include <algorithm>
#include <climits>

#include "engine/board/setup.h"

namespace engine {

Stopwatch searchStopwatch = {0, 0, 0};

int32_t timerTime = 0;
int32_t maxTime = 0;
int32_t targetTime = 1;

namespace {

// Every reply costs the side to move more than the engine's own time: the
// pipes, the GUI's handling of the move and any adapter between them
// (xboard with polyglot charges 75-110 ms a move). The engine cannot see
// that lag, so each plan budgets a fixed amount of it per move: fixed, as
// a share of the clock would vanish on exactly the short clocks where the
// lag decides the game.
constexpr int64_t MoveOverheadMs = 50;
// A move played at once still takes a few milliseconds of the engine's own;
// the reserve pays for them, and such a move gets them all (a search of
// several plies rather than its first iteration alone).
constexpr int64_t ImmediateReplyMs = 5;
// Without a next time control, the clock keeps back the lag of this many
// moves still to come. Spending is a share of the time above that reserve,
// so the engine's own thinking never reaches into it; below it each move
// is played at once, and the reserve pays the lag of a long game's last
// moves (a 10-second game at 50 ms a move lasts 150 moves past the point
// where its thinking stopped).
constexpr int64_t LagHorizonMoves = 150;
// Whole-game controls keep at least this much back as well.
constexpr int64_t WholeGameReserveMs = 2000;
// The share of the time above the reserve that a clock without moves to go
// aims at (a 32nd) and may reach at the timer (a sixth) or, after a fail
// low, at most (two fifths).
constexpr int64_t SuddenDeathTargetShare = 32;
constexpr int64_t SuddenDeathTimerShare = 6;
constexpr int64_t MillisecondsPerSecond = 1000;

int32_t clampToInt32(int64_t value) { return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

// The time kept back for the moves to come, each played at once and
// charged its lag: every move up to the next control (`movesToControl`),
// or the horizon when there is no next control (0 or less). An increment
// pays each move's share itself.
int64_t lagReserve(int64_t movesToControl, int64_t incrementMs) {
  const int64_t perMove = MoveOverheadMs + ImmediateReplyMs;
  const int64_t unpaid = std::max<int64_t>(perMove - std::max<int64_t>(incrementMs, 0), 0);
  const int64_t moves = movesToControl > 0 ? std::min(movesToControl, LagHorizonMoves) : LagHorizonMoves;
  return moves * unpaid;
}

// The least a move on a clock gets: a move played at once, never more
// than a quarter of what the clock shows.
TimeAllocation atLeastImmediate(TimeAllocation a, int64_t timeLeftMs) {
  const int32_t least = clampToInt32(std::clamp<int64_t>(timeLeftMs / 4, 1, ImmediateReplyMs));
  a.timerTime = std::max(a.timerTime, least);
  a.maxTime = std::max(a.maxTime, a.timerTime);
  a.targetTime = std::max(a.targetTime, least);
  return a;
}

// A fixed time per move: the reply is due when it ends, so the lag comes
// off it (at most half of it, so that a very short move time still searches).
int64_t fixedMoveTime(int64_t ms) { return ms - std::min(MoveOverheadMs, ms / 2); }

TimeAllocation fixedSeconds(int64_t seconds) {
  // The timer is a backstop at eight times the move time; the target ends
  // the search.
  const int64_t timer = seconds * 8 * MillisecondsPerSecond - MoveOverheadMs;
  return {clampToInt32(timer), clampToInt32(timer), clampToInt32(seconds * MillisecondsPerSecond - MoveOverheadMs)};
}

TimeAllocation fixedMilliseconds(int64_t ms) {
  // A move time of nothing or less would arm no timer and search to the
  // depth limit: it is read as one millisecond.
  const int64_t time = fixedMoveTime(std::max<int64_t>(ms, 1));
  return {clampToInt32(time), clampToInt32(time), clampToInt32(3 * time / 4)};
}

// Whole game, with or without an increment (`incrementMs` 0).
TimeAllocation wholeGame(int64_t seconds, int64_t incrementMs, int64_t number, int64_t used) {
  // The increment pays for each move's lag first; the rest is the move's.
  const int64_t usable = std::max<int64_t>(incrementMs - MoveOverheadMs, 0);
  const int64_t u = used - number * incrementMs;
  const int64_t m = seconds * MillisecondsPerSecond - u;  // the time left
  const int64_t o = m - std::max(WholeGameReserveMs, lagReserve(0, incrementMs));
  // The move number is at most 30 in the second form, so the divisor is
  // at least 2.
  const int64_t r = number > 30 ? o / 32 : std::min(o / 20, (seconds * 500 - u) / (32 - number));
  const int64_t maximum = 2 * o / 5;
  const int64_t timer = std::min(o / 6 + 4 * usable, maximum);
  return atLeastImmediate({clampToInt32(timer), clampToInt32(maximum), clampToInt32(std::min(timer, r + usable))}, m);
}

// The rule of the period forms: f the time left in the period, e the moves
// left in it (0: unknown), each above the reserve for the lag to come.
TimeAllocation periodRule(int64_t timeLeft, int64_t e, int64_t incrementMs) {
  const int64_t f = std::max<int64_t>(timeLeft - lagReserve(e, incrementMs), 0);
  int64_t timer, c;
  if (e > 0) {
    timer = f * (e + 2) / (5 * e);
    c = f / (e + 1);
  } else {
    timer = f / SuddenDeathTimerShare;
    c = f / SuddenDeathTargetShare;
  }
  return atLeastImmediate(
      {clampToInt32(timer), clampToInt32(std::max(timer, 2 * f / 5)), clampToInt32(std::min(timer, c))}, timeLeft);
}

// Moves per period: the period's time and the moves left in it.
TimeAllocation movesPerPeriod(const TimeControl& control, int64_t number, int64_t used) {
  const int64_t time = control.time, moves = control.moves, increment = control.increment, extra = control.extra;
  int64_t period, e;
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
  return periodRule(period * MillisecondsPerSecond - used, e, 0);
}

}  // namespace

TimeAllocation computeTimeAllocation(const TimeControl& control, int32_t moveNumberNow, int32_t used) {
  TimeAllocation allocation = {0, 0, 0};
  switch (control.type) {
    case TimePerMoveSeconds:
      allocation = fixedSeconds(control.time);
      break;
    case TimePerMoveMs:
      allocation = fixedMilliseconds(control.time);
      break;
    case TimeWholeGame:
      allocation = wholeGame(control.time, 0, moveNumberNow, used);
      break;
    case TimeWholeGameIncrement:
      allocation = wholeGame(control.time, int64_t(control.moves) * MillisecondsPerSecond, moveNumberNow, used);
      break;
    case TimeMovesPerPeriod:
      allocation = movesPerPeriod(control, moveNumberNow, used);
      break;
    case TimeLeftMovesToGo:
      // The extra word carries the milliseconds past the whole seconds, so
      // a clock under a second or two is planned with what it really shows;
      // the increment (in milliseconds) only pays the lag.
      allocation = periodRule(std::max<int64_t>(int64_t(control.time) * MillisecondsPerSecond + control.extra, 0),
                              control.moves, control.increment);
      break;
    default:  // fixed depth and unknown types: no timer
      break;
  }
  // A timed search always arms its timer, however little time is left:
  // without one only the depth limit would end it.
  if (control.type >= TimePerMoveSeconds && control.type <= TimeLeftMovesToGo) {
    allocation.timerTime = std::max(allocation.timerTime, 1);
    allocation.maxTime = std::max(allocation.maxTime, allocation.timerTime);
  }
  allocation.targetTime = std::max(allocation.targetTime, 1);
  return allocation;
}

void allocateTime(int32_t used) {
  TimeAllocation allocation = computeTimeAllocation(timeControl, moveNumber, used);
  timerTime = allocation.timerTime;
  maxTime = allocation.maxTime;
  targetTime = allocation.targetTime;
}

}  // namespace engine
