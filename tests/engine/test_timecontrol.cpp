// Time allocation of the root driver: the figures each time control yields,
// and the stopwatches that time the game and the search.
#include <gtest/gtest.h>

#include "engine/board/setup.h"
#include "engine/search/timecontrol.h"
#include "platform/clock.h"

using namespace engine;

namespace {

TimeAllocation allocate(int32_t type, int32_t time, int32_t moves, int32_t increment, int32_t extra,
                        int32_t number, int32_t used) {
  TimeControl control = {type, time, moves, increment, extra};
  return computeTimeAllocation(control, number, used);
}

}  // namespace

TEST(TimeControl, MovesToGoUnknownUsesASixthOfTheClock) {
  TimeAllocation a = allocate(TimeLeftMovesToGo, 300, 0, 0, 0, 21, 0);
  EXPECT_EQ(a.timerTime, 50000);
  EXPECT_EQ(a.maxTime, 120000);
  EXPECT_EQ(a.targetTime, 9375);
}

TEST(TimeControl, TenMovesToGoInSixtySeconds) {
  TimeAllocation a = allocate(TimeLeftMovesToGo, 60, 10, 0, 0, 21, 0);
  EXPECT_EQ(a.timerTime, 14400);
  EXPECT_EQ(a.maxTime, 24000);
  EXPECT_EQ(a.targetTime, 5454);
}

TEST(TimeControl, LastMoveToGoSpendsAtMostThreeFifths) {
  // One move to go: the timer fires at 3/5 of the clock and the extension
  // never goes past it.
  TimeAllocation a = allocate(TimeLeftMovesToGo, 10, 1, 0, 0, 40, 0);
  EXPECT_EQ(a.timerTime, 6000);
  EXPECT_EQ(a.maxTime, 6000);
  EXPECT_EQ(a.targetTime, 5000);
}

TEST(TimeControl, MoveTimeInMilliseconds) {
  TimeAllocation a = allocate(TimePerMoveMs, 5000, 0, 0, 0, 21, 0);
  EXPECT_EQ(a.timerTime, 5000);
  EXPECT_EQ(a.maxTime, 5000);
  EXPECT_EQ(a.targetTime, 3750);
  // Nothing or less is one millisecond, so the timer still ends the search.
  for (int32_t ms : {0, -5000}) {
    a = allocate(TimePerMoveMs, ms, 0, 0, 0, 21, 0);
    EXPECT_EQ(a.timerTime, 1);
    EXPECT_EQ(a.maxTime, 1);
    EXPECT_EQ(a.targetTime, 1);
  }
}

TEST(TimeControl, FixedSecondsPerMove) {
  TimeAllocation a = allocate(TimePerMoveSeconds, 60, 0, 0, 0, 21, 0);
  EXPECT_EQ(a.timerTime, 480000);
  EXPECT_EQ(a.maxTime, 480000);
  EXPECT_EQ(a.targetTime, 60000);
}

TEST(TimeControl, FixedDepthAndUnknownTypesArmNoTimer) {
  for (int32_t type : {TimeFixedDepth, 7, -1, 1000}) {
    TimeAllocation a = allocate(type, 8, 0, 0, 0, 21, 0);
    EXPECT_EQ(a.timerTime, 0) << type;
    EXPECT_EQ(a.maxTime, 0) << type;
    EXPECT_EQ(a.targetTime, 1) << type;  // never below 1: the ratio divides by it
  }
}

TEST(TimeControl, WholeGameEarlyAndLate) {
  // 300 s for the game, 10 s used at move 10: m = 290000, o = 288000,
  // r = min(14400, (150000 - 10000) / 22 = 6363).
  TimeAllocation early = allocate(TimeWholeGame, 300, 0, 0, 0, 10, 10000);
  EXPECT_EQ(early.maxTime, (2 * 290000 - 4000) / 5);
  EXPECT_EQ(early.timerTime, 288000 / 6);
  EXPECT_EQ(early.targetTime, 6363);
  // After move 30 the target is a 32nd of what is left after the reserve.
  TimeAllocation late = allocate(TimeWholeGame, 300, 0, 0, 0, 31, 100000);
  EXPECT_EQ(late.timerTime, 198000 / 6);
  EXPECT_EQ(late.targetTime, 198000 / 32);
}

