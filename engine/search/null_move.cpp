// The null-move child: the side to move passes on the same board.
#include "engine/board/makemove.h"
#include "engine/eval/eval_weights.h"
#include "engine/hash/hash.h"
#include "engine/search/search.h"

namespace engine {

void makeNullMove(Position* parent, Position* child) {
  ThreadBoard* board = parent->board;
  child->board = board;
  child->stateFlags = parent->stateFlags;
  child->searchFlags = 0;
  child->side = parent->opponent;
  child->opponent = parent->side;
  child->sideRecord = parent->sideRecord->otherSide;
  child->parent = parent;
  child->matedScore = parent->matedScore + 1;
  child->captured = boardPiece(board);
  child->moveStackTop = child->moveStack;
  child->pieceCursor = &child->sideRecord->head;
  child->pickerStage = StageTacticalFirst;
  child->shuffleCount = 0;
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
