// The captured-piece correction of the evaluation entry: a piece that has
// just captured (or made a special move) and can be taken back with profit
// is left out of the material counts while the evaluator runs, so that the
// static score does not credit a capture that the side to move undoes.
#include "engine/board/attacks.h"
#include "engine/eval/evaluate.h"

namespace engine {

PieceRecord* removeRecapturablePiece(Position* pos) {
  ThreadBoard* board = pos->board;
  // Only after a capture or a special move (castling, en passant,
  // promotion); the root and a null move have neither.
  if (pos->captured == nullptr) return nullptr;
  if (pos->captured == boardPiece(board) && (pos->searchFlags & SearchSpecialMove) == 0) return nullptr;

  // The mover stands on the move's real to-square: an under-promotion's
  // to-byte lies off the board and must be decoded first.
  int32_t to = moveTo(pos->lastMove);
  if (!isOnBoard(to)) return nullptr;
  PieceRecord* mover = squareAt(board, to);
  if (mover->colour == 0 || mover->colour == pos->side) return nullptr;
  // A king that has captured is never left out.
  if (mover->kindCopy.code == KingCode) return nullptr;

  // A cheaper attacker wins material whatever defends the square; an equal
  // or dearer one only when nothing defends it.
  int32_t attacker = findAttacker(to, pos->sideRecord);
  if (attacker == NoSquare) return nullptr;
  if (squareAt(board, attacker)->kindCopy.valueClass >= mover->kindCopy.valueClass &&
      findAttacker(to, pos->sideRecord->otherSide) != NoSquare)
    return nullptr;

  // Only the kind's count and the material sum change; pawns are not part
  // of the material sum.
  mover->kind->count -= 1;
  if (mover->kindCopy.code != PawnCode) board->materialSum -= mover->kind->value;
  board->evalScalars.leftOutPiece = mover;
  return mover;
}

void restoreRemovedPiece(ThreadBoard* board, PieceRecord* piece) {
  if (piece == nullptr) return;
  board->evalScalars.leftOutPiece = nullptr;
  piece->kind->count += 1;
  if (piece->kindCopy.code != PawnCode) board->materialSum += piece->kind->value;
}

}  // namespace engine
