// Time allocation of the root driver, judged by what it does to a clock:
// a game played on each kind of clock, with a GUI's lag charged on every
// reply, never runs the clock out, even when every move takes the longest
// time the allocation allows; more time left never gives less time to
// think; a fixed move time is never overrun. And the stopwatches that time
// the game and the search.
#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "engine/search/timecontrol.h"
#include "platform/clock.h"

using namespace engine;

namespace {

// What a GUI charges each reply beyond the engine's own time (the figure a
// GUI driven over pipes with an adapter between shows, and a referee's).
constexpr int64_t GuiLagMs = 50;
constexpr int32_t GameMoves = 120;

// How long a move is taken to last: the target (a usual move), the first
// timer (a move whose last iteration ran long) or the maximum (a fail low
// that the extension let run to its end).
enum class Spend { Target, Timer, Maximum };

int64_t spentMs(const TimeAllocation& a, Spend how) {
  return how == Spend::Target ? a.targetTime : how == Spend::Timer ? a.timerTime : a.maxTime;
}

const char* spendName(Spend how) {
  return how == Spend::Target ? "target" : how == Spend::Timer ? "timer" : "maximum";
}

// A clock as "go" gives it: whole seconds and the milliseconds past them,
// the increment in milliseconds.
TimeControl clockControl(int64_t leftMs, int32_t movesToGo, int32_t incrementMs = 0) {
  return {TimeLeftMovesToGo, int32_t(leftMs / 1000), movesToGo, incrementMs, int32_t(leftMs % 1000)};
}

// One side's game of GameMoves moves. `control` gives the time control and
// the milliseconds used so far (the game clock's reading) for a move
// number and the time the side has used; `left` the clock the GUI shows
// after that much use. Each move lasts what `how` says plus the lag. The
// least clock left over the game; a failure names the move that ran out.
int64_t leastClockLeft(const std::function<TimeControl(int32_t number, int64_t used)>& control,
                       const std::function<int64_t(int32_t number, int64_t used)>& left, Spend how,
                       const char* what) {
  int64_t used = 0;
  int64_t least = INT64_MAX;
  for (int32_t number = 1; number <= GameMoves; ++number) {
    TimeAllocation a = computeTimeAllocation(control(number, used), number, int32_t(used));
    used += spentMs(a, how) + GuiLagMs;
    least = std::min(least, left(number, used));
    if (least <= 0) {
      ADD_FAILURE() << what << ", every move lasting its " << spendName(how) << ": the clock ran out at move "
                    << number;
      break;
    }
  }
  return least;
}

constexpr Spend EverySpend[] = {Spend::Target, Spend::Timer, Spend::Maximum};

}  // namespace

// A game of 120 moves a side with 50 ms of lag a move, on every kind of
// clock: sudden death as "go" gives it (the lag alone costs 6 s of 10 over
// the game; a plan that spends a share of the whole clock each move leaves
// nothing for it and loses on time), the engine's own whole-game clocks
// (the game clock counts what the side used, the lag included), an
// increment smaller than a second (which "go" passes as none), and
// moves-to-go clocks that a GUI refills.
TEST(TimeControl, EveryClockKindSurvivesALongGameUnderTheGuiLag) {
  struct Clock {
    const char* what;
    std::function<TimeControl(int32_t number, int64_t used)> control;
    std::function<int64_t(int32_t number, int64_t used)> left;
  };
  const Clock clocks[] = {
      {"10 s sudden death", [](int32_t, int64_t used) { return clockControl(10000 - used, 0); },
       [](int32_t, int64_t used) { return 10000 - used; }},
      // A minute, with the lag of xboard and polyglot.
      {"60 s sudden death", [](int32_t, int64_t used) { return clockControl(60000 - used, 0); },
       [](int32_t, int64_t used) { return 60000 - used; }},
      {"whole game of 10 s", [](int32_t, int64_t) { return TimeControl{TimeWholeGame, 10, 0, 0, 0}; },
       [](int32_t, int64_t used) { return 10000 - used; }},
      // The increment is added once per move played.
      {"whole game of 10 s + 1 s", [](int32_t, int64_t) { return TimeControl{TimeWholeGameIncrement, 10, 1, 0, 0}; },
       [](int32_t number, int64_t used) { return 10000 + (number - 1) * 1000 - used; }},
      {"40 moves in 20 s, then 20 in 10 s",
       [](int32_t, int64_t) { return TimeControl{TimeMovesPerPeriod, 20, 40, 10, 20}; },
       [](int32_t number, int64_t used) {
         int64_t periods = number <= 40 ? 0 : (number - 40 + 19) / 20;
         return 20000 + periods * 10000 - used;
       }},
      // An increment under a second pays the lag.
      {"5 s + 100 ms",
       [](int32_t number, int64_t used) { return clockControl(5000 + (number - 1) * 100 - used, 0, 100); },
       [](int32_t number, int64_t used) { return 5000 + (number - 1) * 100 - used; }},
      // "movestogo" counts down to the control, where the clock gets 5 s more.
      {"20 moves in 5 s, repeated",
       [](int32_t number, int64_t used) {
         int32_t period = (number - 1) / 20;
         return clockControl(5000 * (period + 1) - used, 20 - (number - 1) % 20);
       },
       [](int32_t number, int64_t used) { return 5000 * ((number - 1) / 20 + 1) - used; }},
  };
  for (Spend how : EverySpend)
    for (const Clock& clock : clocks) leastClockLeft(clock.control, clock.left, how, clock.what);
}

