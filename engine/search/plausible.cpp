// The plausibility test of moves that the search pushes to be tried first
// (killers, refutations, hash moves, threat replies): they come from other
// positions, so each is checked against this one before it is played.
#include "engine/board/attacks.h"
#include "engine/board/board.h"
#include "engine/search/search.h"

namespace engine {

bool isPlausibleMove(const Position* node, Move move) {
  const ThreadBoard* board = node->board;
  int32_t from = moveFrom(move), toByte = moveToByte(move);
  if (!isOnBoard(from) || toByte == NoSquare) return false;
  int32_t to = decodeToSquare(toByte);
  if (!isOnBoard(to) || to == from) return false;

  // The mover is the side to move's; the target holds no piece of its own.
  const PieceRecord* mover = squareAt(board, from);
  if (mover->colour != node->side) return false;
  const PieceRecord* target = squareAt(board, to);
  if (target->colour == node->side) return false;

  int32_t side = node->side;
  bool pawn = mover->kindCopy.code == PawnCode;
  int32_t lastRank = side > 0 ? 7 : 0;
  // Only a pawn reaching the last rank may carry an under-promotion byte.
  if ((toByte & 0x80) != 0 && !(pawn && rankOf(to) == lastRank)) return false;
  if (!pawn) return pieceAttacks(board, mover, from, to);

  // Pawns: a push onto an empty square, a double push from the second rank
  // over an empty square, or a capture of an enemy piece (or en passant).
  int32_t relativeRank = side > 0 ? rankOf(from) : 7 - rankOf(from);
  int32_t difference = (to - from) * side;
  if (difference == 16) return target->colour == 0;
  if (difference == 32)
    return relativeRank == 1 && target->colour == 0 && isEmptySquare(board, from + side * 16);
  if (difference == 15 || difference == 17) {
    if (target->colour == -side) return true;
    return (node->searchFlags & SearchEnPassantValid) != 0 && to == node->enPassantSquare;
  }
  return false;
}

}  // namespace engine
