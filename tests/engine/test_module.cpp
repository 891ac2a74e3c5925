// The engine module driven through its entries by a test host, as the front
// end drives it: searches that end at once on a forced root, several lines,
// under-promotions as the front end passes them, move times ended by the
// timer and cancelled at the end, a stop inside the first iteration.
// (Ponderhit in every state of a search is driven directly in
// test_engine_control, and end to end over pipes in test_uci_search and
// test_uci_engine; stops at random moments in test_threads_search.)
#include <gtest/gtest.h>

#include <set>

#include "engine/board/board.h"
#include "engine/search/timecontrol.h"
#include "helpers/module_host.h"
#include "helpers/reference_legal.h"

using namespace engine;
using testing_host::expectLegalLines;
using testing_host::lastLine;
using testing_host::moduleEntries;
using testing_host::moveOf;
using testing_host::ReportedLine;
using testing_host::runSearch;
using testing_host::setPosition;

namespace {

// Slack allowed beyond a time limit (timer delivery, the last node's work);
// the sanitizer build runs every node several times slower, and its test
// programs share the machine with each other.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int64_t LateMs = 400;
#else
constexpr int64_t LateMs = 150;
#endif

}  // namespace

// A root with one legal move, or none, ends the search at once with a
// minute on the clock: the forced move after its first iteration past depth
// 6 (depths rise by at most 3: 7, 8 or 9), a mated or stalemated root after
// its first iteration, with no line to report.
TEST(Module, ForcedRootsEndAtOnceOnAClock) {
  REQUIRE_ENGINE_MODULE();
  struct Forced {
    const char* fen;
    const char* move;  // the one legal move, or nullptr for none
  };
  const Forced cases[] = {
      {"k7/8/8/8/8/8/6q1/7K w - -", "h1g2"},  // the king must take the queen
      {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -", nullptr},  // mated
      {"7k/5Q2/6K1/8/8/8/8/8 b - -", nullptr},  // stalemated
  };
  for (const Forced& c : cases) {
    SCOPED_TRACE(c.fen);
    setPosition(c.fen);
    int64_t elapsed = runSearch(TimeLeftMovesToGo, 60, 0, 1, ThinkNormal);
    EXPECT_LT(elapsed, 1000);
    if (c.move == nullptr) {
      EXPECT_TRUE(testing_host::reportedLines().empty());
      EXPECT_GT(testing_host::nodeCountCalls(), 0);
      continue;
    }
    ReportedLine line = lastLine();
    EXPECT_GT(line.depth, 6);
    EXPECT_LE(line.depth, 9);
    ASSERT_FALSE(line.pv.empty());
    EXPECT_EQ(line.pv[0], moveOf(c.move));
  }
}

// Three lines: the first takes the queen with check (every other move
// loses the rook on a1 to it, or leaves the queen), the others are distinct
// legal moves that score below it.
TEST(Module, SeveralLinesAreTheBestMovesInTurn) {
  REQUIRE_ENGINE_MODULE();
  const char* fen = "q5k1/8/8/1n6/4r3/2N5/8/R4BK1 w - - 0 1";
  setPosition(fen);
  moduleEntries().clearEngineHash();
  runSearch(TimeFixedDepth, 5, 0, 3, ThinkNormal);
  ReportedLine last[3] = {};
  for (const ReportedLine& line : testing_host::reportedLines()) {
    ASSERT_TRUE(line.lineIndex >= 0 && line.lineIndex < 3) << line.lineIndex;
    last[line.lineIndex] = line;
  }
  std::set<Move> firstMoves;
  for (const ReportedLine& line : last) {
    ASSERT_FALSE(line.pv.empty());
    firstMoves.insert(line.pv[0]);
  }
  EXPECT_EQ(firstMoves.size(), 3u);
  EXPECT_EQ(last[0].pv[0], moveOf("a1a8"));
  EXPECT_LT(last[1].score, last[0].score);
  EXPECT_LT(last[2].score, last[0].score);
  expectLegalLines(fen);
}

// The promotion on e8 as the front end passes it (the encoded knight with
// a blank) and with the letters of the engine's entry: a knight leaves a
// drawn ending for Black to move, a queen a lost one.
TEST(Module, UnderPromotionsReachTheBoard) {
  REQUIRE_ENGINE_MODULE();
  const char* fen = "8/4P3/8/8/8/k7/8/4K3 w - -";
  const Move e7e8 = moveOf("e7e8");
  const Move e7e8n = makeMove16(moveFrom(e7e8), underPromotionByte(moveTo(e7e8), PromoteKnight, White));
  struct Promotion {
    Move move;
    int32_t letter;
    bool knight;
  };
  const Promotion cases[] = {{e7e8n, ' ', true}, {e7e8, 'N', true}, {e7e8, 'n', false}, {e7e8, ' ', false}};
  for (const Promotion& c : cases) {
    SCOPED_TRACE(testing::Message() << "letter '" << char(c.letter) << "'");
    setPosition(fen);
    moduleEntries().playEngineMove(c.move, c.letter);
    runSearch(TimeFixedDepth, 5, 0, 1, ThinkNormal);
    if (c.knight)
      EXPECT_GT(lastLine().score, -400);
    else
      EXPECT_LT(lastLine().score, -450);
  }
}

// A move time is ended by its timer, before the move time is over (the
// GUI's lag comes on top), and the timer is cancelled at the end (a timer
// left armed stops the next search early only now and then over pipes, so
// this is where a missing cancel shows every time).
TEST(Module, MoveTimeEndsAtItsTimer) {
  REQUIRE_ENGINE_MODULE();
  const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
  for (int32_t ms : {1, 30, 150, 400}) {
    SCOPED_TRACE(testing::Message() << "movetime " << ms);
    setPosition(fen);
    int64_t elapsed = runSearch(TimePerMoveMs, ms, 0, 1, ThinkNormal);
    std::vector<int32_t> timers = testing_host::timerCalls();
    ASSERT_GE(timers.size(), 2u);
    EXPECT_GE(elapsed, timers.front() - 5);
    EXPECT_LE(elapsed, timers.front() + LateMs);
    EXPECT_EQ(timers.back(), 0);
    EXPECT_FALSE(testing_host::reportedLines().empty());
    expectLegalLines(fen);
  }
}

// A stop inside the first iteration, at a root in check: the search has no
// line, and the move it is given carries no score it did not find (the
// aborted search's mated score would show as "mate 0").
TEST(Module, StopInTheFirstLineAtARootInCheckClaimsNoMate) {
  REQUIRE_ENGINE_MODULE();
  const char* fen = "4K2R/Q7/8/5p2/7p/4k3/8/8 b - - 3 2";
  setPosition(fen);
  testing_host::stopAtFirstCurrMove(true);
  runSearch(TimePerMoveMs, 1000, 0, 1, ThinkNormal);
  testing_host::stopAtFirstCurrMove(false);
  std::vector<ReportedLine> lines = testing_host::reportedLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].score, 0);
  expectLegalLines(fen);
}
