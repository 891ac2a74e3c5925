// The evaluation with reduced material: exact scores of bare and nearly
// bare boards, the drawn-material rules, the passed-pawn and king terms of
// pure pawn endings, table-level values of the square terms, and
// colour-mirror symmetry over endings.
#include <gtest/gtest.h>

#include <random>

#include "engine/eval_terms.h"
#include "engine/evaluate.h"
#include "helpers/board_builder.h"
#include "helpers/eval_positions.h"

using namespace engine;
using testing_board::squareOf;
using testing_eval::buildEvalPosition;
using testing_eval::EvalPosition;
using testing_eval::runEvaluatorStages;

namespace {

int32_t kingEntry(EvalPosition& ep, int32_t colour, int32_t square) {
  return tableEntry(ep.board.get(), KingBlock, colour, square);
}

// The endgame king-centre part of a king entry (word 23 x 12 / 100 per point).
int32_t centrePart(int32_t colour, int32_t square) {
  int32_t row = colour > 0 ? rankOf(square) : rankOf(square) + 2;
  return kingCentreTable[row][fileOf(square)] * endgameWeights.kingCentre;
}

// A random ending: both kings, up to `pieces` knights, bishops and rooks
// (and now and then a queen), and up to twelve pawns on ranks 2-7.
std::string randomEnding(std::mt19937& rng, int32_t pieces) {
  char cell[8][8];
  for (auto& row : cell)
    for (char& c : row) c = '.';
  auto place = [&](char c, int32_t minRank, int32_t maxRank) {
    for (int32_t tries = 0; tries < 200; ++tries) {
      int32_t f = rng() % 8, r = rng() % 8;
      if (r < minRank || r > maxRank || cell[r][f] != '.') continue;
      cell[r][f] = c;
      return;
    }
  };
  place('K', 0, 7);
  place('k', 0, 7);
  const char* pool = "NnBbRrNnBbRrQq";
  int32_t count = rng() % (pieces + 1);
  for (int32_t i = 0; i < count; ++i) place(pool[rng() % 14], 0, 7);
  int32_t whitePawns = rng() % 7, blackPawns = rng() % 7;
  for (int32_t i = 0; i < whitePawns; ++i) place('P', 1, 6);
  for (int32_t i = 0; i < blackPawns; ++i) place('p', 1, 6);
  std::string field;
  for (int32_t r = 7; r >= 0; --r) {
    int32_t empty = 0;
    for (int32_t f = 0; f < 8; ++f) {
      if (cell[r][f] == '.') {
        ++empty;
        continue;
      }
      if (empty) field += char('0' + empty);
      empty = 0;
      field += cell[r][f];
    }
    if (empty) field += char('0' + empty);
    if (r) field += '/';
  }
  return field;
}

}  // namespace

TEST(EndgameScores, BareKingsChargeTheEnginesOwnSide) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/8/8/8/4K3", White);
  EXPECT_EQ(runEvaluatorStages(ep, White), -30);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  buildEvalPosition(ep, "4k3/8/8/8/8/8/8/4K3", Black);
  EXPECT_EQ(runEvaluatorStages(ep, Black), 30);
}

TEST(EndgameScores, KnightAgainstBareKingIsScaledToFourteenSixtyFourths) {
  // r = 2 x 308 / 3 = 205 off S, then S and the knight's base scaled by
  // 14/64: -45 and 67; the kings' centre values cancel.
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/3N4/8/8/4K3", White);
  EXPECT_EQ(runEvaluatorStages(ep, White), 22);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  EXPECT_EQ(ep.board->kinds[WhiteKnight].baseValue, 67);
  buildEvalPosition(ep, "4k3/8/8/8/3N4/8/8/4K3", White);
  EXPECT_EQ(runEvaluatorStages(ep, Black), 52);  // Black has nothing and is the engine's side
}

