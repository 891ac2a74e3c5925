// The engine module driven through its entries by a test host, as the front
// end drives it: parameters, positions and moves, searches that must play
// legal moves, the time controls, stop and ponderhit.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "engine/search/timecontrol.h"
#include "helpers/module_host.h"
#include "helpers/reference_legal.h"

using namespace engine;
using testing_host::moduleEntries;
using testing_host::ReportedLine;
using testing_host::runSearch;

namespace {

constexpr int32_t TypeDepth = 0;
constexpr int32_t TypeSeconds = 1;
constexpr int32_t TypeMoveTime = 4;
constexpr int32_t TypeClock = 6;
// Slack allowed beyond a time limit (timer delivery, the last node's work);
// the sanitizer build runs every node several times slower, and its test
// programs share the machine with each other.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int64_t LateMs = 400;
#else
constexpr int64_t LateMs = 150;
#endif

const char* const StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
// 1. Qxf7#: the position a reinitialised module must still hold.
const char* const MateInOneFen = "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -";
// White to move is checkmated.
const char* const MatedFen = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -";

Move moveOf(const char* text) {
  int32_t from = makeSquare(text[0] - 'a', text[1] - '1');
  int32_t to = makeSquare(text[2] - 'a', text[3] - '1');
  return makeMove16(from, to);
}

void setPosition(const char* fen) {
  testing_host::clearRecords();
  ASSERT_EQ(moduleEntries().setEnginePosition(fen), 0) << fen;
}

ReportedLine lastLine() {
  std::vector<ReportedLine> lines = testing_host::reportedLines();
  if (lines.empty()) {
    ADD_FAILURE() << "no line reported";
    return {};
  }
  return lines.back();
}

// Every reported line starts with a legal move of the position.
void expectLegalLines(const char* fen) {
  reference::Grid grid = reference::gridFromFullFen(fen);
  for (const ReportedLine& line : testing_host::reportedLines()) {
    ASSERT_FALSE(line.pv.empty());
    EXPECT_TRUE(reference::isLegal(grid, line.pv[0])) << fen << " depth " << line.depth;
  }
}

}  // namespace

TEST(Module, ParametersReadBackAsDefaults) {
  REQUIRE_ENGINE_MODULE();
  EngineParameters set = defaultEngineParameters;
  set.words[ParamContempt] = 30;
  set.words[ParamThreatDetection] = 0;
  moduleEntries().setEngineParameters(&set);
  EngineParameters got;
  moduleEntries().getEngineParameters(&got);
  for (int32_t i = 0; i < EngineParameterWords; ++i) EXPECT_EQ(got.words[i], defaultEngineParameters.words[i]) << i;
  moduleEntries().setEngineParameters(&defaultEngineParameters);
}

TEST(Module, EntryNineIsEmpty) {
  REQUIRE_ENGINE_MODULE();
  EXPECT_EQ(moduleEntries().empty8, nullptr);
}

TEST(Module, FixedDepthIsOneIteration) {
  REQUIRE_ENGINE_MODULE();
  setPosition(StartFen);
  runSearch(TypeDepth, 5, 0, 1, ThinkNormal);
  std::vector<ReportedLine> lines = testing_host::reportedLines();
  ASSERT_FALSE(lines.empty());
  for (const ReportedLine& line : lines) {
    EXPECT_EQ(line.depth, 5);
    EXPECT_EQ(line.lineIndex, 0);  // the final line too: one line is line 0
  }
  expectLegalLines(StartFen);
  EXPECT_GT(testing_host::lastNodeCount(), 0u);
}

TEST(Module, OneLegalMoveEndsAfterAnIterationDeeperThanSix) {
  REQUIRE_ENGINE_MODULE();
  // The king must take the checking queen: with a minute on the clock the
  // search still ends at once, after its first iteration past depth 6.
  const char* fen = "k7/8/8/8/8/8/6q1/7K w - -";
  setPosition(fen);
  int64_t elapsed = runSearch(TypeClock, 60, 0, 1, ThinkNormal);
  EXPECT_LT(elapsed, 1000);
  ReportedLine line = lastLine();
  // Depths rise by at most 3: the first one past 6 is 7, 8 or 9.
  EXPECT_GT(line.depth, 6);
  EXPECT_LE(line.depth, 9);
  ASSERT_FALSE(line.pv.empty());
  EXPECT_EQ(line.pv[0], moveOf("h1g2"));
}

