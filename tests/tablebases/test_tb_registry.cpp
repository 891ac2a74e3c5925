// The descriptor table's flags and the piece-count registry.
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

}  // namespace

// Row ids are positions in the table; the index functions single out rows
// 201..265 (three against three with pawns) by id, so those ids must name
// the rows meant.
TEST(TbRegistry, RowTableShape) {
  tbBuildDescriptors();
  for (int i = 0; i < tbRowCount; ++i) EXPECT_EQ(tbDesc[i].id, i);
  EXPECT_STREQ(tbDesc[0].name, "kk");
  EXPECT_STREQ(tbDesc[440].name, "kqqpkq");
  EXPECT_EQ(rowId("kppkpp"), 201);
  EXPECT_EQ(rowId("kqqkqp"), 265);
  // Split rows are all six-man rows.
  for (int i = 0; i < tbRowCount; ++i) {
    if (tbDesc[i].flags & tbSplit) {
      EXPECT_EQ(std::strlen(tbDesc[i].name), 6u) << tbDesc[i].name;
    }
  }
}

TEST(TbRegistry, ParseName) {
  int32_t first[5], second[5];
  tbParseName("krpkr", first, second);
  const int32_t rp[5] = {1, 0, 0, 1, 0}, r[5] = {0, 0, 0, 1, 0};
  EXPECT_EQ(0, std::memcmp(first, rp, sizeof(rp)));
  EXPECT_EQ(0, std::memcmp(second, r, sizeof(r)));
  tbParseName("kqqk", first, second);
  EXPECT_EQ(first[4], 2);
  EXPECT_EQ(second[0] + second[1] + second[2] + second[3] + second[4], 0);
}

TEST(TbRegistry, CountTreeFindsRegisteredRowsBothWays) {
  tbBuildDescriptors();
  tbBuildCountTree();
  tbClearCountTree();
  EXPECT_EQ(find({}), 0);  // kings only: "kk" is never registered
  int krkp = rowId("krkp");
  EXPECT_EQ(find({0, 0, 0, 1, 0, 1, 0, 0, 0, 0}), 0);
  ASSERT_EQ(tbRegisterCounts(tbDesc[krkp]), 1);
  EXPECT_EQ(find({0, 0, 0, 1, 0, 1, 0, 0, 0, 0}), krkp);   // White rook, Black pawn
  EXPECT_EQ(find({1, 0, 0, 0, 0, 0, 0, 0, 1, 0}), -krkp);  // White pawn, Black rook
  int kqkq = rowId("kqkq");
  ASSERT_EQ(tbRegisterCounts(tbDesc[kqkq]), 1);
  EXPECT_EQ(find({0, 0, 0, 0, 1, 0, 0, 0, 0, 1}), kqkq);
  // Five non-king men never match, whatever they are.
  EXPECT_EQ(find({2, 0, 0, 1, 0, 1, 0, 0, 1, 0}), 0);
  EXPECT_EQ(find({5, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0);
  // Building again keeps the tree and what it holds.
  tbBuildCountTree();
  EXPECT_EQ(find({0, 0, 0, 1, 0, 1, 0, 0, 0, 0}), krkp);
  tbClearCountTree();
  EXPECT_EQ(find({0, 0, 0, 1, 0, 1, 0, 0, 0, 0}), 0);
}

TEST(TbRegistry, EveryRowRegisters) {
  tbBuildDescriptors();
  tbBuildCountTree();
  tbClearCountTree();
  for (int i = 1; i < tbRowCount; ++i) EXPECT_EQ(tbRegisterCounts(tbDesc[i]), 1) << tbDesc[i].name;
  // Every row's material now finds the row, and its colour swap -id.
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
  tbClearCountTree();
}
