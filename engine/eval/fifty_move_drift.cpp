// The evaluation entry's fifty-move drift: as the half-move clock grows the
// evaluators set a drift, and the entry moves the score toward zero by it.
#include "engine/control/control.h"
#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"

namespace engine {

void setFiftyMoveDrift(EvalContext& ctx, bool applies, int32_t perPly) {
  ThreadBoard* board = ctx.board;
  *ctx.stateFlags &= ~StateDriftPending;
  board->fiftyMoveDrift = 0;
  const int32_t word = engineWord(ParamFiftyMoveDrift);
  if (!applies || ctx.clock < 1 || ctx.pawns[0] + ctx.pawns[1] == 0 || word == 0) return;
  board->fiftyMoveDrift = perPly * ctx.clock * word / 100;
  *ctx.stateFlags |= StateDriftPending;
}

int32_t applyFiftyMoveDrift(ThreadBoard* board, int32_t score) {
  int32_t drift = board->fiftyMoveDrift;
  // Beyond 1.5 drifts either way the score loses one drift toward zero; in
  // between it keeps a third of itself, so it never crosses zero. A drift
  // toward a negative score is stored negated for make to reuse.
  if (score < (3 * drift) / 2) {
    drift = score <= (-3 * drift) / 2 ? -drift : (2 * score) / 3;
    board->fiftyMoveDrift = drift;
  }
  return score - drift;
}

}  // namespace engine
