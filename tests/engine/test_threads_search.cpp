// Searches on several threads through the engine module: with 1, 2, 4 and 8
// helpers beside the master the engine still finds forced mates and wins a
// hanging queen, with root moves searched by helper threads, plays only
// legal moves, keeps a root move of a later line out of the first line's
// announcements and reports, and thousands of short searches with stops at
// random moments all end. Then split nodes driven directly in this
// process: a move a helper searched decides the bound type the node stores
// as it would on one thread, the owner narrows the window only under the
// search lock, a helper keeps its move while another thread changes the
// node's bounds, an owner that goes stale searches its abandoned move again
// (or, once its giver's node is cut, stops and stores nothing), and the
// owner's wait ends with its helper's move even when another thread takes
// the helper.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "engine/board/random.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/module/hooks.h"
#include "engine/search/search.h"
#include "engine/control/shared_word.h"
#include "engine/search/threads.h"
#include "helpers/module_host.h"
#include "helpers/reference_legal.h"
#include "helpers/search_root.h"

using namespace engine;
using testing_host::moduleEntries;
using testing_host::moveOf;
using testing_host::ReportedLine;
using testing_host::runSearch;
using testing_host::searchToDepth;
using testing_host::setHelpers;

namespace {

// Sanitizer builds run every node many times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int32_t KeyMoveRuns = 3;
constexpr int32_t StopRuns = 200;
constexpr int32_t WatchdogSeconds = 10;
#else
constexpr int32_t KeyMoveRuns = 20;
constexpr int32_t StopRuns = 1200;
constexpr int32_t WatchdogSeconds = 2;
#endif

// 1. Nf6+ gxf6 2. Bxf7#.
const char* const MateInTwoFen = "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq -";
// 1. Rxd8# on the back rank.
const char* const BackRankFen = "3r2k1/5ppp/8/8/8/8/5PPP/3RR1K1 w - -";
// A quiet middlegame.
const char* const QuietFen = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -";
// Black's queen on d4 hangs to the knight on f3.
const char* const HangingQueenFen = "rnb1kbnr/pppp1ppp/8/4p3/3q4/5N2/PPPPPPPP/RNBQKB1R w KQkq -";

class ThreadedSearch : public ::testing::TestWithParam<int32_t> {
 protected:
  void TearDown() override {
    if (testing_host::moduleLoaded(nullptr)) setHelpers(0);
  }
};

}  // namespace

// Each helper count finds the key moves in 20 runs (the depth is small so
// that the runs stay short, yet large enough for moves to be handed over:
// the root is searched at split depth, and its moves after the first go to
// helpers, which announce them from their own threads).
TEST_P(ThreadedSearch, FindsTheKeyMoves) {
  REQUIRE_ENGINE_MODULE();
  setHelpers(GetParam());
  for (int32_t run = 0; run < KeyMoveRuns; ++run) {
    ReportedLine mate = searchToDepth(MateInTwoFen, 8);
    EXPECT_EQ(mate.score, 9995) << "run " << run;
    EXPECT_EQ(mate.pv.at(0), moveOf("d5f6"));
    EXPECT_GT(testing_host::currMoveThreadCount(), 1) << "no root move was handed to a helper";
    ReportedLine backRank = searchToDepth(BackRankFen, 8);
    EXPECT_EQ(backRank.score, 9997) << "run " << run;
    EXPECT_EQ(backRank.pv.at(0), moveOf("d1d8"));
    ReportedLine queen = searchToDepth(HangingQueenFen, 8);
    EXPECT_EQ(queen.pv.at(0), moveOf("f3d4")) << "run " << run;
    EXPECT_GT(queen.score, 300);
    EXPECT_GT(testing_host::currMoveThreadCount(), 1) << "no root move was handed to a helper";
  }
}

INSTANTIATE_TEST_SUITE_P(Helpers, ThreadedSearch, ::testing::Values(1, 2, 4, 8));

