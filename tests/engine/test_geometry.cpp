// The geometry tables against the board's geometry for every pair of board
// squares.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "engine/board/geometry.h"

using namespace engine;

namespace {

std::vector<int> boardSquares() {
  std::vector<int> squares;
  for (int rank = 0; rank < 8; ++rank)
    for (int file = 0; file < 8; ++file) squares.push_back(rank * 16 + file);
  return squares;
}

// The 0x88 steps of the pieces, written out here so that the tables are
// judged against the board's geometry and not against the engine's own
// direction table.
const int RookSteps[4] = {1, -1, 16, -16};
const int BishopSteps[4] = {17, -17, 15, -15};
const int KnightSteps[8] = {18, -18, 14, -14, 33, -33, 31, -31};

// Walks from `from` by `step` until the edge; true when it meets `to`.
bool rayReaches(int from, int to, int step) {
  for (int s = from + step; (s & 0x88) == 0; s += step)
    if (s == to) return true;
  return false;
}

}  // namespace

TEST(Geometry, DifferenceTablesMatchDefinitionsForEveryPair) {
  std::set<int> seen;
  for (int from : boardSquares()) {
    for (int to : boardSquares()) {
      if (from == to) continue;
      int d = to - from;
      seen.insert(d);
      int df = (to & 7) - (from & 7), dr = (to >> 4) - (from >> 4);
      int adf = std::abs(df), adr = std::abs(dr);
      EXPECT_EQ(squareDistance(from, to), std::max(adf, adr));

      // Attack bits by direct look at the board, one property each.
      int bits = attackBits(from, to);
      EXPECT_EQ((bits & 1) != 0, adf <= 1 && adr <= 1) << from << " " << to;
      bool rookLine = false, bishopLine = false;
      for (int step : RookSteps) rookLine |= rayReaches(from, to, step);
      for (int step : BishopSteps) bishopLine |= rayReaches(from, to, step);
      EXPECT_EQ((bits & 2) != 0, rookLine || bishopLine);
      EXPECT_EQ((bits & 4) != 0, rookLine);
      EXPECT_EQ((bits & 8) != 0, bishopLine);
      bool knight = false;
      for (int step : KnightSteps) knight |= from + step == to;
      EXPECT_EQ((bits & 0x10) != 0, knight);
      EXPECT_EQ((bits & 0x20) != 0, (d == 15 || d == 17));
      EXPECT_EQ((bits & 0x40) != 0, (d == -15 || d == -17));

      // The step: the direction whose ray meets the target, or the knight jump.
      int expectedStep = 0;
      for (int step : RookSteps)
        if (rayReaches(from, to, step)) expectedStep = step;
      for (int step : BishopSteps)
        if (rayReaches(from, to, step)) expectedStep = step;
      if (knight) expectedStep = d;
      EXPECT_EQ(stepToward(from, to), expectedStep) << from << " " << to;
    }
  }
  // Differences that no pair of board squares has: distance 8, no bits, no step.
  for (int d = -119; d <= 119; ++d) {
    if (d == 0 || seen.count(d)) continue;
    EXPECT_EQ(distanceTable[d + DifferenceOffset], 8);
    EXPECT_EQ(attackBitsTable[d + DifferenceOffset], 0);
    EXPECT_EQ(stepTable[d + DifferenceOffset], 0);
  }
}
