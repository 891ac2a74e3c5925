// Hash keys and the transposition table.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/board.h"
#include "engine/hash.h"

namespace engine {
namespace {

TEST(HashKeys, KnownValuesOfTheKingTables) {
  initKeyTables();
  const HashKey* blackKing = pieceKindTable[BlackKing].keyTable;
  const HashKey* whiteKing = pieceKindTable[WhiteKing].keyTable;
  EXPECT_EQ(blackKing[0x00].key, 0x00261E27u);
  EXPECT_EQ(blackKing[0x00].lock, 0x52F6u);
  EXPECT_EQ(blackKing[0x77].key, 0x17277606u);
  EXPECT_EQ(blackKing[0x77].lock, 0x5FE7u);
  EXPECT_EQ(whiteKing[0x00].key, 0x1081218Bu);
  EXPECT_EQ(whiteKing[0x00].lock, 0x7B6Du);
  EXPECT_EQ(&whiteKing[0], &keyTables[5][8]);
}

}  // namespace
}  // namespace engine