TEST(TimeControl, WholeGameWithIncrement) {
  // 60 s + 2 s per move at move 11 with 30 s used: c = 2000, u = 8000,
  // m = 52000, o = 50000, timer = min(8333 + 8000, 20000), r = min(2500,
  // (30000 - 8000) / 21 = 1047), target = min(16333, 3047).
  TimeAllocation a = allocate(TimeWholeGameIncrement, 60, 2, 0, 0, 11, 30000);
  EXPECT_EQ(a.timerTime, 16333);
  EXPECT_EQ(a.maxTime, 20000);
  EXPECT_EQ(a.targetTime, 3047);
}

TEST(TimeControl, MovesPerPeriod) {
  // 40 moves in 120 s, then 20 moves per 60 s. Move 1: e = 40,
  // f = 120000 - used.
  TimeAllocation first = allocate(TimeMovesPerPeriod, 120, 40, 60, 20, 1, 0);
  EXPECT_EQ(first.timerTime, 120000 * 42 / 200);
  EXPECT_EQ(first.targetTime, 120000 / 41);
  // Move 45: k = 5, one later period added, e = 20 - 4 = 16.
  TimeAllocation later = allocate(TimeMovesPerPeriod, 120, 40, 60, 20, 45, 150000);
  EXPECT_EQ(later.timerTime, 30000 * 18 / 80);
  EXPECT_EQ(later.maxTime, 12000);
  EXPECT_EQ(later.targetTime, 30000 / 17);
  // No later period size: the rest of the game is one period.
  TimeAllocation rest = allocate(TimeMovesPerPeriod, 120, 40, 60, 0, 45, 150000);
  EXPECT_EQ(rest.timerTime, 30000 / 6);
  EXPECT_EQ(rest.targetTime, 30000 / 32);
}

TEST(TimeControl, HugeClocksDoNotOverflow) {
  // 2,000,000 s left with 50 moves to go: f x (e + 2) needs more than 32
  // bits; the result must stay positive and within the clock.
  TimeAllocation a = allocate(TimeLeftMovesToGo, 2000000, 50, 0, 0, 21, 0);
  EXPECT_EQ(a.timerTime, 416000000);  // 2e9 x 52 / 250
  EXPECT_EQ(a.maxTime, 800000000);
  EXPECT_EQ(a.targetTime, 2000000000 / 51);
  TimeAllocation seconds = allocate(TimePerMoveSeconds, 1000000, 0, 0, 0, 21, 0);
  EXPECT_EQ(seconds.timerTime, INT32_MAX);  // 8e9 ms is clamped
  EXPECT_EQ(seconds.targetTime, 1000000000);
}

// A clock with nothing left still arms a timer: without one only the depth
// limit would end the search.
TEST(TimeControl, NoTimeLeftStillArmsATimer) {
  for (TimeAllocation a : {allocate(TimeLeftMovesToGo, 0, 0, 0, 0, 21, 0), allocate(TimeWholeGame, 1, 0, 0, 0, 21, 5000),
                           allocate(TimePerMoveSeconds, 0, 0, 0, 0, 21, 0)}) {
    EXPECT_EQ(a.timerTime, 1);
    EXPECT_EQ(a.maxTime, 1);
    EXPECT_EQ(a.targetTime, 1);
  }
}

// The milliseconds beyond the whole seconds count: 999 ms is not 0 s, and
// 1999 ms is not 1 s.
TEST(TimeControl, MillisecondsOfTheClockCount) {
  TimeAllocation a = allocate(TimeLeftMovesToGo, 0, 0, 0, 999, 21, 0);
  EXPECT_EQ(a.timerTime, 166);
  EXPECT_EQ(a.maxTime, 399);
  EXPECT_EQ(a.targetTime, 31);
  a = allocate(TimeLeftMovesToGo, 1, 10, 0, 999, 21, 0);
  EXPECT_EQ(a.timerTime, 1999 * 12 / 50);
  EXPECT_EQ(a.targetTime, 1999 / 11);
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