// In a search of three lines only the first line's root moves are
// announced and reported as they are searched: a helper given a root move
// of a later line announces nothing and reports no line, so no current
// move follows the first line's last report, and the driver reports each
// later line once.
TEST(ThreadedSearch, HelpersKeepToTheLineTheirRootMoveBelongsTo) {
  REQUIRE_ENGINE_MODULE();
  setHelpers(4);
  for (int32_t run = 0; run < KeyMoveRuns / 4 + 1; ++run) {
    testing_host::setPosition(QuietFen);
    moduleEntries().clearEngineHash();
    runSearch(TimeFixedDepth, 9, 0, 3, ThinkNormal);
    std::vector<ReportedLine> lines = testing_host::reportedLines();
    int32_t firstLineEnd = -1;
    int32_t reportsOfLine[3] = {0, 0, 0};
    for (const ReportedLine& line : lines) {
      if (line.lineIndex == 0) firstLineEnd = line.currMovesBefore;
      if (line.lineIndex >= 0 && line.lineIndex < 3) ++reportsOfLine[line.lineIndex];
    }
    EXPECT_EQ(firstLineEnd, testing_host::currMoveCalls()) << "run " << run << ": moves announced in later lines";
    EXPECT_EQ(reportsOfLine[1], 1) << "run " << run;
    EXPECT_EQ(reportsOfLine[2], 1) << "run " << run;
    EXPECT_GT(testing_host::currMoveThreadCount(), 1) << "no root move was handed to a helper";
  }
  setHelpers(0);
}

// Over a thousand short searches, each stopped at a random moment (often before
// the first move is handed over, often while helpers work), with the helper
// count changed between searches. A search that has not ended two seconds
// after its stop (ten in sanitizer builds) is a deadlock: the watchdog ends
// the program.
TEST(ThreadedSearchStops, ShortSearchesWithRandomStopsAllEnd) {
  REQUIRE_ENGINE_MODULE();
  // Positions that reach split depths within a few milliseconds.
  const char* fens[] = {"8/8/4k3/3p4/3P4/4K3/8/8 w - -", BackRankFen, "8/8/1p4k1/p1p2p2/P1P2P2/1P4K1/8/8 w - -",
                        MateInTwoFen, "4k3/8/8/8/8/8/4P3/4K3 w - -"};
  const int32_t helperCounts[] = {1, 2, 4, 8};
  RandomState random;
  seedRandom(random, 12345);
  for (int32_t i = 0; i < StopRuns; ++i) {
    const char* fen = fens[i % 5];
    setHelpers(helperCounts[(i / 5) % 4]);
    testing_host::setPosition(fen);
    moduleEntries().resetStopFlags();
    moduleEntries().setTimeControl(TimePerMoveMs, 5000, 0, 0, 0);
    std::promise<void> ended;
    std::future<void> search = ended.get_future();
    std::thread([ended = std::move(ended)]() mutable {
      moduleEntries().think(1, ThinkNormal);
      ended.set_value();
    }).detach();
    // Mostly under 1.5 ms, one search in eight up to 20 ms.
    uint32_t r = uint32_t(drawRandom(random));
    std::this_thread::sleep_for(std::chrono::microseconds(i % 8 == 0 ? r % 20000 : r % 1500));
    moduleEntries().stopThinking();
    if (search.wait_for(std::chrono::seconds(WatchdogSeconds)) != std::future_status::ready) {
      std::fprintf(stderr, "search %d with %s does not end: deadlock\n", i, fen);
      std::_Exit(1);
    }
    std::vector<ReportedLine> lines = testing_host::reportedLines();
    // Even a search stopped at once reports the move it would play.
    ASSERT_FALSE(lines.empty()) << i;
    EXPECT_TRUE(reference::isLegal(reference::gridFromFullFen(fen), lines.back().pv.at(0))) << i;
  }
  setHelpers(0);
}

namespace {

// Makes `node` an inner node: it probes and stores the table, and a helper
// does not take it for the root. Without the game's marks it is no
// repetition.
void makeInnerNode(Position* node) {
  static Position before{};
  before.lastMove = noMove;
  node->parent = &before;
  unmarkGameHistory(&engineHash);
}

struct SplitResult {
  int32_t score;
  uint16_t bound;  // the bound bits of the stored result
  uint64_t helperNodes;
};

// Searches `fen` as an inner node at split depth with (upper, lower) and
// `helpers` helper threads beside this one. A shallow stored entry makes
// `firstMove` the node's first move, so the winning move comes later: with
// a helper, it is the helper that searches it.
SplitResult searchSplitNode(const char* fen, const char* firstMove, int32_t upper, int32_t lower,
                            int32_t helpers) {
  const int32_t depth = MinSplitDepth;
  Position* node = testing_search::rootOf(fen, depth);
  makeInnerNode(node);
  setHelperCount(helpers);
  const int32_t required = 2 * depth + ((node->searchFlags & SearchThreatKnown) != 0 ? 1 : 0);
  HashKey key{node->key, node->lock, 0};
  uint16_t saved = 0;
  HashEntry* entry = hashProbeOrReplace(&engineHash, &key, required, 1, &saved);
  EXPECT_NE(entry, nullptr);
  SplitResult result{0, 0, 0};
  if (entry == nullptr) return result;
  entry->move = moveOf(firstMove);
  entry->depth = uint8_t(required - 3);
  entry->score = 0;
  entry->flags = EntryLowerBound;
  helperNodeCount.store(0);
  Move killers[2] = {noMove, noMove};
  Move pv[PvLength + 2];
  result.score = searchNode(node, depth, upper, lower, killers, pv, nullptr);
  result.bound = hashLookup(&engineHash, &key)->flags & (EntryLowerBound | EntryUpperBound);
  result.helperNodes = helperNodeCount.load();
  node->parent = nullptr;
  setHelperCount(0);
  return result;
}

}  // namespace

