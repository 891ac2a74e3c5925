// The evaluation with reduced material: stage 1 (endgame base values, the
// draw rules of the ending, bishop pair) and stages 3 and 4 (open files,
// stronger drawish scaling, the sum, and the charge on the engine's side
// when it has only king and pawns). The square terms of stage 2 live in
// eval_reduced_squares.cpp.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/board/setup.h"
#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"
#include "engine/control/control.h"
#include "engine/control/shared_word.h"

namespace engine {

namespace {

constexpr int32_t PurePawnBonus = 47;  // pawns weigh more in a pure pawn ending
constexpr int32_t PairBonus = 46;
constexpr int32_t OpenFileScore = 7;
constexpr int32_t DriftPerPly = 10, DriftPerPlyPawnsOnly = 20;
constexpr int32_t PawnsOnlyCharge = 30;

// Draw rules of the ending after the two shared single-pawn rules.
void applyEndgameDrawRules(EvalContext& ctx, int32_t materialSum) {
  EvalBlock& block = ctx.board->evalBlock;
  const int32_t pW = ctx.pawns[1], pB = ctx.pawns[0], M = ctx.pieceBalance, T = ctx.materialBalance;
  const int32_t kn = ctx.kn, bi = ctx.bi;
  applySinglePawnRules(ctx);
  if (materialSum != 0 && ((pB == 1 && T <= 0 && M >= kn - bi) || (pW == 1 && T >= 0 && M <= bi - kn)))
    block.drawMark = 2;
  if (oppositeBishops(ctx)) {
    block.oppositeBishopsMark = 1;
    bool unbalanced = ctx.pieces[1] > 1 && (pW > 3 || pB > 3 || std::abs(pW - pB) > 1);
    if (!unbalanced && block.drawMark < 2)
      block.drawMark = block.pawnFileSpan > (ctx.pieces[1] == 1 ? 6 : 2) ? 1 : 2;
  }
  applyWrongBishopRule(ctx);
  if (materialSum != 0) {
    if (kn - bi <= M && M <= bi - kn && block.pawnFileSpan <= 3 && std::abs(pW - pB) <= 1)
      block.drawMark = std::max(block.drawMark, 1);
    if (pW <= 1 && pB <= 1) block.drawMark = std::max(block.drawMark, 1);
  }
}

}  // namespace

void setEndgameDrift(EvalContext& ctx) {
  setFiftyMoveDrift(ctx, true, ctx.board->materialSum == 0 ? DriftPerPlyPawnsOnly : DriftPerPly);
}

void classifyEndgame(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  EvalBlock& block = board->evalBlock;
  const EndgameWeights& w = endgameWeights;
  const int32_t sum = board->materialSum;

  // Step 1. A fresh block and the marks of the ending.
  std::memset(&block, 0, sizeof block);
  countMaterial(ctx);
  block.openFileCount = countOpenFiles(board);
  block.queensOnBoardMark = ctx.queens[0] + ctx.queens[1] > 0;
  block.passedRankTable = endgameRankTable;
  block.kingShelterSquare[0] = block.kingShelterSquare[1] = NoShelterSquare;
  ctx.heavy = false;

  // Step 2. Base values: the second values for both colours.
  for (int32_t index = 0; index < KindCount; ++index) {
    PieceKind& kind = kindOf(board, index);
    if (kind.code == EmptyCode) continue;
    kind.baseValue = kind.code == KingCode ? kind.value : kind.endValue;
    if (kind.code == PawnCode && sum == 0) kind.baseValue += PurePawnBonus;
  }

  // Step 3. Lone bishops, balances, pawn files, the drift.
  noteLoneBishops(ctx);
  computeBalances(ctx, EndgamePathFactor, EndgameOpenFileAmount);
  setEndgameDrift(ctx);

  // Step 4. Rook-file tables.
  for (int32_t colour : {White, Black}) {
    int32_t s = sideIndex(colour);
    for (int32_t file = 0; file < FileCount; ++file) {
      int32_t first = 0, second = w.rookFileSecond, third = 0;
      if (pawnCountOn(board, colour, file) == 0 && ctx.rooks[s] > 0) {
        first += w.rookFileStep;
        second += w.rookFileStep;
        third += 2 * w.rookFileStep;
      }
      block.rookFileTables[s][0][file] = int16_t(first);
      block.rookFileTables[s][1][file] = int16_t(second);
      block.rookFileTables[s][2][file] = int16_t(third);
    }
  }

  applyEndgameDrawRules(ctx, sum);
  addBishopPair(ctx, PairBonus);
  block.kingZoneMap = nullptr;
}

int32_t finishEndgame(EvalContext& ctx) {
  EvalBlock& block = ctx.board->evalBlock;
  const bool driftPending = (*ctx.stateFlags & StateDriftPending) != 0;

  // The offset that make and the entry read.
  storeIfChanged(evalOffset, openingOffset + 1);

  // Open files, or the drawish scale.
  if (block.drawMark == 0 && (!driftPending || ctx.pawns[1] >= 4 || ctx.pawns[0] >= 4)) {
    if (block.openFileCount < 4) {
      int32_t minorEdge = 2 * ctx.kn - ctx.rk;
      if (ctx.pieceBalance >= minorEdge)
        ctx.score += OpenFileScore;
      else if (ctx.pieceBalance <= -minorEdge)
        ctx.score -= OpenFileScore;
    }
  } else {
    int32_t factor = 64;
    if (driftPending) factor = fiftyMoveFactor(ctx.clock, block.oppositeBishopsMark ? 14 : 38);
    if (block.drawMark != 0 && factor >= 15) factor = block.drawMark == 2 ? 14 : std::min(factor, 32);
    if (factor != 64) scaleEvaluation(ctx, factor);
  }

  // Stage 4. The sum, then the engine's own side reduced to king and pawns.
  sumPieces(ctx);
  if (ctx.pieces[1] == 0 && engineSide > 0) return ctx.score - PawnsOnlyCharge;
  if (ctx.pieces[0] == 0 && engineSide < 0) return ctx.score + PawnsOnlyCharge;
  return ctx.score;
}

}  // namespace engine
