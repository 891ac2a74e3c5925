// A four-man table made by the retrograde solver (KQKR), written at the
// indices the index functions give, plain and compressed, and probed back
// through a cache far smaller than the table: the probe must give the
// solver's distance for every position, both sides to move, also with the
// colours swapped.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "helpers/retrograde_files.h"
#include "helpers/retrograde_four.h"
#include "helpers/tb_probe_setup.h"
#include "helpers/tb_rows.h"
#include "helpers/temp_dir.h"
#include "tablebases/endgame_table.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

using namespace tablebases;
using testing_tb::FourManSolution;
using testing_tb::Man;
using testing_tb::storedByte;

namespace {

// Instrumented builds write and probe a sample; optimized builds every
// position. The 32-bit build may run under an emulator, too slow for the
// solver: there the three-man tests stand for the probe.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__OPTIMIZE__)
constexpr size_t sampleStride = 101;
#else
constexpr size_t sampleStride = 1;
#endif

// Is the position in the sample (its twin in a seventh of it)?
bool sampled(int side, int wk, int wq, int bk, int br, bool twin) {
  size_t n = FourManSolution::indexOf(side, wk, wq, bk, br);
  return n % sampleStride == 0 && (!twin || (n / sampleStride) % 7 == 0);
}

constexpr int8_t whiteKing = 12, whiteQueen = 11, blackKing = 0, blackRook = 2, empty = 6;

const FourManSolution& kqkr() { return testing_tb::solveFourMen(Man::Queen, Man::Rook); }

// Both sides' tables of kqkr; every symmetric image of a position must
// land on an index holding the same value.
std::vector<int8_t> kqkrTable(int side) {
  int conflicts = 0, outside = 0;
  std::vector<int8_t> table = testing_tb::kqkrTable(
      kqkr(), side, [](size_t n) { return n % sampleStride == 0; }, &conflicts, &outside);
  EXPECT_EQ(outside, 0) << "side " << side;
  EXPECT_EQ(conflicts, 0) << "side " << side;
  return table;
}

// Probes the positions of one White king square (a sample in instrumented
// builds), or a sample of their colour-swapped twins; the number of
// mismatches.
int probeMismatches(int wk, bool swapped) {
  int mismatches = 0;
  int8_t board[64];
  for (int side = 0; side < 2; ++side)
    for (int bk = 0; bk < 64; ++bk)
      for (int wq = 0; wq < 64; ++wq)
        for (int br = 0; br < 64; ++br) {
          int16_t v = kqkr().at(side, wk, wq, bk, br);
          if (v == testing_tb::illegal || !sampled(side, wk, wq, bk, br, swapped)) continue;
          std::fill(board, board + 64, empty);
          // The swapped twin: the board turned over and the colours exchanged.
          int flip = swapped ? 56 : 0;
          board[wk ^ flip] = swapped ? int8_t(12 - whiteKing) : whiteKing;
          board[wq ^ flip] = swapped ? int8_t(12 - whiteQueen) : whiteQueen;
          board[bk ^ flip] = swapped ? int8_t(12 - blackKing) : blackKing;
          board[br ^ flip] = swapped ? int8_t(12 - blackRook) : blackRook;
          int32_t mover = (side == 0) != swapped ? 1 : -1;
          int32_t score = 99999;
          int32_t found = tbProbe(board, mover, 0, &score);
          bool representable = storedByte(v) != 127;
          bool right = representable ? found == 1 && score == testing_tb::tableDistance(v) : found == 0 && score == 99999;
          if (!right && ++mismatches <= 5)
            ADD_FAILURE() << "side " << side << " K" << wk << " Q" << wq << " k" << bk << " r" << br << " swapped "
                          << swapped << ": solver " << v << ", probe " << found << " " << score;
        }
  return mismatches;
}

class TbFourMen : public ::testing::Test {
 protected:
  ScopedTempDir dir{"quillon_tb4_"};
  testing_tb::CacheMemory cache;
  void TearDown() override { tbInitialize(nullptr); }
  // Registers the tables and gives the cache `slots` slots.
  void install(bool compressed, uint32_t slots) {
    for (int side = 0; side < 2; ++side)
      testing_tb::writeTable(dir.path, side == 0 ? "kqkr.nbw" : "kqkr.nbb", kqkrTable(side), compressed);
    ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 4);
    ASSERT_EQ(cache.give(slots), 1);
    tbHits = 0;
  }
};

}  // namespace

// One test, so the solver runs once per test program.
TEST_F(TbFourMen, KqkrTablesAgreeWithTheSolver) {
#if defined(__i386__)
  GTEST_SKIP() << "32-bit build: the solver is left to the 64-bit builds";
#endif
  const FourManSolution& s = kqkr();
  EXPECT_EQ(testing_tb::longestWin(s), 35);
  // Black to move and mated: White Kb6, Qa7; Black Ka8, Rh1.
  EXPECT_EQ(s.at(1, 41, 48, 56, 7), testing_tb::lossNow);
  // White Kd1, Qe5; Black Ka8, Re8 to move: Rxe5 leaves Black a won rook ending.
  EXPECT_GT(s.at(1, 3, 36, 56, 60), 0);

  // Plain files through 16 slots, a small part of the table: every
  // position, and a sample of their colour-swapped twins.
  const uint64_t blocks = (tbDesc[testing_tb::rowId("kqkr")].positions[0] + 8191) / 8192;
  install(false, 16);
  ASSERT_LT(16u * 8, blocks);
  int mismatches = 0;
  for (int wk = 0; wk < 64; ++wk)
    for (bool swapped : {false, true}) mismatches += probeMismatches(wk, swapped);
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(tbHits.load(), 0u);

  // Compressed files (probes from threads: test_threads_tb_probe).
  TearDown();
  std::filesystem::remove(dir.path / "kqkr.nbw");
  std::filesystem::remove(dir.path / "kqkr.nbb");
  install(true, 16);
  mismatches = 0;
  for (int wk = 0; wk < 64; ++wk) mismatches += probeMismatches(wk, false);
  EXPECT_EQ(mismatches, 0);
}
