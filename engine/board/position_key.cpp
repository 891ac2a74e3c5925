// The incremental key update of a child position: the entries of the
// kinds' key tables for every square the move changed, and the side to move.
#include "engine/board/makemove.h"
#include "engine/control/hash_key.h"

namespace engine {

namespace {

void xorEntry(Position* child, const PieceKind& kind, int32_t square) {
  child->key ^= kind.keyTable[square].key;
  child->lock = uint16_t(child->lock ^ kind.keyTable[square].lock);
}

}  // namespace

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
