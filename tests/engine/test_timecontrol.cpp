// Time allocation of the root driver: the figures each time control yields,
// and the stopwatches that time the game and the search.
#include <gtest/gtest.h>

#include "engine/board/setup.h"
#include "engine/search/timecontrol.h"
#include "platform/clock.h"

using namespace engine;

namespace {

// One worked example: a time control, the move number and the milliseconds
// used, and the three figures the allocation rule gives for them.
struct Example {
  const char* what;
  TimeControl control;
  int32_t number, used;
  int32_t timer, maximum, target;
};

// For the period forms f is the time left in the period and e the moves left
// in it: timer = f(e + 2)/5e, maximum = max(timer, 2f/5), target =
// min(timer, f/(e + 1)); with e unknown, timer = f/6 and target = f/32.
const Example Examples[] = {
    {"moves to go unknown: a sixth of the clock", {TimeLeftMovesToGo, 300, 0, 0, 0}, 21, 0, 50000, 120000, 9375},
    {"ten moves to go in 60 s", {TimeLeftMovesToGo, 60, 10, 0, 0}, 21, 0, 14400, 24000, 5454},
    // One move to go: the timer fires at 3/5 of the clock and the extension
    // never goes past it.
    {"last move to go", {TimeLeftMovesToGo, 10, 1, 0, 0}, 40, 0, 6000, 6000, 5000},
    {"move time in ms", {TimePerMoveMs, 5000, 0, 0, 0}, 21, 0, 5000, 5000, 3750},
    // A move time of nothing or less is one millisecond, so the timer still
    // ends the search.
    {"move time 0 ms", {TimePerMoveMs, 0, 0, 0, 0}, 21, 0, 1, 1, 1},
    {"move time -5000 ms", {TimePerMoveMs, -5000, 0, 0, 0}, 21, 0, 1, 1, 1},
    {"fixed seconds per move", {TimePerMoveSeconds, 60, 0, 0, 0}, 21, 0, 480000, 480000, 60000},
    // No timer; the target never drops below 1 because the ratio divides by it.
    {"fixed depth", {TimeFixedDepth, 8, 0, 0, 0}, 21, 0, 0, 0, 1},
    {"unknown type 7", {7, 8, 0, 0, 0}, 21, 0, 0, 0, 1},
    {"unknown type -1", {-1, 8, 0, 0, 0}, 21, 0, 0, 0, 1},
    {"unknown type 1000", {1000, 8, 0, 0, 0}, 21, 0, 0, 0, 1},
    // 300 s for the game, 10 s used at move 10: m = 290000, o = 288000,
    // r = min(14400, (150000 - 10000) / 22 = 6363).
    {"whole game early", {TimeWholeGame, 300, 0, 0, 0}, 10, 10000, 288000 / 6, (2 * 290000 - 4000) / 5, 6363},
    // After move 30 the target is a 32nd of what is left after the reserve:
    // m = 200000, o = 198000.
    {"whole game late", {TimeWholeGame, 300, 0, 0, 0}, 31, 100000, 198000 / 6, (2 * 200000 - 4000) / 5, 198000 / 32},
    // 60 s + 2 s per move at move 11 with 30 s used: c = 2000, u = 8000,
    // m = 52000, o = 50000, timer = min(8333 + 8000, 20000), r = min(2500,
    // (30000 - 8000) / 21 = 1047), target = min(16333, 3047).
    {"whole game with increment", {TimeWholeGameIncrement, 60, 2, 0, 0}, 11, 30000, 16333, 20000, 3047},
    // 40 moves in 120 s, then 20 moves per 60 s. Move 1: e = 40, f = 120000.
    {"first period", {TimeMovesPerPeriod, 120, 40, 60, 20}, 1, 0, 120000 * 42 / 200, 2 * 120000 / 5, 120000 / 41},
    // Move 45: k = 5, one later period added, e = 20 - 4 = 16, f = 30000.
    {"later period", {TimeMovesPerPeriod, 120, 40, 60, 20}, 45, 150000, 30000 * 18 / 80, 12000, 30000 / 17},
    // No later period size: the rest of the game is one period.
    {"rest of the game as one period", {TimeMovesPerPeriod, 120, 40, 60, 0}, 45, 150000, 30000 / 6, 12000, 30000 / 32},
    // 2,000,000 s left with 50 moves to go: f x (e + 2) needs more than 32
    // bits; the result must stay positive and within the clock.
    {"huge clock", {TimeLeftMovesToGo, 2000000, 50, 0, 0}, 21, 0, 416000000, 800000000, 2000000000 / 51},
    // 8e9 ms is clamped to the 32-bit range.
    {"huge seconds per move", {TimePerMoveSeconds, 1000000, 0, 0, 0}, 21, 0, INT32_MAX, INT32_MAX, 1000000000},
    // A clock with nothing left still arms a timer: without one only the
    // depth limit would end the search.
    {"no time left, moves to go", {TimeLeftMovesToGo, 0, 0, 0, 0}, 21, 0, 1, 1, 1},
    {"no time left, whole game", {TimeWholeGame, 1, 0, 0, 0}, 21, 5000, 1, 1, 1},
    {"no time left, seconds per move", {TimePerMoveSeconds, 0, 0, 0, 0}, 21, 0, 1, 1, 1},
    // The milliseconds beyond the whole seconds count: 999 ms is not 0 s, and
    // 1999 ms is not 1 s.
    {"999 ms on the clock", {TimeLeftMovesToGo, 0, 0, 0, 999}, 21, 0, 166, 399, 31},
    {"1999 ms, ten to go", {TimeLeftMovesToGo, 1, 10, 0, 999}, 21, 0, 1999 * 12 / 50, 2 * 1999 / 5, 1999 / 11},
};

}  // namespace