// A late move of a split node that a helper searched decides the stored
// bound type as it does when the owner searches it: its cut stores a lower
// bound, its exact score (the first move failing low) an exact one.
TEST(SplitNode, StoresTheBoundTypeOfTheSingleThreadSearch) {
  struct Case {
    const char* fen;
    const char* firstMove;
    int32_t upper, lower;
    uint16_t bound;
  };
  const Case cases[] = {
      // Nxd4 wins the queen after a2a3, which scores inside the window.
      {HangingQueenFen, "a2a3", 300, -300, EntryLowerBound},
      {HangingQueenFen, "a2a3", 9999, 200, EntryLowerBound | EntryUpperBound},
      // Nf6+ mates in two after a2a3.
      {MateInTwoFen, "a2a3", 1000, -2000, EntryLowerBound},
      {MateInTwoFen, "a2a3", 9999, 1000, EntryLowerBound | EntryUpperBound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + " window " + std::to_string(c.lower) + ".." + std::to_string(c.upper));
    SplitResult alone = searchSplitNode(c.fen, c.firstMove, c.upper, c.lower, 0);
    SplitResult split = searchSplitNode(c.fen, c.firstMove, c.upper, c.lower, 1);
    EXPECT_EQ(alone.bound, c.bound);
    EXPECT_EQ(split.bound, alone.bound);
    EXPECT_EQ(alone.helperNodes, 0u);
    EXPECT_GT(split.helperNodes, 0u) << "no move was handed to the helper";
    for (const SplitResult& r : {alone, split}) {
      if (c.bound == EntryLowerBound) EXPECT_GE(r.score, c.upper);
      else EXPECT_TRUE(r.score > c.lower && r.score < c.upper) << r.score;
    }
  }
}