TEST(EndgameDrawRules, BishopAgainstBareKingAndTheWrongBishop) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/3B4/8/8/4K3", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  // Dark-squared bishop (c1) and a-pawns: a8 is light, the bishop never
  // covers it.
  buildEvalPosition(ep, "8/8/1k6/8/P7/8/P7/2B1K3", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  // The right bishop (light, f1) with the same pawns: no wrong-bishop mark.
  buildEvalPosition(ep, "8/8/1k6/8/P7/8/P7/4KB2", White);
  runEvaluatorStages(ep, White);
  EXPECT_LT(ep.board->evalBlock.drawMark, 2);
  // Black's version: h1 is light, a dark-squared bishop (f8) never covers it.
  buildEvalPosition(ep, "4kb2/7p/8/7p/8/8/8/1K6", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  buildEvalPosition(ep, "4k1b1/7p/8/7p/8/8/8/1K6", White);  // g8 is light: the right bishop
  runEvaluatorStages(ep, White);
  EXPECT_LT(ep.board->evalBlock.drawMark, 2);
  buildEvalPosition(ep, "8/8/8/8/8/4k3/8/1K6", White);  // bare kings
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
}

TEST(EndgameDrawRules, RookAndPawnAgainstRook) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/4P3/8/r7/4K2R", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  // Two pawns up: no longer marked by that rule.
  buildEvalPosition(ep, "4k3/8/8/8/3PP3/8/r7/4K2R", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 0);
}

