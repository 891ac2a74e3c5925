// Searches on several threads through the engine module: with 1, 2, 4 and 8
// helpers beside the master the engine still finds forced mates and wins a
// hanging queen, plays only legal moves, and thousands of short searches with
// stops at random moments all end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "engine/random.h"
#include "helpers/module_host.h"
#include "helpers/reference_legal.h"

using namespace engine;
using testing_host::moduleEntries;
using testing_host::ReportedLine;
using testing_host::runSearch;

namespace {

constexpr int32_t TypeDepth = 0;
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
constexpr int32_t TypeMoveTime = 4;

// 1. Nf6+ gxf6 2. Bxf7#.
const char* const MateInTwoFen = "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq -";
// 1. Rxd8# on the back rank.
const char* const BackRankFen = "3r2k1/5ppp/8/8/8/8/5PPP/3RR1K1 w - -";
// Black's queen on d4 hangs to the knight on f3.
const char* const HangingQueenFen = "rnb1kbnr/pppp1ppp/8/4p3/3q4/5N2/PPPPPPPP/RNBQKB1R w KQkq -";

Move moveOf(const char* text) {
  return makeMove16(makeSquare(text[0] - 'a', text[1] - '1'), makeSquare(text[2] - 'a', text[3] - '1'));
}

void setHelpers(int32_t helpers) {
  EngineParameters parameters = defaultEngineParameters;
  parameters.words[ParamThreads] = helpers;
  moduleEntries().setEngineParameters(&parameters);
}

ReportedLine searchAtDepth(const char* fen, int32_t depth) {
  testing_host::clearRecords();
  EXPECT_EQ(moduleEntries().setEnginePosition(fen), 0);
  moduleEntries().clearEngineHash();
  runSearch(TypeDepth, depth, 0, 1, ThinkNormal);
  std::vector<ReportedLine> lines = testing_host::reportedLines();
  reference::Grid grid = reference::gridFromFullFen(fen);
  for (const ReportedLine& line : lines) EXPECT_TRUE(reference::isLegal(grid, line.pv.at(0))) << fen;
  if (lines.empty()) {
    ADD_FAILURE() << "no line for " << fen;
    return {};
  }
  return lines.back();
}

class ThreadedSearch : public ::testing::TestWithParam<int32_t> {
 protected:
  void TearDown() override {
    if (testing_host::moduleLoaded(nullptr)) setHelpers(0);
  }
};

}  // namespace

// Each helper count finds the key moves in 20 runs (the depth is small so
// that the runs stay short, yet large enough for moves to be handed over).
TEST_P(ThreadedSearch, FindsTheKeyMoves) {
  REQUIRE_ENGINE_MODULE();
  setHelpers(GetParam());
  for (int32_t run = 0; run < KeyMoveRuns; ++run) {
    ReportedLine mate = searchAtDepth(MateInTwoFen, 8);
    EXPECT_EQ(mate.score, 9995) << "run " << run;
    EXPECT_EQ(mate.pv.at(0), moveOf("d5f6"));
    ReportedLine backRank = searchAtDepth(BackRankFen, 8);
    EXPECT_EQ(backRank.score, 9997) << "run " << run;
    EXPECT_EQ(backRank.pv.at(0), moveOf("d1d8"));
    ReportedLine queen = searchAtDepth(HangingQueenFen, 8);
    EXPECT_EQ(queen.pv.at(0), moveOf("f3d4")) << "run " << run;
    EXPECT_GT(queen.score, 300);
  }
}

INSTANTIATE_TEST_SUITE_P(Helpers, ThreadedSearch, ::testing::Values(1, 2, 4, 8));

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
    testing_host::clearRecords();
    ASSERT_EQ(moduleEntries().setEnginePosition(fen), 0);
    moduleEntries().resetStopFlags();
    moduleEntries().setTimeControl(TypeMoveTime, 5000, 0, 0, 0);
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
