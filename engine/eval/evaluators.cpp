// The entries of the two evaluators: stage 1, the influence passes, the
// square terms, then scaling and the sum, in that order.
#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"

namespace engine {

namespace {

EvalContext startContext(ThreadBoard* board, uint32_t* stateFlags, int32_t clock, int32_t side) {
  EvalContext ctx{};
  ctx.board = board;
  ctx.stateFlags = stateFlags;
  ctx.clock = clock;
  ctx.side = side;
  return ctx;
}

}  // namespace

int32_t evaluateMiddlegame(ThreadBoard* board, uint32_t* stateFlags, int32_t clock, int32_t side) {
  EvalContext ctx = startContext(board, stateFlags, clock, side);
  classifyMiddlegame(ctx);
  computeLineInfluence(board);
  applyLinePressure(board, MoreMaterialAmounts);
  middlegameSquareTerms(ctx);
  return finishMiddlegame(ctx);
}

int32_t evaluateEndgame(ThreadBoard* board, uint32_t* stateFlags, int32_t clock, int32_t side) {
  EvalContext ctx = startContext(board, stateFlags, clock, side);
  classifyEndgame(ctx);
  // A pure pawn ending has no pieces to weigh lines for: every control flag
  // stays clear.
  if (board->materialSum != 0) {
    computeEndgameInfluence(board);
    applyLinePressure(board, ReducedMaterialAmounts);
  }
  endgameSquareTerms(ctx);
  return finishEndgame(ctx);
}

}  // namespace engine