TEST(Module, SeveralLinesHaveDistinctMoves) {
  REQUIRE_ENGINE_MODULE();
  setPosition(StartFen);
  runSearch(TypeDepth, 4, 0, 3, ThinkNormal);
  std::set<Move> firstMoves;
  std::set<int32_t> indices;
  for (const ReportedLine& line : testing_host::reportedLines()) {
    indices.insert(line.lineIndex);
    if (line.lineIndex >= 0 && line.lineIndex < 3) firstMoves.insert(line.pv[0]);
  }
  EXPECT_EQ(indices, (std::set<int32_t>{0, 1, 2}));
  EXPECT_EQ(firstMoves.size(), 3u);
  expectLegalLines(StartFen);
}

TEST(Module, MatedRootCountsNodesButReportsNoLine) {
  REQUIRE_ENGINE_MODULE();
  setPosition(MatedFen);
  int64_t elapsed = runSearch(TypeDepth, 4, 0, 1, ThinkNormal);
  EXPECT_TRUE(testing_host::reportedLines().empty());
  EXPECT_GT(testing_host::nodeCountCalls(), 0);
  EXPECT_LT(elapsed, 5000);
}

TEST(Module, UnderPromotionLetter) {
  REQUIRE_ENGINE_MODULE();
  // White promotes on e8; the search then runs for Black. A queen wins, a
  // lone knight cannot.
  const char* fen = "8/4P3/8/8/8/k7/8/4K3 w - -";
  const Move e7e8 = moveOf("e7e8");
  setPosition(fen);
  moduleEntries().playEngineMove(e7e8, 'N');
  runSearch(TypeDepth, 5, 0, 1, ThinkNormal);
  EXPECT_GT(lastLine().score, -400);
  setPosition(fen);
  moduleEntries().playEngineMove(e7e8, 'n');  // lower case: a queen
  runSearch(TypeDepth, 5, 0, 1, ThinkNormal);
  EXPECT_LT(lastLine().score, -450);
  setPosition(fen);
  moduleEntries().playEngineMove(e7e8, 'Q');
  runSearch(TypeDepth, 5, 0, 1, ThinkNormal);
  EXPECT_LT(lastLine().score, -450);
}

// The timer ends a move-time search, before the move time is over (the
// GUI's lag comes on top) but after most of it.
TEST(Module, MoveTimeStopsAtTheTimer) {
  REQUIRE_ENGINE_MODULE();
  setPosition(StartFen);
  int64_t elapsed = runSearch(TypeMoveTime, 400, 0, 1, ThinkNormal);
  std::vector<int32_t> timers = testing_host::timerCalls();
  ASSERT_GE(timers.size(), 2u);
  EXPECT_LE(timers.front(), 400);
  EXPECT_GE(timers.front(), 200);
  EXPECT_GE(elapsed, timers.front() - 5);
  EXPECT_LE(elapsed, timers.front() + LateMs);
  EXPECT_EQ(timers.back(), 0);  // cancelled at the end
  expectLegalLines(StartFen);
}

TEST(Module, ClockControlsEndWithinTheMaximum) {
  REQUIRE_ENGINE_MODULE();
  // Time left (s) and moves to go: the search never passes the allocated
  // maximum (3/5 of the clock with one move to go, 2/5 otherwise).
  const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
  for (int32_t seconds : {1, 2}) {
    for (int32_t moves : {0, 1, 10}) {
      setPosition(fen);
      int64_t maxMs = moves == 1 ? seconds * 600 : seconds * 400;
      int64_t elapsed = runSearch(TypeClock, seconds, moves, 1, ThinkNormal);
      EXPECT_LE(elapsed, maxMs + LateMs) << seconds << " s, " << moves << " to go";
      EXPECT_FALSE(testing_host::reportedLines().empty());
      expectLegalLines(fen);
    }
  }
  // Move times down to one millisecond: the timer ends the search, and even
  // one stopped before its first line leaves a move to play.
  for (int32_t ms : {1, 30, 150}) {
    setPosition(fen);
    int64_t elapsed = runSearch(TypeMoveTime, ms, 0, 1, ThinkNormal);
    EXPECT_LE(elapsed, ms + LateMs) << "movetime " << ms;
    EXPECT_FALSE(testing_host::reportedLines().empty()) << "movetime " << ms;
    expectLegalLines(fen);
  }
}

