// Attack tests. A piece attacks a square when its kind's attack bit is set in
// the difference table entry and, for a queen, rook or bishop, every square
// between is empty. Empty squares are recognised by pointer (the board
// record), never by colour, since the edge record also has colour 0.
#include "engine/board/attacks.h"

#include "engine/board/geometry.h"

namespace engine {


bool pieceAttacks(const ThreadBoard* board, const PieceRecord* piece, int32_t from, int32_t target) {
  int32_t attackBit = piece->kindCopy.attackBit;
  if ((attackBits(from, target) & attackBit) == 0) return false;
  if ((attackBit & AttackSlider) == 0) return true;
  // A slider: walk the line; the first occupied square before the target
  // blocks it.
  int32_t step = stepToward(from, target);
  for (int32_t s = from + step; s != target; s += step)
    if (!isEmptySquare(board, s)) return false;
  return true;
}

int32_t findAttacker(int32_t square, const SideRecord* attackers) {
  const ThreadBoard* board = attackers->head.board;
  const PieceRecord* end = boardPiece(board);
  for (const PieceRecord* p = attackers->head.next; p != end; p = p->next)
    if (pieceAttacks(board, p, p->square, square)) return p->square;
  return NoSquare;
}

bool isAttacked(const Position* pos, int32_t square) {
  return findAttacker(square, pos->sideRecord->otherSide) != NoSquare;
}

int32_t threatTarget(int32_t square, const PieceRecord* piece, int32_t classBound) {
  const ThreadBoard* board = piece->board;
  int32_t kindIndex = piece->kindCopy.index;

  // Step 1. Pawns: the more valuable piece on a capture square, else the
  // promotion square ahead when it is free.
  if (kindIndex == WhitePawn || kindIndex == BlackPawn) {
    int32_t side = piece->colour;
    if (side > 0 ? rankOf(square) >= 7 : rankOf(square) <= 0) return NoSquare;
    int32_t left = square + side * 15, right = square + side * 17;
    int32_t leftKind = squareAt(board, left)->kindCopy.index;
    int32_t rightKind = squareAt(board, right)->kindCopy.index;
    // Indices measured from the king of the opponent: 0 king .. 4 knight.
    int32_t leftRank = side > 0 ? leftKind : WhiteKing - leftKind;
    int32_t rightRank = side > 0 ? rightKind : WhiteKing - rightKind;
    int32_t limit = classBound == ThreatClassKing ? 0 : 4;
    bool leftCounts = leftRank <= limit, rightCounts = rightRank <= limit;
    if (leftCounts && (!rightCounts || leftRank <= rightRank)) return left;
    if (rightCounts) return right;
    int32_t seventhRank = side > 0 ? 6 : 1;
    int32_t ahead = square + side * 16;
    if (rankOf(square) == seventhRank && isEmptySquare(board, ahead)) return ahead;
    return NoSquare;
  }

  // Step 2. Other pieces: the opponent's pieces from the far end of their
  // list (most valuable first) while their class is above the bound.
  const PieceRecord* target = board->opponentLastSlot[1 - piece->colour];
  int32_t ownClass = piece->kindCopy.valueClass;
  for (; target->kindCopy.valueClass > classBound; target = target->prev) {
    // A free or captured far-end slot stands off the board.
    if (!isOnBoard(target->square)) continue;
    if (!pieceAttacks(board, piece, square, target->square)) continue;
    if (target->kindCopy.valueClass > ownClass) return target->square;
    const SideRecord* defenders = board->sideByColour[target->colour + 1];
    if (findAttacker(target->square, defenders) == NoSquare) return target->square;
  }
  // Step 3. Nothing worth threatening.
  return NoSquare;
}

}  // namespace engine
