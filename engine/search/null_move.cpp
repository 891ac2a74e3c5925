// The null-move child: the side to move passes on the same board.
#include "engine/board/makemove.h"
#include "engine/eval/eval_weights.h"
#include "engine/hash/hash.h"
#include "engine/search/search.h"

namespace engine {

void makeNullMove(Position* parent, Position* child) {
  carryParentState(parent, child);
  child->matedScore = parent->matedScore + 1;
  child->captured = boardPiece(parent->board);
  child->staticValue = evalOffset.load(std::memory_order_relaxed) - parent->staticValue;
  // The threat found against the parent is the first thing to try here.
  if ((parent->searchFlags & SearchThreatKnown) != 0)
    child->firstReply = parent->threatMove;
  else
    child->firstReply = makeMove16(moveFrom(child->firstReply), NoSquare);
  child->lastMove = noMove;
  child->halfMoveClock = parent->halfMoveClock + 1;
  child->moverPreviousValue = 0;
  child->key = parent->key ^ BlackToMove;
  child->lock = parent->lock;
}

}  // namespace engine
