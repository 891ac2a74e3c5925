// The evaluation with more material: stage 1 (material classification,
// base values, draw marks, bishop pair, king zones and shelters) and stages
// 3 and 4 (open files, drawish scaling and the sum over the pieces). The
// square terms of stage 2 live in eval_more_squares.cpp.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"
#include "engine/control/control.h"
#include "engine/control/shared_word.h"

namespace engine {

namespace {

constexpr int32_t KnightQueenBonus = 4;  // a knight beside its own queen
constexpr int32_t BishopRookBonus = 4;   // a bishop beside its own rook
constexpr int32_t PairBonusHeavy = 23;
constexpr int32_t PairBonus = 41;
constexpr int32_t OpenFileScore = 8;
constexpr int32_t DriftPerPly = 8;

// Squares of the shelter rule.
constexpr int32_t B1 = 0x01, G1 = 0x06, B8 = 0x71, G8 = 0x76;

// Where a side's king finds shelter: its castled home while it may still
// castle short or stands on a wing of its first two ranks, else its square.
int32_t shelterSquareOf(ThreadBoard* board, int32_t colour, uint32_t stateFlags) {
  int32_t king = colour > 0 ? board->slots[WhiteKingSlot].square : board->slots[BlackKingSlot].square;
  uint32_t shortCastle = colour > 0 ? StateWhiteKingSide : StateBlackKingSide;
  int32_t homeRank = colour > 0 ? 0 : 7, secondRank = colour > 0 ? 1 : 6;
  int32_t rank = rankOf(king), file = fileOf(king);
  int32_t shortHome = colour > 0 ? G1 : G8, longHome = colour > 0 ? B1 : B8;
  if (stateFlags & shortCastle) return shortHome;
  if (rank == homeRank || rank == secondRank) {
    if (file >= 5) return shortHome;
    if (file <= 2) return longHome;
  }
  return king;
}

// Base values: the first values with heavy material, else the second
// values, knights and bishops gaining beside own queens and rooks.
void setBaseValues(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  bool heavyMark = board->evalBlock.heavyMiddlegameMark != 0;
  for (int32_t index = 0; index < KindCount; ++index) {
    PieceKind& kind = kindOf(board, index);
    if (kind.code == EmptyCode) continue;
    kind.baseValue = kind.code == KingCode || heavyMark ? kind.value : kind.endValue;
  }
  if (!heavyMark) {
    for (int32_t colour : {White, Black}) {
      int32_t s = sideIndex(colour);
      if (ctx.queens[s] > 0) kindOf(board, kindIndexOf(KnightCode, colour)).baseValue += KnightQueenBonus;
      if (ctx.rooks[s] > 0) kindOf(board, kindIndexOf(BishopCode, colour)).baseValue += BishopRookBonus;
    }
  }
  bool queensOn = board->evalBlock.queensOnBoardMark != 0;
  board->evalBlock.passedRankTable = heavyMark || queensOn ? middlegameRankTable2 : middlegameRankTable1;
}

// The draw rules of the evaluation with more material, rules 3 to 8 (1 and
// 2 are shared with the evaluation with reduced material).
void applyMiddlegameDrawRules(EvalContext& ctx) {
  EvalBlock& block = ctx.board->evalBlock;
  const int32_t pW = ctx.pawns[1], pB = ctx.pawns[0], M = ctx.pieceBalance, T = ctx.materialBalance;
  const int32_t kn = ctx.kn, bi = ctx.bi, rk = ctx.rk;
  applySinglePawnRules(ctx);
  // Rule 3: a single pawn against no material edge.
  if ((pB == 1 && T <= 0 && M >= kn - bi) || (pW == 1 && T >= 0 && M <= bi - kn)) block.drawMark = 2;
  // Rule 4: opposite-coloured bishops.
  if (oppositeBishops(ctx)) {
    block.oppositeBishopsMark = 1;
    bool unbalanced = ctx.pieces[1] > 1 && (pW > 4 || pB > 4 || std::abs(pW - pB) > 1);
    if (!unbalanced && block.drawMark < 2)
      block.drawMark = block.pawnFileSpan > (ctx.pieces[1] == 1 ? 5 : 2) ? 1 : 2;
  }
  // Rule 5: bishop and rook's pawns of the wrong colour.
  applyWrongBishopRule(ctx);
  // Rule 6: queen against rook and pawns.
  if (ctx.pieces[1] == 1 && ctx.pieces[0] == 1) {
    if ((ctx.queens[1] == 1 && ctx.rooks[0] == 1 && pW == 0 && pB > 0) ||
        (ctx.queens[0] == 1 && ctx.rooks[1] == 1 && pB == 0 && pW > 0))
      block.drawMark = 2;
  }
  // Rule 7: balanced pieces and pawns on few files.
  if (kn - bi <= M && M <= bi - kn && block.pawnFileSpan <= 4 && std::abs(pW - pB) <= 1)
    block.drawMark = std::max(block.drawMark, 1);
  // Rule 8: too few pawns to convert a small piece edge.
  int32_t minorEdge = 2 * kn - rk;
  if (pW <= (M > minorEdge ? 1 : 2) && pB <= (M < -minorEdge ? 1 : 2)) block.drawMark = std::max(block.drawMark, 1);
}

}  // namespace

void setMiddlegameDrift(EvalContext& ctx) {
  // No drift on a heavy board: its heavy mark set and the material sum at
  // least heavyMaterialThreshold.
  const ThreadBoard* board = ctx.board;
  bool heavyBoard = board->evalBlock.heavyMiddlegameMark && board->materialSum >= heavyMaterialThreshold;
  setFiftyMoveDrift(ctx, !heavyBoard, DriftPerPly);
}

void classifyMiddlegame(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  EvalBlock& block = board->evalBlock;
  const MiddlegameWeights& w = middlegameWeights;
  const int32_t sum = board->materialSum;

  // Step 1. A fresh block: every table and mark is rebuilt below.
  std::memset(&block, 0, sizeof block);
  countMaterial(ctx);

  // Step 2. Files without pawns.
  block.openFileCount = countOpenFiles(board);

  // Step 3. Marks.
  bool queensOn = ctx.queens[0] + ctx.queens[1] > 0;
  block.queensOnBoardMark = queensOn;
  block.heavyMiddlegameMark = queensOn && ctx.rooks[0] + ctx.rooks[1] >= 2 && ctx.pieces[1] >= 2 && ctx.pieces[0] >= 2;
  block.crowdedBoardMark = ctx.pawns[1] + ctx.pieces[1] >= 11 && ctx.pawns[0] + ctx.pieces[0] >= 11;
  ctx.heavy = queensOn && sum >= heavyMaterialThreshold;

  // Step 4. Base values, lone bishops, balances and the pawn files.
  setBaseValues(ctx);
  noteLoneBishops(ctx);
  computeBalances(ctx, MiddlegamePathFactor, MiddlegameOpenFileAmount);

  // Step 5. Castling weights: K weighs king centralisation, A castling.
  if (block.heavyMiddlegameMark) {
    ctx.castleCentre = -w.castleCentreHeavy;
    ctx.castleAway = w.castleAwayHeavy;
  } else {
    ctx.castleCentre = w.kingCentre;
    ctx.castleAway = w.castleAwayLight;
    bool whiteLight = ctx.queens[1] == 0 || ctx.pieces[1] == 1;
    bool blackLight = ctx.queens[0] == 0 || ctx.pieces[0] == 1;
    if (sum < heavyMaterialThreshold && whiteLight && blackLight) {
      block.queenlessEndingMark = 1;
      ctx.castleCentre = queensOn ? w.kingCentreQueenless / 2 : w.kingCentreQueenless;
      ctx.castleAway = 0;
    }
  }

  // Step 6. The fifty-move drift.
  setMiddlegameDrift(ctx);

  // Step 7. Rook-file tables: files a colour's rooks can use count more.
  for (int32_t colour : {White, Black}) {
    int32_t s = sideIndex(colour);
    for (int32_t file = 0; file < FileCount; ++file) {
      int32_t first = w.rookFileFirst, second = w.rookFileSecond, third = w.rookFileThird;
      if (pawnCountOn(board, colour, file) == 0 && ctx.rooks[s] > 0) {
        int32_t step = block.queenlessEndingMark ? 2 * w.rookFileStep : w.rookFileStep;
        first += step;
        second += step;
        third += 2 * step;
      }
      block.rookFileTables[s][0][file] = int16_t(first);
      block.rookFileTables[s][1][file] = int16_t(second);
      block.rookFileTables[s][2][file] = int16_t(third);
    }
  }

  // Draw marks, unless queens and heavy material make the game sharp.
  if (!ctx.heavy) applyMiddlegameDrawRules(ctx);

  // The bishop pair counts once: in the base value and back off S.
  addBishopPair(ctx, queensOn && sum >= heavyMaterialThreshold && block.heavyMiddlegameMark ? PairBonusHeavy
                                                                                           : PairBonus);

  // King zones for the search's king-move test.
  block.kingZoneMap = block.queenlessEndingMark ? nullptr
                      : queensOn                ? kingHomeZoneMap.data()
                                                : identityZoneMap.data();

  // Shelter squares, only with enough material to attack a king.
  for (int32_t colour : {White, Black})
    block.kingShelterSquare[sideIndex(colour)] =
        sum <= bishopRookQueenSum ? NoShelterSquare : shelterSquareOf(board, colour, *ctx.stateFlags);
}

int32_t finishMiddlegame(EvalContext& ctx) {
  EvalBlock& block = ctx.board->evalBlock;
  const int32_t pawnsOnBoard = ctx.pawns[0] + ctx.pawns[1];
  const bool driftPending = (*ctx.stateFlags & StateDriftPending) != 0;

  // The offset that make and the entry read.
  storeIfChanged(evalOffset, openingOffset + 1);

  // Open files reward a minor-piece edge; drawish positions
  // are scaled down instead.
  if (block.drawMark == 0 && (!driftPending || pawnsOnBoard >= 11)) {
    if (block.openFileCount >= 1 && block.openFileCount <= 3) {
      int32_t minorEdge = 2 * ctx.kn - ctx.rk;
      if (ctx.pieceBalance >= minorEdge) ctx.score += OpenFileScore;
      if (ctx.pieceBalance <= -minorEdge) ctx.score -= OpenFileScore;
    }
  } else {
    int32_t factor = 64;
    if (driftPending && ctx.pieces[0] + ctx.pieces[1] < 4)
      factor = fiftyMoveFactor(ctx.clock, block.oppositeBishopsMark ? 18 : 37);
    if (block.drawMark != 0 && factor >= 18) factor = block.drawMark == 2 ? 17 : std::min(factor, 39);
    if (factor != 64) scaleEvaluation(ctx, factor);
  }

  // Stage 4. The sum over the pieces.
  sumPieces(ctx);
  return ctx.score;
}

}  // namespace engine
