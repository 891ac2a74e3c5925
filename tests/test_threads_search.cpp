// Searches on several threads through the engine module: with 1, 2, 4 and 8
// helpers beside the master the engine still finds forced mates and wins a
// hanging queen, plays only legal moves, and many short searches with stops
// at random moments all end.
#include <gtest/gtest.h>

#include <chrono>
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

TEST_P(ThreadedSearch, FindsTheKeyMoves) {
  REQUIRE_ENGINE_MODULE();
  setHelpers(GetParam());
  for (int32_t run = 0; run < 3; ++run) {
    ReportedLine mate = searchAtDepth(MateInTwoFen, 10);
    EXPECT_EQ(mate.score, 9995) << "run " << run;
    EXPECT_EQ(mate.pv.at(0), moveOf("d5f6"));
    ReportedLine backRank = searchAtDepth(BackRankFen, 10);
    EXPECT_EQ(backRank.score, 9997) << "run " << run;
    EXPECT_EQ(backRank.pv.at(0), moveOf("d1d8"));
    ReportedLine queen = searchAtDepth(HangingQueenFen, 9);
    EXPECT_EQ(queen.pv.at(0), moveOf("f3d4")) << "run " << run;
    EXPECT_GT(queen.score, 300);
  }
}

INSTANTIATE_TEST_SUITE_P(Helpers, ThreadedSearch, ::testing::Values(1, 2, 4, 8));

TEST(ThreadedSearchStops, ShortSearchesWithRandomStopsAllEnd) {
  REQUIRE_ENGINE_MODULE();
  setHelpers(8);
  const char* fens[] = {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", MateInTwoFen,
                        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"};
  RandomState random;
  seedRandom(random, 12345);
  for (int32_t i = 0; i < 60; ++i) {
    const char* fen = fens[i % 3];
    testing_host::clearRecords();
    ASSERT_EQ(moduleEntries().setEnginePosition(fen), 0);
    moduleEntries().resetStopFlags();
    moduleEntries().setTimeControl(TypeMoveTime, 5000, 0, 0, 0);
    std::future<void> search = std::async(std::launch::async, [] { moduleEntries().think(1, ThinkNormal); });
    std::this_thread::sleep_for(std::chrono::milliseconds(drawRandom(random) % 60));
    moduleEntries().stopThinking();
    // A watchdog: a search that does not end within two seconds of its stop
    // is a deadlock.
    ASSERT_EQ(search.wait_for(std::chrono::seconds(2)), std::future_status::ready) << "search " << i << " hangs";
    std::vector<ReportedLine> lines = testing_host::reportedLines();
    ASSERT_FALSE(lines.empty()) << i;
    EXPECT_TRUE(reference::isLegal(reference::gridFromFullFen(fen), lines.back().pv.at(0))) << i;
  }
  setHelpers(0);
}