TEST(Module, StopEndsInfiniteAnalysisQuickly) {
  REQUIRE_ENGINE_MODULE();
  setPosition(StartFen);
  moduleEntries().resetStopFlags();
  moduleEntries().setTimeControl(TypeSeconds, 60, 0, 0, 0);
  std::chrono::steady_clock::time_point stopped;
  std::thread worker([] { moduleEntries().think(1, ThinkInfinite); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  stopped = std::chrono::steady_clock::now();
  moduleEntries().stopThinking();
  worker.join();
  auto late = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stopped);
  EXPECT_LE(late.count(), LateMs);
  EXPECT_FALSE(testing_host::reportedLines().empty());
  expectLegalLines(StartFen);
}

// The first timer of a clock, as the time allocation gives it.
static int32_t firstTimerOf(int32_t seconds) {
  return computeTimeAllocation({TimeLeftMovesToGo, seconds, 0, 0, 0}, 21, 0).timerTime;
}

TEST(Module, PonderHitBeforeTheTimeRuleArmsTheTimerFromTheHit) {
  REQUIRE_ENGINE_MODULE();
  // 60 s left: the first timer is seconds away and the target more than
  // a second, so 100 ms of pondering decide nothing.
  setPosition(StartFen);
  moduleEntries().resetStopFlags();
  moduleEntries().setTimeControl(TypeClock, 60, 0, 0, 0);
  std::atomic<bool> done{false};
  std::thread worker([&done] {
    moduleEntries().think(1, ThinkPonder);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(testing_host::timerCalls().empty());  // no timer while pondering
  moduleEntries().ponderHit();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(done.load());  // the search goes on after the hit
  std::vector<int32_t> timers = testing_host::timerCalls();
  ASSERT_FALSE(timers.empty());
  EXPECT_EQ(timers.front(), firstTimerOf(60));
  moduleEntries().stopThinking();
  worker.join();
  expectLegalLines(StartFen);
}

TEST(Module, PonderHitAfterTheTimeRuleStopsAtOnce) {
  REQUIRE_ENGINE_MODULE();
  // 1 s left, less than the lag of the coming moves will cost: the move is
  // due at once, so half a second of pondering has decided the time long
  // before the hit. The hit stops at once, unless the iteration under way
  // has fallen below the last one; then the first timer from the hit ends
  // it.
  setPosition(StartFen);
  moduleEntries().resetStopFlags();
  moduleEntries().setTimeControl(TypeClock, 1, 0, 0, 0);
  std::thread worker([] { moduleEntries().think(1, ThinkPonder); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  auto hit = std::chrono::steady_clock::now();
  moduleEntries().ponderHit();
  worker.join();
  auto late = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - hit);
  EXPECT_LE(late.count(), firstTimerOf(1) + LateMs);
  expectLegalLines(StartFen);
}

TEST(Module, PonderHitBeforeTheSearchIsNotLost) {
  REQUIRE_ENGINE_MODULE();
  // The hit comes before think has begun: the search must still run on
  // the clock (1 s left) instead of pondering forever.
  setPosition(StartFen);
  moduleEntries().resetStopFlags();
  moduleEntries().setTimeControl(TypeClock, 1, 0, 0, 0);
  moduleEntries().ponderHit();
  std::future<void> search = std::async(std::launch::async, [] { moduleEntries().think(1, ThinkPonder); });
  bool ended = search.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  if (!ended) moduleEntries().stopThinking();  // let the test end either way
  ASSERT_TRUE(ended) << "the search went on pondering";
  std::vector<int32_t> timers = testing_host::timerCalls();
  ASSERT_FALSE(timers.empty());
  EXPECT_EQ(timers.front(), firstTimerOf(1));
  EXPECT_FALSE(testing_host::reportedLines().empty());
}

TEST(Module, StopBeforeAnyLineStillGivesAMove) {
  REQUIRE_ENGINE_MODULE();
  setPosition(StartFen);
  moduleEntries().resetStopFlags();
  moduleEntries().stopThinking();  // stopped before it starts
  moduleEntries().setTimeControl(TypeMoveTime, 1000, 0, 0, 0);
  moduleEntries().think(1, ThinkNormal);
  ASSERT_FALSE(testing_host::reportedLines().empty());
  expectLegalLines(StartFen);
}

// A stop inside the first iteration, at a root in check: the search has no
// line, and the move it is given carries no score it did not find (the
// aborted search's mated score would show as "mate 0").
TEST(Module, StopInTheFirstLineAtARootInCheckClaimsNoMate) {
  REQUIRE_ENGINE_MODULE();
  const char* fen = "4K2R/Q7/8/5p2/7p/4k3/8/8 b - - 3 2";
  setPosition(fen);
  testing_host::stopAtFirstCurrMove(true);
  runSearch(TypeMoveTime, 1000, 0, 1, ThinkNormal);
  testing_host::stopAtFirstCurrMove(false);
  std::vector<ReportedLine> lines = testing_host::reportedLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].score, 0);
  expectLegalLines(fen);
}

TEST(Module, ReinitialisingKeepsThePosition) {
  REQUIRE_ENGINE_MODULE();
  setPosition(MateInOneFen);
  moduleEntries().initEngine(8u << 20, 0);
  runSearch(TypeDepth, 4, 0, 1, ThinkNormal);
  ReportedLine line = lastLine();
  EXPECT_EQ(line.score, 9997);
  ASSERT_FALSE(line.pv.empty());
  EXPECT_EQ(line.pv[0], moveOf("h5f7"));
}
