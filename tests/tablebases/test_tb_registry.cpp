// The descriptor table and the piece-count registry.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/tb_rows.h"
#include "tablebases/endgame_table.h"

using namespace tablebases;
using testing_tb::rowId;

namespace {

// Counter order: White p n b r q, Black p n b r q.
int find(std::initializer_list<int> counts) {
  int32_t c[tbCounterCount] = {};
  int i = 0;
  for (int v : counts) c[i++] = v;
  return tbFindEndgame(c);
}

int menOf(const int32_t counts[5]) { return counts[0] + counts[1] + counts[2] + counts[3] + counts[4]; }

}  // namespace

// The index functions single out the six-man rows with two men a side and
// pawns by their ids: exactly the rows of that material must get the
// pawns-first digit order, whatever the table's order.
TEST(TbRegistry, TwoASidePawnRowsAreTheOnesNumberedPawnsFirst) {
  tbBuildDescriptors();
  for (int i = 1; i < tbRowCount; ++i) {
    int32_t first[5], second[5];
    tbParseName(tbDesc[i].name, first, second);
    bool twoASideWithPawns = menOf(first) == 2 && menOf(second) == 2 && first[0] + second[0] > 0;
    for (int side = 0; side < 2; ++side)
      EXPECT_EQ(tbDesc[i].indexFunction[side].plan.ascendingTrailing, twoASideWithPawns) << tbDesc[i].name;
  }
}

// Every row registered: its material finds the row, the colours swapped
// find -id (a symmetric row +id both ways); material of no row finds 0.
TEST(TbRegistry, EveryRowFoundByItsMaterialBothWays) {
  tbBuildDescriptors();
  tbBuildCountTree();
  tbClearCountTree();
  const int krkp = rowId("krkp");
  EXPECT_EQ(find({0, 0, 0, 1, 0, 1, 0, 0, 0, 0}), 0);  // not registered yet
  for (int i = 1; i < tbRowCount; ++i) EXPECT_EQ(tbRegisterCounts(tbDesc[i]), 1) << tbDesc[i].name;
  EXPECT_EQ(find({0, 0, 0, 1, 0, 1, 0, 0, 0, 0}), krkp);   // White rook, Black pawn
  EXPECT_EQ(find({1, 0, 0, 0, 0, 0, 0, 0, 1, 0}), -krkp);  // White pawn, Black rook
  for (int i = 1; i < tbRowCount; ++i) {
    int32_t first[5], second[5], c[tbCounterCount];
    tbParseName(tbDesc[i].name, first, second);
    for (int k = 0; k < 5; ++k) {
      c[k] = first[k];
      c[5 + k] = second[k];
    }
    // Rows with the same men on both sides but not marked symmetric (kpkp)
    // share one leaf, which the colour-swapped entry writes last.
    bool sameMen = std::memcmp(first, second, sizeof(first)) == 0;
    bool symmetric = (tbDesc[i].flags & tbSymmetric) != 0;
    EXPECT_EQ(tbFindEndgame(c), sameMen && !symmetric ? -i : i) << tbDesc[i].name;
    for (int k = 0; k < 5; ++k) {
      c[k] = second[k];
      c[5 + k] = first[k];
    }
    EXPECT_EQ(tbFindEndgame(c), symmetric ? i : -i) << tbDesc[i].name;
  }
  // Kings alone ("kk" is never registered), and five men, whatever they are.
  EXPECT_EQ(find({}), 0);
  EXPECT_EQ(find({2, 0, 0, 1, 0, 1, 0, 0, 1, 0}), 0);
  EXPECT_EQ(find({5, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0);
  // Building again keeps the tree and what it holds; clearing empties it.
  tbBuildCountTree();
  EXPECT_EQ(find({0, 0, 0, 1, 0, 1, 0, 0, 0, 0}), krkp);
  tbClearCountTree();
  EXPECT_EQ(find({0, 0, 0, 1, 0, 1, 0, 0, 0, 0}), 0);
}
