// The key tables and the incremental key update of a child position.
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

void xorEntry(Position* child, const PieceKind& kind, int32_t square) {
  child->key ^= kind.keyTable[square].key;
  child->lock = uint16_t(child->lock ^ kind.keyTable[square].lock);
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

void updateHashKey(Position* child) {
  const Position* parent = child->parent;
  ThreadBoard* board = child->board;
  const int32_t from = moveFrom(child->lastMove);
  const int32_t to = moveTo(child->lastMove);
  const PieceRecord* moved = squareAt(board, to);

  // The moving piece leaves `from` and arrives on `to`; the side to move
  // changes.
  child->key = parent->key;
  child->lock = parent->lock;
  xorEntry(child, moved->kindCopy, from);
  xorEntry(child, moved->kindCopy, to);
  child->key ^= BlackToMove;

  const PieceRecord* captured = child->captured;
  if (captured != boardPiece(board)) xorEntry(child, captured->kindCopy, to);

  if ((child->searchFlags & SearchSpecialMove) == 0) return;
  if (moved->kindCopy.code == PawnCode) {
    // En passant: the captured pawn stood behind the to-square, not on it.
    xorEntry(child, captured->kindCopy, to - 16 * child->opponent);
    xorEntry(child, captured->kindCopy, to);
  } else if (moved->kindCopy.code == KingCode) {
    // Castling: the rook moves too.
    if (to - from == 2) {
      const PieceRecord* rook = squareAt(board, from + 1);
      xorEntry(child, rook->kindCopy, to + 1);
      xorEntry(child, rook->kindCopy, to - 1);
    } else {
      const PieceRecord* rook = squareAt(board, from - 1);
      xorEntry(child, rook->kindCopy, to - 2);
      xorEntry(child, rook->kindCopy, to + 1);
    }
  } else {
    // A promotion: a pawn left `from`, not the promoted piece.
    const PieceKind& pawn = pieceKindTable[child->opponent > 0 ? WhitePawn : BlackPawn];
    xorEntry(child, moved->kindCopy, from);
    xorEntry(child, pawn, from);
  }
}

}  // namespace engine
