#include "engine/board/legality.h"

#include "engine/board/attacks.h"
#include "engine/board/makemove.h"
#include "engine/board/movegen.h"

namespace engine {

bool moverKingAttacked(const Position* child) {
  const PieceRecord* king = &child->board->slots[child->opponent > 0 ? WhiteKingSlot : BlackKingSlot];
  return isOnBoard(king->square) && findAttacker(king->square, child->sideRecord) != NoSquare;
}

bool isLegalMove(Position* position, Move move) {
  Position child{};
  initPosition(&child, position->board);
  makeMove(position, move, &child);
  const bool legal = !moverKingAttacked(&child);
  unmakeMove(&child);
  return legal;
}

Move firstLegalMove(const Position* position) {
  // The walk takes the moves from a copy, so the position's own move stack
  // and picker stay as they were.
  Position walker{};
  copyPosition(&walker, position);
  resetMoveStack(&walker);
  for (Move move = nextMove(&walker); move != noMove; move = nextMove(&walker))
    if (isLegalMove(&walker, move)) return move;
  return noMove;
}

}  // namespace engine
