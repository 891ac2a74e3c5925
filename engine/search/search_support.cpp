// Tests and steps shared by the main node, the frontier and quiescence.
#include "engine/search/search_support.h"

#include "engine/board/movegen.h"

namespace engine {

bool isEnPassantCapture(const Position* node, Move move) {
  if ((node->searchFlags & SearchEnPassantValid) == 0) return false;
  if (moveTo(move) != node->enPassantSquare) return false;
  return pieceOn(node, moveFrom(move))->kindCopy.code == PawnCode;
}

int32_t moveGain(const Position* node, Move move) {
  int32_t from = moveFrom(move), to = moveTo(move);
  const PieceRecord* mover = pieceOn(node, from);
  const PieceRecord* target = pieceOn(node, to);
  int32_t gain = mover->kindCopy.pieceSquareTable[to] - mover->kindCopy.pieceSquareTable[from];
  if (target->colour != 0) gain += target->currentValue;
  return gain;
}

bool answersThreat(const Position* node, Move move) {
  int32_t from = moveFrom(move), to = moveTo(move);
  int32_t threatFrom = moveFrom(node->threatMove), threatTo = moveTo(node->threatMove);
  if (from == node->threatenedPiece->square) return true;
  if (to == threatFrom) return true;
  // En passant takes the pawn beside the target square.
  if (isEnPassantCapture(node, move) && to - node->side * 16 == threatFrom) return true;
  // Between the two: the same direction seen from both ends.
  int32_t step = stepToward(threatFrom, threatTo);
  if (step == 0 || to == threatTo) return false;
  return stepToward(threatFrom, to) == step && stepToward(to, threatTo) == step &&
         (attackBits(threatFrom, threatTo) & AttackLine) != 0;
}

bool skippedInTacticalNode(const Position* node, Move move) {
  int32_t to = moveTo(move);
  if (to == moveTo(node->lastMove) || move == node->firstReply) return false;
  return pieceOn(node, moveFrom(move))->kindCopy.code >= pieceOn(node, to)->kindCopy.code;
}

void pushCapturesOnto(Position* node, int32_t target) {
  if (!isOnBoard(target) || pieceOn(node, target)->colour != node->opponent) return;
  ThreadBoard* board = node->board;
  int32_t found[2];
  int32_t count = 0;
  const PieceRecord* end = boardPiece(board);
  for (const PieceRecord* p = firstPiece(node->sideRecord); p != end && count < 2; p = p->next)
    if (pieceAttacks(board, p, p->square, target)) found[count++] = p->square;
  for (int32_t i = count - 1; i >= 0; --i) pushIfPlausible(node, makeMove16(found[i], target));
}

Move takeNextMove(Position* node, TakenMoves* taken, bool capturesOnly, bool* fromStack) {
  if (taken->stackPhase) {
    // A move pushed twice (a killer that is also the hash move) is taken
    // once.
    while (!moveStackEmpty(node)) {
      Move m = popMove(node);
      if (taken->contains(m)) continue;
      if (taken->count < MaxStackedMoves) taken->moves[taken->count++] = m;
      *fromStack = true;
      return m;
    }
    taken->stackPhase = false;
  }
  *fromStack = false;
  return capturesOnly ? generateCaptures(node) : nextMove(node);
}

void recordGoodMove(Position* node, Position* child, Move* killers, Move move, bool atRoot) {
  int32_t to = moveTo(move);
  bool recapture = to == moveTo(node->lastMove);
  if (move != killers[0] && (atRoot || (move != node->firstReply && !recapture))) {
    killers[1] = killers[0];
    killers[0] = move;
  }
  // The side's refutations of a threat against this square.
  if (threatKnown(node) && !hasFirstReply(child) && to != moveFrom(node->threatMove)) {
    int32_t square = node->threatenedPiece->square;
    if (isOnBoard(square)) {
      Move* table = node->sideRecord->refutations;
      table[square] = table[square + 8];
      table[square + 8] = move;
    }
  }
}

void setPv(Move* pv, Move move, const Move* line) {
  pv[0] = move;
  int32_t i = 0;
  if (line != nullptr)
    for (; i < PvCopyLength && line[i] != noMove && isMove(line[i]); ++i) pv[i + 1] = line[i];
  pv[i + 1] = noMove;
}

int32_t kingSquare(const Position* node, int32_t colour) {
  const ThreadBoard* board = node->board;
  const PieceRecord* king = &board->slots[colour > 0 ? WhiteKingSlot : BlackKingSlot];
  return king->colour == colour ? king->square : NoSquare;
}

bool kingAttacked(const Position* node) {
  int32_t square = kingSquare(node, node->side);
  return square != NoSquare && isAttacked(node, square);
}

}  // namespace engine