TEST(TimeControl, MoreTimeLeftNeverGivesLessTimeToThink) {
  // For each kind of clock, the allocation at a growing amount of time.
  struct Kind {
    const char* what;
    std::function<TimeAllocation(int64_t ms)> at;
  };
  const Kind kinds[] = {
      {"no moves to go", [](int64_t ms) { return computeTimeAllocation(clockControl(ms, 0), 40, 0); }},
      {"one move to go", [](int64_t ms) { return computeTimeAllocation(clockControl(ms, 1), 40, 0); }},
      {"30 moves to go", [](int64_t ms) { return computeTimeAllocation(clockControl(ms, 30), 40, 0); }},
      {"increment of 2 s", [](int64_t ms) { return computeTimeAllocation(clockControl(ms, 0, 2000), 40, 0); }},
      {"move time", [](int64_t ms) { return computeTimeAllocation({TimePerMoveMs, int32_t(ms), 0, 0, 0}, 40, 0); }},
      {"seconds per move",
       [](int64_t ms) { return computeTimeAllocation({TimePerMoveSeconds, int32_t(ms / 1000), 0, 0, 0}, 40, 0); }},
      // The whole-game forms: less used of the same game is more time left.
      {"whole game, early",
       [](int64_t ms) { return computeTimeAllocation({TimeWholeGame, 400, 0, 0, 0}, 10, int32_t(400000 - ms)); }},
      {"whole game, late",
       [](int64_t ms) { return computeTimeAllocation({TimeWholeGame, 400, 0, 0, 0}, 50, int32_t(400000 - ms)); }},
      {"whole game + 2 s",
       [](int64_t ms) {
         return computeTimeAllocation({TimeWholeGameIncrement, 400, 2, 0, 0}, 50, int32_t(400000 + 100000 - ms));
       }},
      {"moves per period",
       [](int64_t ms) {
         return computeTimeAllocation({TimeMovesPerPeriod, 400, 40, 100, 20}, 30, int32_t(400000 - ms));
       }},
  };
  for (const Kind& kind : kinds) {
    TimeAllocation before = kind.at(0);
    for (int64_t ms = 0; ms <= 400000; ms += ms < 20000 ? 7 : 997) {
      TimeAllocation a = kind.at(ms);
      ASSERT_GE(a.timerTime, before.timerTime) << kind.what << " at " << ms << " ms";
      ASSERT_GE(a.maxTime, before.maxTime) << kind.what << " at " << ms << " ms";
      ASSERT_GE(a.targetTime, before.targetTime) << kind.what << " at " << ms << " ms";
      ASSERT_LE(a.targetTime, std::max(a.timerTime, 1)) << kind.what << " at " << ms << " ms";
      ASSERT_LE(a.timerTime, a.maxTime) << kind.what << " at " << ms << " ms";
      before = a;
    }
  }
}

// An increment that pays each move's lag leaves nothing to keep back: a
// clock of a few seconds that, without one, must keep all it has for the
// lag of the coming moves is spent with one.
TEST(TimeControl, AnIncrementPaysTheLag) {
  for (int64_t ms : {1000, 3000, 6000}) {
    const int32_t without = computeTimeAllocation(clockControl(ms, 0), 40, 0).targetTime;
    const int32_t with = computeTimeAllocation(clockControl(ms, 0, 1000), 40, 0).targetTime;
    EXPECT_LE(without, ms / 100) << ms;  // a move played at once
    EXPECT_GE(with, ms / 50) << ms;
  }
}