TEST(EndgameDrawRules, OppositeBishopsBySpanAndTheirFactor) {
  EvalPosition ep;
  // Lone bishops (c1 dark, c8 light), three pawns each within three files.
  buildEvalPosition(ep, "2b1k3/ppp5/8/8/8/8/PPP5/2B1K3", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.oppositeBishopsMark, 1);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  EXPECT_EQ(ep.board->kinds[WhiteBishop].baseValue, (319 * 14 + 32) >> 6);
  // White's only piece is the bishop: the span must exceed 6 for mark 1.
  buildEvalPosition(ep, "2b1k3/p6p/8/8/8/8/P6P/2B1K3", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 1);
  buildEvalPosition(ep, "2b1k3/p5p1/8/8/8/8/P5P1/2B1K3", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
}

TEST(EndgameScaling, FiftyMoveDriftScalesWithTheClock) {
  // A rook each, three pawns each: no draw mark, the drift sets the factor.
  const char* field = "r3k3/ppp5/8/8/8/8/5PPP/4K2R";
  EvalPosition ep;
  buildEvalPosition(ep, field, White, 0, 90);
  int32_t scaledScore = runEvaluatorStages(ep, White);
  EXPECT_TRUE(ep.pos->stateFlags & StateDriftPending);
  EXPECT_EQ(ep.board->fiftyMoveDrift, 10 * 90);
  EXPECT_EQ(ep.board->kinds[WhiteRook].baseValue, (511 * 5 + 32) >> 6);  // 5/64
  // Without a clock the drift is off and nothing is scaled.
  buildEvalPosition(ep, field, White, 0, 0);
  int32_t fullScore = runEvaluatorStages(ep, White);
  EXPECT_FALSE(ep.pos->stateFlags & StateDriftPending);
  EXPECT_EQ(ep.board->kinds[WhiteRook].baseValue, 511);
  EXPECT_LT(std::abs(scaledScore), std::abs(fullScore) + 1);
  // No pawns: no drift whatever the clock.
  buildEvalPosition(ep, "r3k3/8/8/8/8/8/8/4K2R", White, 0, 90);
  runEvaluatorStages(ep, White);
  EXPECT_FALSE(ep.pos->stateFlags & StateDriftPending);
}

TEST(EndgameSquares, PurePawnPasserAndTheDefendingKing) {
  // White pawn e5, Black to move: the -50 squares lie on ranks 1-3 more
  // than two files away; the pawn's escort squares gain.
  EvalPosition ep;
  buildEvalPosition(ep, "8/8/8/4P3/8/8/8/K6k", Black);
  runEvaluatorStages(ep, Black);
  EXPECT_EQ(ep.board->kinds[WhitePawn].count, 1);
  const int32_t v = (36 * endgameRankTable[4] + 32) >> 6;
  auto passerPart = [&](int32_t colour, const char* name) {
    int32_t square = squareOf(name);
    return kingEntry(ep, colour, square) - centrePart(colour, square);
  };
  EXPECT_EQ(passerPart(Black, "a1"), -50);
  EXPECT_EQ(passerPart(Black, "b3"), -50);
  EXPECT_EQ(passerPart(Black, "c3"), -8);
  EXPECT_EQ(passerPart(Black, "g2"), -8);
  EXPECT_EQ(passerPart(Black, "a5"), -8);  // more than three files away
  EXPECT_EQ(passerPart(Black, "b6"), 0);
  EXPECT_EQ(passerPart(Black, "e6"), v);
  EXPECT_EQ(passerPart(Black, "f8"), v);
  EXPECT_EQ(passerPart(White, "d7"), 6);
  // White to move: ranks 1-4, more than three files away.
  buildEvalPosition(ep, "8/8/8/4P3/8/8/8/K6k", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(passerPart(Black, "a4"), -50);
  EXPECT_EQ(passerPart(Black, "b3"), -8);
  EXPECT_EQ(passerPart(Black, "h1"), -8);
  // With a piece on the board the -50 rule is off (h-pawns keep the draw
  // marks away; they are not passed).
  buildEvalPosition(ep, "8/7p/8/4P3/8/8/7P/K1N4k", Black);
  runEvaluatorStages(ep, Black);
  EXPECT_EQ(passerPart(Black, "a1"), -8);
}

TEST(EndgameSquares, PawnsWeighMoreInPurePawnEndings) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/pp6/8/8/8/8/PP6/4K3", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->kinds[WhitePawn].baseValue, 131);
  EXPECT_EQ(ep.board->kinds[BlackPawn].baseValue, 131);
  for (int32_t s = 0; s < 128; ++s) EXPECT_EQ(ep.board->evalBlock.controlFlagMap[s], 0);
  buildEvalPosition(ep, "4k3/pp6/8/8/8/8/PP6/4KN2", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->kinds[WhitePawn].baseValue, 84);
}

TEST(EndgameSquares, KnightEdgesCentreAndPassedFiles) {
  EvalPosition ep;
  // Pawns on six files: two open, so the centre counts.
  buildEvalPosition(ep, "4k3/pppppp2/8/8/8/8/PPPPPP2/N3K3", White);
  runEvaluatorStages(ep, White);
  ThreadBoard* board = ep.board.get();
  EXPECT_EQ(tableEntry(board, KnightBlock, White, squareOf("a1")), -86);
  EXPECT_EQ(tableEntry(board, KnightBlock, Black, squareOf("h8")), -86);
  EXPECT_EQ(tableEntry(board, KnightBlock, White, squareOf("h4")) - tableEntry(board, KnightBlock, Black, squareOf("h5")),
            0);
  // Open board: no centre bonus at d4 (nothing else touches it here).
  buildEvalPosition(ep, "4k3/8/8/8/8/8/8/N3K3", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, White, squareOf("d4")), 0);
}

TEST(EndgameSquares, PassedPawnsGainLessOnTheCentreFiles) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/6pp/8/8/8/8/6PP/4K3", White);
  runEvaluatorStages(ep, White);
  ASSERT_EQ(ep.board->evalBlock.drawMark, 0);
  // Files without Black pawns nearby: passed-pawn squares; compare b and c.
  ThreadBoard* board = ep.board.get();
  for (int32_t rank = 1; rank <= 6; ++rank) {
    int32_t outer = tableEntry(board, PawnBlock, White, makeSquare(1, rank));
    int32_t inner = tableEntry(board, PawnBlock, White, makeSquare(2, rank));
    EXPECT_EQ(outer - inner, endgameWeights.passedCentreFile) << rank;
  }
}