// A helper raises best while the owner is about to narrow the window for
// its next move: the owner reads and writes the bounds under the search
// lock, so it narrows from the new best and the window stays open (without
// the lock it would narrow below the new best and end the loop as a cut).
TEST(SplitNode, OwnerNarrowsTheWindowUnderTheLock) {
  Position* node = testing_search::rootOf(HangingQueenFen, MinSplitDepth);
  ThreadBoard* board = node->board;
  board->splitPoint = node;  // as while helpers work on it
  node->estimate = 100;
  int32_t upper = 500, best = 0;
  std::atomic<bool> started{false};
  bool cut = true;
  enterSearchLock();  // a helper in the middle of its update
  std::thread owner([&] {
    started.store(true);
    cut = nextMoveWindow(node, &upper, &best);
  });
  while (!started.load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  storeShared(best, 200);
  leaveSearchLock();
  owner.join();
  board->splitPoint = &noSplitPosition;
  EXPECT_FALSE(cut);
  EXPECT_EQ(loadShared(upper), 201);
  // Without helpers the owner narrows alone: to the estimate above best.
  best = 0;
  upper = 500;
  EXPECT_FALSE(nextMoveWindow(node, &upper, &best));
  EXPECT_EQ(upper, 100);
}

// A fail high against a narrowed window raises best to the window's bound
// and searches the move again once upper is widened to the entry bound; the
// writer makes that change under the search lock, the raise first. A helper
// that reads the pair in the middle of it sees best at upper and would drop
// its move as cut while the node goes on uncut, as if every move had been
// searched. Both readers of a shared pair wait for the lock instead and see
// the pair whole: the child's window and the decision to take up a move the
// raise made stale.
TEST(SplitNode, HelpersReadTheBoundsOnlyWhenAWriterHasChangedThemWhole) {
  constexpr int32_t OldBest = 32, Bound = 73, EntryUpper = 9999;
  Position* node = testing_search::rootOf(QuietFen, MinSplitDepth + 1);
  for (const bool decision : {false, true}) {
    SCOPED_TRACE(decision ? "taking up an abandoned move" : "reading the child's window");
    int32_t upper = Bound, best = OldBest, upperSeen = 0, bestSeen = 0;
    std::atomic<bool> started{false};
    bool resume = false;
    enterSearchLock();  // the writer, in the middle of its change
    storeShared(best, Bound);
    std::thread helper([&] {
      started.store(true);
      if (decision)
        resume = resumeAbandonedMove(node, &upper, &best);
      else
        readBounds(true, &upper, &best, &upperSeen, &bestSeen);
    });
    while (!started.load()) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    storeShared(upper, EntryUpper);
    leaveSearchLock();
    helper.join();
    if (decision) {
      EXPECT_TRUE(resume) << "the move was dropped on a pair half changed";
    } else {
      EXPECT_EQ(bestSeen, Bound);
      EXPECT_EQ(upperSeen, EntryUpper) << "the window was built from a pair half changed";
    }
  }
}

namespace {

// The owner of the split node below: the board of helper record 1, driven
// by the test thread as a helper that was handed a move (record 1's own
// thread stays parked). Its owner in turn is the master board; the giver's
// bounds are the pair below.
ThreadBoard* staleOwnerBoard = nullptr;
Position* staleOwnerGiverNode = nullptr;
Position* staleSplitNode = nullptr;
int32_t staleChildSide = 0;
int32_t giverBest = 0, giverUpper = 0;
bool giverCut = false;
std::atomic<bool> staleInjected{false};
bool helperHeld = false;
int8_t abandonedChild[64];
int8_t helperChild[64];
int32_t abandonedProbesAfter = 0;
int32_t helperProbesAfter = 0;

// A tablebase hook (called under the search lock at depth 9 and more, from
// every thread) that finds nothing. The helper (record 0) holds off at its
// first probe, outside the lock, until the owner has gone stale, so that the
// owner meanwhile finds no idle helper and searches a move itself. The first
// time the owner probes a child of its split node, it raises the generation
// of the giver's node, as a helper of that node does when it moves a bound
// (with the giver's best raised to its upper bound when the giver is cut):
// the owner is stale from then on. Later probes of the same children, the
// owner's and the helper's, are counted.
int32_t staleOwnerProbe(ThreadBoard* board, int32_t side, int32_t, int32_t*) {
  int8_t probe[64];
  buildProbeBoard(board, probe);
  if (board == &thread[0].board) {
    if (!helperHeld) {
      helperHeld = true;
      std::copy(probe, probe + 64, helperChild);
      leaveSearchLock();
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(WatchdogSeconds);
      while (!staleInjected.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
      enterSearchLock();
    } else if (std::equal(probe, probe + 64, helperChild)) {
      ++helperProbesAfter;
    }
    return 0;
  }
  if (board != staleOwnerBoard || side != staleChildSide) return 0;
  if (!staleInjected.load() && board->splitPoint == staleSplitNode) {
    std::copy(probe, probe + 64, abandonedChild);
    if (giverCut) storeShared(giverBest, giverUpper);
    bumpNodeGeneration(staleOwnerGiverNode);
    staleInjected.store(true);
  } else if (staleInjected.load() && std::equal(probe, probe + 64, abandonedChild)) {
    ++abandonedProbesAfter;
  }
  return 0;
}

}  // namespace

// A helper that owns a split node goes stale (a bound above it moved) while
// it searches one of that node's moves itself. When the giver's best only
// rose, the move is abandoned and searched again after the resync (rather
// than go on without it and store a result that claims every move), and the
// node stores its result. When the giver's node is cut, the split node
// stops: it searches nothing again, its helper leaves its move, and nothing
// is stored.
TEST(SplitNode, OwnerGoneStaleGoesOnOrStopsByItsGiversBounds) {
  for (bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "the giver's node is cut" : "the giver's best rose");
    const int32_t depth = MinSplitDepth + 1;  // the node's own moves probe the tables
    Position* root = testing_search::rootOf(HangingQueenFen, depth);
    setHelperCount(2);
    ThreadRecord* owner = &thread[1];
    // As a giver does: record 1 taken off the idle list and holding a token.
    ASSERT_TRUE(platform::tryWaitSemaphore(owner->queueEmpty));
    ASSERT_TRUE(platform::tryWaitSemaphore(handOffTokens.load()));
    owner->token = handOffTokens.load();
    giverBest = -ScoreInfinite;
    giverUpper = ScoreInfinite;
    owner->best = &giverBest;
    owner->upper = &giverUpper;
    ThreadBoard* board = &owner->board;
    Position* node = owner->position;
    node->board = board;
    clonePosition(node, root);
    board->threadId = 3;
    board->nodeCount = 0;
    board->splitOwner = root->board;
    board->splitNode = root;
    board->splitPoint = &noSplitPosition;
    setNodeGeneration(root, searchGeneration.load());
    setBoardGeneration(board, nodeGeneration(root));
    makeInnerNode(node);

    staleOwnerBoard = board;
    staleOwnerGiverNode = root;
    staleSplitNode = node;
    staleChildSide = node->opponent;
    giverCut = cut;
    staleInjected.store(false);
    helperHeld = false;
    abandonedProbesAfter = 0;
    helperProbesAfter = 0;
    helperNodeCount.store(0);
    tbPieceLimit = 32;
    tablebaseHook.store(staleOwnerProbe);
    Move killers[2] = {noMove, noMove};
    Move pv[PvLength + 2];
    int32_t score = searchNode(node, depth, ScoreInfinite, -ScoreInfinite, killers, pv, nullptr);
    tablebaseHook.store(nullptr);
    tbPieceLimit = 0;

    // Record 1 back on the idle list with its token (a re-split token once it
    // owned a split), as its own loop would leave it.
    ASSERT_TRUE(platform::releaseSemaphore(owner->token));
    ASSERT_TRUE(platform::releaseSemaphore(owner->queueEmpty));
    board->splitPoint = &noSplitPosition;
    setHelperCount(0);

    HashKey key{node->key, node->lock, 0};
    const HashEntry* entry = hashLookup(&engineHash, &key);
    const bool stored = entry != nullptr && entry->depth >= 2 * depth;
    EXPECT_GT(helperNodeCount.load(), 0u) << "no move was handed to the helper";
    ASSERT_TRUE(staleInjected.load()) << "the owner searched no move of its split node itself";
    EXPECT_EQ(stored, !cut);
    EXPECT_EQ(helperProbesAfter, 0) << "the helper searched its move again";
    if (cut) {
      EXPECT_EQ(abandonedProbesAfter, 0) << "the node searched on after its giver's cut";
    } else {
      EXPECT_GE(abandonedProbesAfter, 1) << "the abandoned move was not searched again";
      EXPECT_GT(score, 300) << "Nxd4 wins the queen";
    }
  }
}

// The owner of a split node waits for its helper while another thread (here
// the test, as a helper looking for idle helpers does) takes that helper
// the moment it is free and keeps it: the owner's wait still ends with its
// helper's move. Looped, as the other thread must win that helper before the
// owner wakes.
TEST(SplitNode, OwnerWaitEndsWithItsHelpersMoveWhenTheHelperIsTakenAtOnce) {
  // Check by the rook on e1: Rxe1 and Bf1 are the only moves, so the owner
  // searches the first, hands over the second and at once waits.
  const char* fen = "rnbq2k1/ppp2ppp/8/8/8/3B4/PPP2PPP/R3r1K1 w - - 0 1";
  ASSERT_EQ(reference::legalMoves(reference::gridFromFullFen(fen)).size(), 2u);
  const int32_t runs = KeyMoveRuns;
  for (int32_t run = 0; run < runs; ++run) {
    Position* node = testing_search::rootOf(fen, MinSplitDepth);
    makeInnerNode(node);
    setHelperCount(1);
    helperNodeCount.store(0);
    std::atomic<bool> ownerDone{false};
    std::thread ownerThread([&] {
      Move killers[2] = {noMove, noMove};
      Move pv[PvLength + 2];
      searchNode(node, MinSplitDepth, 9999, -9999, killers, pv, nullptr);
      ownerDone.store(true);
    });
    // Take the helper as soon as its move for the node is over.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(WatchdogSeconds);
    while (thread[0].active.load() != node && !ownerDone.load() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    bool taken = false;
    while (!taken && std::chrono::steady_clock::now() < deadline) taken = platform::tryWaitSemaphore(thread[0].queueEmpty);
    ASSERT_TRUE(taken);
    while (!ownerDone.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    const bool ended = ownerDone.load();
    ASSERT_TRUE(platform::releaseSemaphore(thread[0].queueEmpty));
    ownerThread.join();
    ASSERT_TRUE(ended) << "run " << run << ": the owner sleeps through its helper's next job";
    EXPECT_GT(helperNodeCount.load(), 0u) << "no move was handed to the helper";
  }
  setHelperCount(0);
}
