// The key tables: drawn once from the fixed random sequence and hung on the
// static piece kinds.
#include <cstring>

#include "engine/board/board.h"
#include "engine/board/random.h"
#include "engine/hash/hash.h"

namespace engine {

HashKey keyTables[KeyTableCount][KeyTableEntries];

namespace {

// The White kinds' entries sit in the spare columns of the Black tables.
constexpr int32_t WhiteColumnOffset = 8;
constexpr int32_t BoardSquares = 120;

// A key is two 15-bit halves: the first draw shifted up, the second below.
HashKey drawKey(RandomState& random) {
  uint32_t high = uint32_t(drawRandom(random)) & 0x7FFF;
  uint32_t low = uint32_t(drawRandom(random));
  HashKey k{};
  k.key = (high << 16) + low;
  k.lock = uint16_t(drawRandom(random));
  return k;
}

}  // namespace

void initKeyTables() {
  // The draw order is fixed: the opening book's keys depend on it. Kinds go
  // in index order, each drawing for all its board squares before the next;
  // the empty kind draws too, although nothing reads its table.
  std::memset(keyTables, 0, sizeof keyTables);
  RandomState random;
  seedRandom(random, 0);
  HashKey* table = keyTables[0];
  for (int32_t kindIndex = 0; kindIndex < KindCount; ++kindIndex) {
    pieceKindTable[kindIndex].keyTable = table;
    table = kindIndex == EmptyKind ? keyTables[0] + WhiteColumnOffset : table + KeyTableEntries;
    for (int32_t square = 0; square < BoardSquares; ++square) {
      if (!isOnBoard(square)) continue;
      pieceKindTable[kindIndex].keyTable[square] = drawKey(random);
    }
  }
  std::memset(emptyPieceSquareTable, 0, sizeof emptyPieceSquareTable);
}

}  // namespace engine
