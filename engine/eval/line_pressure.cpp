// Line pressure: along the lines of every bishop, rook, queen and king, the
// first piece met decides what the line threatens. Behind it (first scan)
// the opponent's more valuable pieces stand pinned or skewered, so they are
// worth less there; beyond it (second scan) the opponent's cheaper pieces
// would pin it or uncover an attack on the slider, so they are worth more
// on squares from which they reach the slider.
#include "engine/board/geometry.h"
#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"

namespace engine {

namespace {

// The amounts of one evaluator, by what the first piece on the line is.
struct PressureAmounts {
  // First scan (lowering behind the piece met).
  int32_t firstPawn;
  int32_t firstOwn, firstOwnCrowded;
  int32_t firstEnemyCovered, firstEnemyCoveredCrowded;  // a pawn of its own colour attacks it
  int32_t firstEnemy;
  // Second scan (raising beyond the piece met).
  int32_t secondPawn;
  int32_t secondOwnCovered, secondOwnCoveredCrowded;  // a pawn of the slider's colour attacks it
  int32_t secondOwn;
  int32_t secondEnemy, secondEnemyCrowded;
};

constexpr PressureAmounts MoreMaterial = {0, 2, 4, 2, 1, 10, 0, 2, 1, 10, 2, 4};
constexpr PressureAmounts ReducedMaterial = {8, 4, 4, 2, 2, 0, 8, 2, 2, 0, 4, 4};

// Direction ranges in directionTable.
constexpr int32_t FirstOrthogonal = 0, FirstDiagonal = 4, DirectionsEnd = 8;

// Does a pawn of the colour attack the square?
bool pawnOfColourAttacks(const ThreadBoard* board, int32_t square, int32_t colour) {
  return controlFlags(board, square) & (colour > 0 ? ControlWhitePawnAttack : ControlBlackPawnAttack);
}

// Could the kind move from `from` onto `to` (the path aside)?
bool kindReaches(const PieceKind& kind, int32_t from, int32_t to) { return (attackBits(from, to) & kind.attackBit) != 0; }

// The first occupied square from `from` along the step (off the board when
// the line runs out first).
int32_t firstOccupied(const ThreadBoard* board, int32_t from, int32_t step) {
  int32_t t = from + step;
  while (isOnBoard(t) && isEmptySquare(board, t)) t += step;
  return t;
}

// First scan of one direction: the opponent's kinds above the slider lose
// `amount` on the squares behind the piece met, up to and including the
// first own piece or enemy piece of the slider's code or lower.
void lowerBehind(ThreadBoard* board, const PieceRecord* slider, int32_t step, const PressureAmounts& a,
                 bool crowded) {
  const int32_t from = slider->square, colour = slider->colour, code = slider->kindCopy.code;
  const int32_t t = firstOccupied(board, from, step);
  if (!isOnBoard(t)) return;
  const PieceRecord* met = squareAt(board, t);
  // A piece that could take the slider is no pin.
  if (kindReaches(met->kindCopy, t, from)) return;

  int32_t amount;
  if (met->kindCopy.code == PawnCode)
    amount = a.firstPawn;
  else if (met->colour == colour)
    amount = crowded ? a.firstOwnCrowded : a.firstOwn;
  else if (pawnOfColourAttacks(board, t, met->colour))
    amount = crowded ? a.firstEnemyCoveredCrowded : a.firstEnemyCovered;
  else
    amount = a.firstEnemy;
  if (amount == 0) return;

  for (int32_t u = t + step; isOnBoard(u); u += step) {
    for (int32_t target = code + 1; target <= KingCode; ++target) addEntry(board, blockOf(target), -colour, u, -amount);
    const PieceRecord* there = squareAt(board, u);
    if (there->colour == colour || (there->colour == -colour && there->kindCopy.code <= code)) break;
  }
}

// Second scan of one direction: beyond the piece met, the opponent's kinds
// below the slider gain `amount` on the squares from which they could move
// onto the slider, up to and including the next occupied square.
void raiseBeyond(ThreadBoard* board, const PieceRecord* slider, int32_t step, const PressureAmounts& a,
                 bool crowded) {
  const int32_t from = slider->square, colour = slider->colour, code = slider->kindCopy.code;
  const int32_t t = firstOccupied(board, from, step);
  if (!isOnBoard(t)) return;
  const PieceRecord* met = squareAt(board, t);

  int32_t amount;
  if (met->kindCopy.code == PawnCode)
    amount = a.secondPawn;
  else if (met->colour == colour)
    amount = pawnOfColourAttacks(board, t, colour) ? (crowded ? a.secondOwnCoveredCrowded : a.secondOwnCovered)
                                                   : a.secondOwn;
  else
    amount = crowded ? a.secondEnemyCrowded : a.secondEnemy;
  if (amount == 0) return;

  for (int32_t u = t + step; isOnBoard(u); u += step) {
    const PieceRecord* there = squareAt(board, u);
    if (!kindReaches(met->kindCopy, t, u)) {
      for (int32_t target = PawnCode; target < code; ++target) {
        const int32_t kindIndex = kindIndexOf(target, -colour);
        if (there->kindCopy.index == kindIndex) continue;
        if (kindReaches(kindOf(board, kindIndex), u, from)) addEntry(board, blockOf(target), -colour, u, amount);
      }
    }
    if (there != boardPiece(board)) break;
  }
}

}  // namespace

void applyLinePressure(ThreadBoard* board, PressureAmountSet amounts) {
  const PressureAmounts& a = amounts == MoreMaterialAmounts ? MoreMaterial : ReducedMaterial;
  const bool crowded = board->evalBlock.crowdedBoardMark != 0;
  for (int32_t colour : {White, Black}) {
    for (PieceRecord* piece = firstPiece(sideRecordOf(board, colour)); piece != boardPiece(board);
         piece = piece->next) {
      const int32_t code = piece->kindCopy.code;
      if (code < BishopCode) continue;
      // First scan along the slider's own lines; kings have none.
      if (code != KingCode) {
        const int32_t first = code == BishopCode ? FirstDiagonal : FirstOrthogonal;
        const int32_t end = code == RookCode ? FirstDiagonal : DirectionsEnd;
        for (int32_t d = first; d < end; ++d) lowerBehind(board, piece, directionTable[d], a, crowded);
      }
      // Second scan: rooks along the diagonals, queens and kings along all
      // eight lines; bishops have none.
      if (code == BishopCode) continue;
      const int32_t first = code == RookCode ? FirstDiagonal : FirstOrthogonal;
      for (int32_t d = first; d < DirectionsEnd; ++d) raiseBeyond(board, piece, directionTable[d], a, crowded);
    }
  }
}

}  // namespace engine