TEST(TimeControl, MoreMovesToGoNeverGiveMoreTimeForThisOne) {
  for (int64_t ms : {800, 5000, 60000, 900000}) {
    int32_t before = INT32_MAX;
    for (int32_t moves = 1; moves <= 80; ++moves) {
      int32_t target = computeTimeAllocation(clockControl(ms, moves), 40, 0).targetTime;
      EXPECT_LE(target, before) << ms << " ms, " << moves << " to go";
      before = target;
    }
  }
}

// A fixed move time is the GUI's deadline: the timer fires before it, with
// room for the lag, yet the search still has most of it.
TEST(TimeControl, MoveTimeIsNeverOverrun) {
  for (int32_t ms : {1, 2, 3, 20, 45, 100, 1000, 5000, 100000}) {
    TimeAllocation a = computeTimeAllocation({TimePerMoveMs, ms, 0, 0, 0}, 40, 0);
    EXPECT_LE(a.timerTime, ms) << ms;
    EXPECT_EQ(a.maxTime, a.timerTime) << ms;  // no extension past it
    EXPECT_GE(a.timerTime, std::max(ms / 2, 1)) << ms;
    if (ms >= 20) {
      EXPECT_LT(a.timerTime, ms) << ms;
    }
  }
  // Nothing or less is the shortest search the timer can end.
  for (int32_t ms : {0, -5000}) {
    TimeAllocation a = computeTimeAllocation({TimePerMoveMs, ms, 0, 0, 0}, 40, 0);
    EXPECT_EQ(a.timerTime, 1);
    EXPECT_EQ(a.targetTime, 1);
  }
}

TEST(TimeControl, FixedDepthAndUnknownTypesArmNoTimer) {
  for (int32_t type : {TimeFixedDepth, 7, -1, 1000}) {
    TimeAllocation a = computeTimeAllocation({type, 8, 0, 0, 0}, 21, 0);
    EXPECT_EQ(a.timerTime, 0) << type;
    EXPECT_EQ(a.maxTime, 0) << type;
    // The time ratio divides by the target.
    EXPECT_EQ(a.targetTime, 1) << type;
  }
}

// Clocks with nothing left still arm a timer (without one only the depth
// limit would end the search), and huge clocks overflow nothing: every
// time stays positive and within the clock.
TEST(TimeControl, EmptyAndHugeClocks) {
  const TimeControl empty[] = {clockControl(0, 0), clockControl(0, 5), {TimeWholeGame, 1, 0, 0, 0},
                               {TimePerMoveSeconds, 0, 0, 0, 0}, {TimeMovesPerPeriod, 1, 40, 1, 20}};
  for (const TimeControl& control : empty) {
    TimeAllocation a = computeTimeAllocation(control, 21, 5000);
    EXPECT_EQ(a.timerTime, 1) << control.type;
    EXPECT_GE(a.maxTime, 1) << control.type;
    EXPECT_EQ(a.targetTime, 1) << control.type;
  }
  struct Huge {
    TimeControl control;
    int64_t clockMs;
  };
  const Huge huge[] = {{clockControl(2000000000LL, 50), 2000000000LL},
                       {clockControl(2000000000LL, 0), 2000000000LL},
                       {{TimeWholeGame, 2000000, 0, 0, 0}, 2000000000LL},
                       {{TimePerMoveMs, INT32_MAX, 0, 0, 0}, INT32_MAX}};
  for (const Huge& h : huge) {
    TimeAllocation a = computeTimeAllocation(h.control, 21, 0);
    EXPECT_GT(a.targetTime, 1) << h.control.type;
    EXPECT_LE(a.targetTime, a.timerTime) << h.control.type;
    EXPECT_LE(a.timerTime, a.maxTime) << h.control.type;
    EXPECT_LE(a.maxTime, h.clockMs) << h.control.type;
  }
  // Eight times a huge move time is clamped, never wrapped.
  TimeAllocation a = computeTimeAllocation({TimePerMoveSeconds, 1000000, 0, 0, 0}, 21, 0);
  EXPECT_EQ(a.timerTime, INT32_MAX);
  EXPECT_GT(a.targetTime, 0);
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