TEST(EndgameSquares, RookOnAnOpenFileGainsNine) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/pp1ppppp/8/8/8/8/PP1PPPPP/2R1K3", White);
  runEvaluatorStages(ep, White);
  ThreadBoard* board = ep.board.get();
  EXPECT_EQ(board->evalBlock.openFileBonus, 9);
  PieceRecord* rook = squareAt(board, squareOf("c1"));
  EXPECT_EQ(rook->currentValue, rook->kind->pieceSquareTable[squareOf("c1")] + rook->kind->baseValue + 9);
}

TEST(EndgameMirror, MirroredEndingsScoreTheNegatedValue) {
  std::mt19937 rng(1208);
  int32_t compared = 0, pawnEndings = 0;
  for (int32_t i = 0; i < 4000; ++i) {
    std::string field = randomEnding(rng, i % 4);
    int32_t side = rng() % 2 ? White : Black;
    int32_t clock = i % 3 == 0 ? int32_t(rng() % 110) : 0;
    EvalPosition probe;
    buildEvalPosition(probe, field, side);
    if (probe.board->materialSum > middlegameThreshold) continue;
    testing_eval::MirrorPair pair = testing_eval::mirrorPair(field, side, 0, clock);
    if (!pair.compared) continue;
    ++compared;
    if (probe.board->materialSum == 0) ++pawnEndings;
    EXPECT_LE(std::abs(pair.score + pair.mirrorScore), pair.tolerance) << field << " side " << side << " clock " << clock;
  }
  EXPECT_GE(compared, 1000);
  EXPECT_GE(pawnEndings, 200);
}

TEST(EndgameMirror, PurePawnPasserRuleIsNotAMirrorForBlackPawnsWithWhiteToMove) {
  // A Black pawn on d4 with White to move: the -50 reach is df > r + 1 = 4,
  // where the mirror image of White's rule would use r - 1 = 2.
  EvalPosition ep;
  buildEvalPosition(ep, "k7/8/8/8/3p4/8/8/7K", White);
  runEvaluatorStages(ep, White);
  int32_t square = squareOf("h6");  // four files from d, two ranks behind
  EXPECT_EQ(kingEntry(ep, White, square) - centrePart(White, square), -8);
  EvalPosition mirror;
  buildEvalPosition(mirror, testing_eval::mirrorField("k7/8/8/8/3p4/8/8/7K"), Black);
  runEvaluatorStages(mirror, Black);
  int32_t mirrorSquare = squareOf("h3");
  EXPECT_EQ(kingEntry(mirror, Black, mirrorSquare) - centrePart(Black, mirrorSquare), -50);
}

TEST(EvaluatorState, NothingLeaksFromOneCallIntoTheNext) {
  // Each call rebuilds every table, mark, base value and pawn term, so a
  // board evaluated after another position scores as a fresh one.
  std::mt19937 rng(77);
  EvalPosition reused;
  for (int32_t i = 0; i < 200; ++i) {
    std::string first = randomEnding(rng, 3), second = randomEnding(rng, 3);
    EvalPosition fresh;
    buildEvalPosition(fresh, second, White);
    int32_t expected = runEvaluatorStages(fresh, White);
    buildEvalPosition(reused, first, Black);
    runEvaluatorStages(reused, Black);
    // Rebuild the pieces only: the evaluation block and kinds keep what the
    // first evaluation left until the evaluator rewrites them.
    EvalPosition scratch;
    buildEvalPosition(scratch, second, White);
    scratch.board->evalBlock = reused.board->evalBlock;
    for (int32_t k = 0; k < KindCount; ++k) scratch.board->kinds[k].baseValue = reused.board->kinds[k].baseValue;
    EXPECT_EQ(runEvaluatorStages(scratch, White), expected) << first << " then " << second;
    EXPECT_EQ(runEvaluatorStages(scratch, White), expected) << second << " twice";
  }
}