TEST(TimeControl, WorkedExamples) {
  for (const Example& e : Examples) {
    TimeAllocation a = computeTimeAllocation(e.control, e.number, e.used);
    EXPECT_EQ(a.timerTime, e.timer) << e.what;
    EXPECT_EQ(a.maxTime, e.maximum) << e.what;
    EXPECT_EQ(a.targetTime, e.target) << e.what;
  }
}

TEST(TimeControl, AllocateTimeUsesTheGlobalControlAndMoveNumber) {
  timeControl = {TimeLeftMovesToGo, 60, 10, 0, 0};
  moveNumber = 21;
  allocateTime(0);
  EXPECT_EQ(timerTime, 14400);
  EXPECT_EQ(maxTime, 24000);
  EXPECT_EQ(targetTime, 5454);
}

TEST(Stopwatch, AccumulatesOnlyWhileRunning) {
  Stopwatch watch;
  clearStopwatch(&watch);
  EXPECT_EQ(stopStopwatch(&watch), 0);  // not running
  EXPECT_EQ(watch.accumulated, 0);
  startStopwatch(&watch);
  platform::sleepMilliseconds(30);
  EXPECT_NE(stopStopwatch(&watch), 0);
  int32_t first = watch.accumulated;
  EXPECT_GE(first, 25);
  EXPECT_LT(first, 1000);
  platform::sleepMilliseconds(30);  // stopped: nothing added
  EXPECT_EQ(stopwatchElapsed(&watch), first);
  startStopwatch(&watch);
  platform::sleepMilliseconds(20);
  EXPECT_GE(stopwatchElapsed(&watch), first + 15);
  clearStopwatch(&watch);
  EXPECT_EQ(stopwatchElapsed(&watch), 0);
}

TEST(Stopwatch, DifferencesSurviveClockWrap) {
  EXPECT_EQ(clockDifference(int32_t(5), int32_t(-5)), 10);
  EXPECT_EQ(clockDifference(INT32_MIN + 4, INT32_MAX - 5), 10);
}
