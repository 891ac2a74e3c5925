// The evaluation entry: picks the evaluator by the material on the board,
// leaves out a piece that is about to be taken back, and turns the
// evaluator's score (White's view) into the static value of the position
// (side to move's view) with the engine-side bias, the fifty-move drift and
// the contempt setting.
#include "engine/eval/evaluate.h"

#include "engine/board/makemove.h"
#include "engine/board/setup.h"
#include "engine/eval/attack_data.h"
#include "engine/eval/eval_weights.h"
#include "engine/control/control.h"
#include "engine/control/shared_word.h"

namespace engine {

namespace {

// The bias against the engine's own side: larger in a sharp middlegame, so
// that the engine does not overrate its own chances there.
constexpr int32_t HeavyMiddlegameBias = 7;
constexpr int32_t MiddlegameBias = 3;
constexpr int32_t EndgameBias = 2;

// Each evaluation sets the search's futility margin to the evaluator's
// offset less the opening offset less this.
constexpr int32_t FutilityBase = 10;

int32_t engineSideBias(const ThreadBoard* board, bool middlegame) {
  if (!middlegame) return EndgameBias;
  bool queensOn = board->kinds[WhiteQueen].count + board->kinds[BlackQueen].count > 0;
  return queensOn && board->materialSum >= heavyMaterialThreshold ? HeavyMiddlegameBias : MiddlegameBias;
}

}  // namespace

void evaluate(Position* pos, int32_t full) {
  ThreadBoard* board = pos->board;

  // Step 1. At the start of a search the weights follow the engine
  // parameters; the saved evaluations of the previous weights are void.
  if (full) {
    deriveMiddlegameWeights(board);
    freeAttackDataPool();
  }

  // Step 2. The evaluator by the material on the board (before the
  // correction below); the endgame weights are needed only when the root
  // itself is an ending.
  const bool middlegame = board->materialSum > middlegameThreshold;
  if (!middlegame && full) {
    deriveEndgameWeights();
    freeAttackDataPool();
  }

  // Step 3. Castling rights whose rooks have gone.
  fixCastlingRights(pos);

  // Step 4. The evaluator, without a piece that is about to be
  // taken back.
  PieceRecord* removed = removeRecapturablePiece(pos);
  int32_t score = middlegame ? evaluateMiddlegame(board, &pos->stateFlags, pos->halfMoveClock, pos->side)
                             : evaluateEndgame(board, &pos->stateFlags, pos->halfMoveClock, pos->side);
  restoreRemovedPiece(board, removed);

  // Step 5. The bias against the engine's side, then the side to move's
  // point of view.
  int32_t bias = engineSideBias(board, middlegame);
  score = engineSide > 0 ? score - bias : score + bias;
  if (pos->side < 0) score = -score;

  // Step 6. The futility margin and half the evaluator's offset
  // (truncating toward zero).
  const int32_t offset = evalOffset.load(std::memory_order_relaxed);
  storeIfChanged(futilityMargin, offset - openingOffset - FutilityBase);
  score += offset / 2;

  // Step 7. The fifty-move drift, which the evaluator put in force; the
  // board keeps it signed for the engine's side, as make applies it.
  if (pos->stateFlags & StateDriftPending) {
    score = applyFiftyMoveDrift(board, score);
    if (pos->side != engineSide) board->fiftyMoveDrift = -board->fiftyMoveDrift;
  }

  // Step 8. Contempt: the engine's side gives up that much for a draw.
  const int32_t contempt = engineWord(ParamContempt);
  score = pos->side == engineSide ? score + contempt : score - contempt;
  pos->staticValue = score;
}

}  // namespace engine
