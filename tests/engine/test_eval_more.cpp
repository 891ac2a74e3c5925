// The evaluation with more material and the pawn-file analysis: pawn
// records, marks and path values on hand-built pawn structures, the draw
// rules and the bishop pair at their bounds, trapped pieces, table-level
// values of the square terms, and colour-mirror symmetry of the stages.
#include <gtest/gtest.h>

#include <random>

#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/eval_positions.h"
#include "helpers/random_positions.h"

using namespace engine;
using testing_board::squareOf;
using testing_eval::buildEvalPosition;
using testing_eval::EvalPosition;
using testing_eval::runEvaluatorStages;

namespace {

// Runs only the pawn-file analysis, with the queen-free rank table.
void analyseOnly(EvalPosition& ep) {
  ThreadBoard* board = ep.board.get();
  board->evalBlock.openFileCount = countOpenFiles(board);
  board->evalBlock.passedRankTable = middlegameRankTable1;
  analysePawnFiles(board, MiddlegamePathFactor, MiddlegameOpenFileAmount);
}

int16_t pawnTerm(EvalPosition& ep, int32_t colour, const char* square, bool spare) {
  return sideRecordOf(ep.board.get(), colour)->pawnTerms[squareOf(square) + (spare ? 8 : 0)];
}

// Stage 1 of the evaluation with more material, returning S after it.
EvalContext classify(EvalPosition& ep) {
  EvalContext ctx{};
  ctx.board = ep.board.get();
  ctx.stateFlags = &ep.pos->stateFlags;
  ctx.clock = ep.pos->halfMoveClock;
  ctx.side = ep.pos->side;
  classifyMiddlegame(ctx);
  return ctx;
}

}  // namespace

TEST(PawnFiles, NoPawnsLeaveNoRecordsMarksOrBonus) {
  EvalPosition ep;
  buildEvalPosition(ep, "r3k3/8/8/8/8/8/8/4K2R", White);
  analyseOnly(ep);
  const EvalBlock& block = ep.board->evalBlock;
  EXPECT_EQ(block.pawnFileSpan, -9);
  EXPECT_EQ(block.openFileBonus, 0);  // eight open files
  for (int32_t s = 0; s < 128; ++s) {
    EXPECT_EQ(ep.board->white.pawnMarks[s], 0);
    EXPECT_EQ(ep.board->black.pawnMarks[s], 0);
    EXPECT_EQ(ep.board->white.pawnTerms[s], 0);
    EXPECT_EQ(ep.board->black.pawnTerms[s], 0);
  }
}

TEST(PawnFiles, PathValuesNeedExactlyOneStopperFile) {
  const int32_t value = (middlegameRankTable1[4] * 49 + 32) >> 6;
  EvalPosition ep;
  // Stoppers on both neighbouring files: nothing.
  buildEvalPosition(ep, "4k3/3p1p2/8/4P3/8/8/8/4K3", White);
  analyseOnly(ep);
  for (int32_t s = 0; s < 128; ++s) EXPECT_EQ(ep.board->black.pawnTerms[s], 0) << s;

  // Only the right neighbour: Black gains on f6 and f7 when the pawn leaves.
  buildEvalPosition(ep, "4k3/5p2/8/4P3/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_EQ(pawnTerm(ep, Black, "f6", false), value);
  EXPECT_EQ(pawnTerm(ep, Black, "f7", false), value);
  EXPECT_EQ(pawnTerm(ep, Black, "f5", false), 0);
  EXPECT_EQ(pawnTerm(ep, Black, "e6", false), 0);

  // Only the left neighbour: only d7.
  buildEvalPosition(ep, "4k3/3p4/8/4P3/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_EQ(pawnTerm(ep, Black, "d7", false), value);
  EXPECT_EQ(pawnTerm(ep, Black, "d6", false), 0);

  // A stopper on the same file: the spare column (gained only on capture).
  buildEvalPosition(ep, "4k3/4p3/8/4P3/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_EQ(pawnTerm(ep, Black, "e6", true), value);
  EXPECT_EQ(pawnTerm(ep, Black, "e7", true), value);
  EXPECT_EQ(pawnTerm(ep, Black, "e6", false), 0);
}

TEST(PawnFiles, ReachContactAndSupportMarksOfALonePawn) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/8/8/4P3/4K3", White);
  analyseOnly(ep);
  SideRecord* white = &ep.board->white;
  SideRecord* black = &ep.board->black;
  // Attacks now and after one or two steps.
  for (const char* name : {"d3", "f3", "d4", "f4", "d5", "f5"}) EXPECT_TRUE(white->pawnMarks[squareOf(name)] & ReachMark) << name;
  for (const char* name : {"d6", "f6", "e3", "e4"}) EXPECT_FALSE(white->pawnMarks[squareOf(name)] & ReachMark) << name;
  for (const char* name : {"e2", "d3", "f3"}) EXPECT_TRUE(white->pawnMarks[squareOf(name)] & ContactMark) << name;
  // Support runs back from the reach marks on the d- and f-files.
  for (const char* name : {"d2", "d3", "d5", "f2", "f5"}) EXPECT_TRUE(white->pawnMarks[squareOf(name)] & SupportMark) << name;
  // The walk ends on the second rank; d6 lies beyond the reach.
  for (const char* name : {"d1", "d6", "e5", "e2"}) EXPECT_FALSE(white->pawnMarks[squareOf(name)] & SupportMark) << name;
  // An enemy pawn attacks those squares: Black's support mark.
  EXPECT_TRUE(black->pawnMarks[squareOf("d3")] & SupportMark);
  EXPECT_TRUE(black->pawnMarks[squareOf("f3")] & SupportMark);
  EXPECT_EQ(ep.board->evalBlock.pawnFileSpan, 0);
  EXPECT_EQ(ep.board->evalBlock.openFileBonus, 0);  // seven open files
}

TEST(PawnFiles, ContactAheadStopsTheReach) {
  EvalPosition ep;
  // A Black pawn on d5 attacks e4: the e2 pawn reaches only rank 3's attacks.
  buildEvalPosition(ep, "4k3/8/8/3p4/8/8/4P3/4K3", White);
  analyseOnly(ep);
  SideRecord* white = &ep.board->white;
  EXPECT_TRUE(white->pawnMarks[squareOf("f4")] & ReachMark);
  EXPECT_FALSE(white->pawnMarks[squareOf("f5")] & ReachMark);
}

TEST(PawnFiles, PassedLimitIgnoresAPawnDiagonallyInFront) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/3p4/4P3/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_GE(4, pawnFile(ep.board.get(), White, 4).passedLimit);  // e5 passed
  buildEvalPosition(ep, "4k3/3p4/8/4P3/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_LT(4, pawnFile(ep.board.get(), White, 4).passedLimit);  // d7 stops it
  // Black's d7 pawn: the White e5 pawn two ranks ahead on the
  // neighbouring file stops it too.
  EXPECT_GT(6, pawnFile(ep.board.get(), Black, 3).passedLimit);
  buildEvalPosition(ep, "4k3/3p4/4P3/8/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_LE(6, pawnFile(ep.board.get(), Black, 3).passedLimit);  // e6 attacks d7: still passed
  EXPECT_EQ(pawnFile(ep.board.get(), White, 4).highestPawnRank, 5);
  EXPECT_EQ(pawnFile(ep.board.get(), White, 3).highestPawnRank, 0);
  EXPECT_EQ(pawnFile(ep.board.get(), Black, 3).lowestPawnRank, 6);
}

TEST(PawnFiles, OpenFileBonusNeedsFewerThanFourOpenFiles) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/pppp4/8/8/8/8/1PPP4/4K3", White);  // e..h open: four
  analyseOnly(ep);
  EXPECT_EQ(ep.board->evalBlock.openFileBonus, 0);
  buildEvalPosition(ep, "4k3/pppp4/8/8/8/8/1PPPP3/4K3", White);  // f..h open: three
  analyseOnly(ep);
  EXPECT_EQ(ep.board->evalBlock.openFileBonus, 4);
}

TEST(BoxedRook, RookBesideItsPawnIsBoxedUnlessAnOpenFileFreesIt) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/8/8/6PP/5K1R", White);
  EXPECT_EQ(findBoxedRook(ep.board.get(), squareOf("h1"), squareOf("e1"), White), squareOf("h1"));
  // Nearest to the king wins.
  buildEvalPosition(ep, "4k3/8/8/8/8/8/6PP/5KRR", White);
  EXPECT_EQ(findBoxedRook(ep.board.get(), squareOf("h1"), squareOf("e1"), White), squareOf("g1"));
  // A rook on a file without own pawns ends the walk: none boxed.
  buildEvalPosition(ep, "4k3/8/8/8/8/8/7P/5KRR", White);
  EXPECT_EQ(findBoxedRook(ep.board.get(), squareOf("h1"), squareOf("e1"), White), squareOf("e1"));
  buildEvalPosition(ep, "4k3/8/8/8/8/8/PP6/RR2K3", White);
  EXPECT_EQ(findBoxedRook(ep.board.get(), squareOf("a1"), squareOf("e1"), White), squareOf("b1"));
}

// The king-centre table is symmetric across the board's middle both ways;
// the home-zone map folds each castled wing on the first two ranks onto b1
// or g1 (b8 or g8) and leaves the d- and e-files and the middle ranks.
TEST(KingTables, CentreTableAndZoneMaps) {
  for (int32_t row = 0; row < 10; ++row)
    for (int32_t file = 0; file < 8; ++file) {
      EXPECT_EQ(kingCentreTable[row][file], kingCentreTable[9 - row][file]);
      EXPECT_EQ(kingCentreTable[row][file], kingCentreTable[row][7 - file]);
    }
  EXPECT_EQ(kingHomeZoneMap[squareOf("a1")], squareOf("b1"));
  EXPECT_EQ(kingHomeZoneMap[squareOf("c2")], squareOf("b1"));
  EXPECT_EQ(kingHomeZoneMap[squareOf("h2")], squareOf("g1"));
  EXPECT_EQ(kingHomeZoneMap[squareOf("d1")], squareOf("d1"));
  EXPECT_EQ(kingHomeZoneMap[squareOf("e2")], squareOf("e2"));
  EXPECT_EQ(kingHomeZoneMap[squareOf("f7")], squareOf("g8"));
  EXPECT_EQ(kingHomeZoneMap[squareOf("a7")], squareOf("b8"));
  EXPECT_EQ(kingHomeZoneMap[squareOf("e8")], squareOf("e8"));
  EXPECT_EQ(kingHomeZoneMap[squareOf("g3")], squareOf("g3"));
}

// Queen against rook and pawns is marked drawn, and the mark scales the
// end values to 17/64 (kings stay unscaled); a White pawn lifts the rule.
TEST(MiddlegameDrawRules, QueenAgainstRookAndPawnsIsMarkedDrawn) {
  EvalPosition ep;
  buildEvalPosition(ep, "3rk3/4p3/8/8/8/8/8/3QK3", White);
  ASSERT_GT(ep.board->materialSum, middlegameThreshold);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  EXPECT_EQ(ep.board->kinds[WhiteQueen].baseValue, (992 * 17 + 32) >> 6);
  EXPECT_EQ(ep.board->kinds[BlackRook].baseValue, (511 * 17 + 32) >> 6);
  EXPECT_EQ(ep.board->kinds[WhiteKing].baseValue, 14000);
  buildEvalPosition(ep, "3rk3/4p3/8/8/8/8/P7/3QK3", White);
  classify(ep);
  EXPECT_LT(ep.board->evalBlock.drawMark, 2);
}

TEST(MiddlegameDrawRules, AnEdgeOnOnePawnMovesOntoThatPawn) {
  EvalPosition ep;
  // Knight up with one pawn, rooks and bishops on, queens off.
  buildEvalPosition(ep, "1b2k2r/8/8/8/8/8/4P3/1BN1K2R", White);
  ASSERT_GT(ep.board->materialSum, middlegameThreshold);
  EvalContext ctx = classify(ep);
  int32_t kn = 308, pawn = 84;
  int32_t r = (2 * (kn + pawn - 84)) / 3;
  EXPECT_EQ(ctx.pieceBalance, kn);
  EXPECT_EQ(ctx.score, -r);
  EXPECT_EQ(ep.board->kinds[WhitePawn].baseValue, pawn + r);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 1);  // too few pawns for a small edge
  // Without the pawn the advantage is marked drawn outright.
  buildEvalPosition(ep, "1b2k2r/8/8/8/8/8/8/1BN1K2R", White);
  ctx = classify(ep);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  EXPECT_EQ(ctx.score, -(2 * kn) / 3);
}

TEST(MiddlegameDrawRules, OppositeBishopsByPawnSpan) {
  EvalPosition ep;
  // Bishops on c1 (dark) and c8 (light), rooks on, three pawns each on a-c.
  buildEvalPosition(ep, "r1b1k3/ppp5/8/8/8/8/PPP5/R1B1K3", White);
  classify(ep);
  EXPECT_EQ(ep.board->evalBlock.oppositeBishopsMark, 1);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 2);
  // Pawns spread over more than two files: mark 1.
  buildEvalPosition(ep, "r1b1k3/p6p/1p6/8/8/1P6/P6P/R1B1K3", White);
  classify(ep);
  EXPECT_EQ(ep.board->evalBlock.oppositeBishopsMark, 1);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 1);
  // Same-coloured bishops: no mark from this rule.
  buildEvalPosition(ep, "r4bk1/p6p/1p6/8/8/1P6/P6P/R1B1K3", White);
  classify(ep);
  EXPECT_EQ(ep.board->evalBlock.oppositeBishopsMark, 0);
}

TEST(MiddlegameDrawRules, NoDrawMarksWithQueensAndHeavyMaterial) {
  EvalPosition ep;
  buildEvalPosition(ep, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", White, StateCastlingMask);
  classify(ep);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 0);
  EXPECT_EQ(ep.board->evalBlock.heavyMiddlegameMark, 1);
  EXPECT_EQ(ep.board->evalBlock.crowdedBoardMark, 1);
  EXPECT_EQ(ep.board->evalBlock.kingShelterSquare[1], squareOf("g1"));
  EXPECT_EQ(ep.board->evalBlock.kingShelterSquare[0], squareOf("g8"));
  EXPECT_EQ(ep.board->evalBlock.kingZoneMap, kingHomeZoneMap.data());
  EXPECT_EQ(ep.board->kinds[WhiteKnight].baseValue, 225);
}

TEST(BishopPair, FortyOneWithoutQueensTwentyThreeInAHeavyMiddlegame) {
  EvalPosition ep;
  // Two pawns each keep the single-pawn rules out of S.
  buildEvalPosition(ep, "2b1kn1r/pp6/8/8/8/8/PP6/2B1KB1R", White);
  EvalContext ctx = classify(ep);
  EXPECT_EQ(ep.board->kinds[WhiteBishop].baseValue, 319 + 4 + 41);
  EXPECT_EQ(ep.board->kinds[BlackBishop].baseValue, 319 + 4);
  EXPECT_EQ(ctx.score, -41);  // counted once: in the base value, back off S
  buildEvalPosition(ep, "2b1kn1r/pp6/8/8/8/8/PP6/2B1KN1R", White);
  ctx = classify(ep);
  EXPECT_EQ(ctx.score, 0);

  buildEvalPosition(ep, "r1bqkb1r/pppppppp/8/8/8/8/PPPPPPPP/R1BQKB1R", White);
  ASSERT_GE(ep.board->materialSum, heavyMaterialThreshold);
  ctx = classify(ep);
  EXPECT_EQ(ep.board->kinds[WhiteBishop].baseValue, 247 + 23);
  EXPECT_EQ(ep.board->kinds[BlackBishop].baseValue, 247 + 23);
  EXPECT_EQ(ctx.score, 0);  // both pairs cancel
}

TEST(Scaling, FiftyMoveFactorFallsWithTheClockAndStopsAtOneHundred) {
  EXPECT_EQ(fiftyMoveFactor(50, 37), 20);
  EXPECT_EQ(fiftyMoveFactor(90, 38), 5);
  EXPECT_EQ(fiftyMoveFactor(1, 37), 38);
  int32_t previous = fiftyMoveFactor(0, 37);
  for (int32_t clock = 1; clock <= 130; ++clock) {
    int32_t factor = fiftyMoveFactor(clock, 37);
    EXPECT_LE(factor, previous);
    EXPECT_GE(factor, 1) << clock;  // never reaches zero or flips the sign
    previous = factor;
  }
  EXPECT_EQ(fiftyMoveFactor(107, 38), fiftyMoveFactor(100, 38));
}

TEST(MiddlegameSquares, KnightCornersPayForBothEdges) {
  EvalPosition ep;
  buildEvalPosition(ep, "r2qk2r/8/8/8/8/8/8/N2QK2R", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, White, squareOf("a1")), -34);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, Black, squareOf("h1")), -34);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, White, squareOf("a4")), -17);
  buildEvalPosition(ep, "r2qk2r/8/8/8/8/8/8/N2QK2R", White, StateWhiteKingSide);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, White, squareOf("a1")), -16);
}

TEST(MiddlegameSquares, ShelterPawnGainsOnlyWithoutCastlingRights) {
  // b3 defended from a2, king sheltered on b1, queens on and heavy.
  const char* field = "r1bqk2r/pppppppp/8/8/8/1P6/P1PPPPPP/1KRQ1B1R";
  EvalPosition settled, castling;
  buildEvalPosition(settled, field, White);
  buildEvalPosition(castling, field, White, StateWhiteQueenSide);
  runEvaluatorStages(settled, White);
  runEvaluatorStages(castling, White);
  ASSERT_EQ(settled.board->evalBlock.kingShelterSquare[1], squareOf("b1"));
  ASSERT_EQ(castling.board->evalBlock.kingShelterSquare[1], squareOf("b1"));
  // Every other term at b3 is the same in both; knight edges differ only on
  // the edges.
  int32_t gain = tableEntry(settled.board.get(), PawnBlock, White, squareOf("b3")) -
                 tableEntry(castling.board.get(), PawnBlock, White, squareOf("b3"));
  EXPECT_EQ(gain, 5);
}

TEST(MiddlegameSquares, StartPositionIsBalanced) {
  EvalPosition ep;
  buildEvalPosition(ep, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", White, StateCastlingMask);
  EXPECT_EQ(runEvaluatorStages(ep, White), 0);
  buildEvalPosition(ep, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", Black, StateCastlingMask);
  EXPECT_EQ(runEvaluatorStages(ep, Black), 0);
}

TEST(MiddlegameMirror, MirroredPositionsScoreTheNegatedValue) {
  std::mt19937 rng(20261208);
  int32_t compared = 0, middlegames = 0, shelteredWithQueens = 0;
  for (int32_t i = 0; i < 3000; ++i) {
    testing_board::RandomPosition p = testing_board::randomPosition(rng);
    int32_t clock = i % 3 == 0 ? int32_t(rng() % 120) : 0;
    testing_eval::MirrorPair pair = testing_eval::mirrorPair(p.field, p.side, p.castling, clock);
    if (!pair.compared) continue;
    ++compared;
    EvalPosition ep;
    buildEvalPosition(ep, p.field, p.side);
    if (ep.board->materialSum > middlegameThreshold) {
      ++middlegames;
      // Storm, shelter and king-zone terms run with queens and a shelter.
      classify(ep);
      const EvalBlock& block = ep.board->evalBlock;
      if (block.queensOnBoardMark && block.kingShelterSquare[0] != NoShelterSquare) ++shelteredWithQueens;
    }
    EXPECT_LE(std::abs(pair.score + pair.mirrorScore), pair.tolerance)
        << p.field << " side " << p.side << " castling " << p.castling << " clock " << clock;
  }
  EXPECT_GE(compared, 300);
  EXPECT_GE(middlegames, 100);
  EXPECT_GE(shelteredWithQueens, 50);
}

TEST(MiddlegameMirror, HandPickedGamePositions) {
  const char* fields[] = {
      "r1bq1rk1/pp3ppp/2n1pn2/3p4/2PP4/2N2N2/PP3PPP/R2QKB1R",
      "r2q1rk1/1b2bppp/p3pn2/1p6/3P4/P1NB1N2/1P3PPP/R2Q1RK1",
      "2rr2k1/pp3ppp/2n1p3/8/3P4/2N2P2/PP4PP/2RR2K1",
      "r4rk1/pp3ppp/2n5/3p4/3P4/2N5/PP3PPP/R4RK1",
      "3r1rk1/1p3ppp/p1n5/4p3/4P3/P1N5/1P3PPP/3R1RK1",
      "rn2k2r/ppp2ppp/8/3pp3/3PP3/8/PPP2PPP/RN2K2R",
  };
  for (const char* field : fields)
    for (int32_t side : {White, Black})
      for (int32_t clock : {0, 30}) {
        testing_eval::MirrorPair pair = testing_eval::mirrorPair(field, side, 0, clock);
        if (!pair.compared) continue;
        EXPECT_LE(std::abs(pair.score + pair.mirrorScore), pair.tolerance) << field << " " << side << " " << clock;
      }
}

TEST(MiddlegameDrawRules, WordTwelveOffKeepsOnlyTheSinglePawnAdjustment) {
  const char* field = "1b2k2r/8/8/8/8/8/4P3/1BN1K2R";
  EvalPosition marked, unmarked;
  buildEvalPosition(marked, field, White);
  runEvaluatorStages(marked, White);
  EXPECT_EQ(marked.board->evalBlock.drawMark, 1);
  int32_t saved = engineParameters.words[ParamDrawScaling];
  engineParameters.words[ParamDrawScaling] = 0;
  buildEvalPosition(unmarked, field, White);
  runEvaluatorStages(unmarked, White);
  engineParameters.words[ParamDrawScaling] = saved;
  EXPECT_EQ(unmarked.board->evalBlock.drawMark, 0);
  // Unscaled: the pawn keeps the whole moved edge in its base value.
  EXPECT_EQ(unmarked.board->kinds[WhitePawn].baseValue, 84 + (2 * 308) / 3);
  EXPECT_EQ(marked.board->kinds[WhitePawn].baseValue, ((84 + (2 * 308) / 3) * 39 + 32) >> 6);
}

TEST(MiddlegameScaling, FiftyMovesWithFewPiecesScaleToTwentySixtyFourths) {
  // Queen and rook against rook, three pawns each, 50 plies without capture.
  EvalPosition ep;
  buildEvalPosition(ep, "3rk3/ppp5/8/8/8/8/5PPP/3QK2R", White, 0, 50);
  ASSERT_GT(ep.board->materialSum, middlegameThreshold);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 0);
  EXPECT_TRUE(ep.pos->stateFlags & StateDriftPending);
  EXPECT_EQ(ep.board->fiftyMoveDrift, 8 * 50);
  EXPECT_EQ(ep.board->kinds[BlackRook].baseValue, (511 * 20 + 32) >> 6);
  // Two knights more (five pieces, and now the heavy mark's first values):
  // the drift stays, the factor does not.
  buildEvalPosition(ep, "2nrk3/ppp5/8/8/8/8/5PPP/2NQK2R", White, 0, 50);
  runEvaluatorStages(ep, White);
  EXPECT_TRUE(ep.pos->stateFlags & StateDriftPending);
  EXPECT_EQ(ep.board->kinds[BlackRook].baseValue, 350);
}

TEST(MiddlegameSquares, CastlingPotentialAtTheKingsHome) {
  // Heavy middlegame: K = -8, A = 48; the g1 shelter's centre value is 2,
  // so e1 changes by K x (2 - 4) - A = 16 - 48 with the short castling right.
  const char* field = "r2qk2r/ppp2ppp/2n2n2/3pp3/3PP3/2N2N2/PPP2PPP/R2QK2R";
  EvalPosition rights, none;
  buildEvalPosition(rights, field, White, StateWhiteKingSide | StateBlackKingSide);
  buildEvalPosition(none, field, White, StateBlackKingSide);
  runEvaluatorStages(rights, White);
  runEvaluatorStages(none, White);
  ASSERT_EQ(rights.board->evalBlock.heavyMiddlegameMark, 1);
  ASSERT_EQ(rights.board->evalBlock.kingShelterSquare[1], squareOf("g1"));
  ASSERT_EQ(none.board->evalBlock.kingShelterSquare[1], squareOf("e1"));
  // Other terms at e1 that differ: the shelter moved from e1 to g1, so
  // compare a square that no shelter term reaches from either place.
  int32_t e1Rights = tableEntry(rights.board.get(), KingBlock, White, squareOf("e1"));
  int32_t a5Rights = tableEntry(rights.board.get(), KingBlock, White, squareOf("a5"));
  int32_t a5None = tableEntry(none.board.get(), KingBlock, White, squareOf("a5"));
  EXPECT_EQ(a5Rights, a5None);
  // e1's own king-centre value is K x 4; the castling potential adds the rest.
  EXPECT_EQ(e1Rights, -8 * 4 + (-8) * (2 - 4) - 48);
}

TEST(PawnFiles, PassedMarksOnTheFourthToSeventhRank) {
  // Squares ahead of each side's most advanced pawn on its file.
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/7p/8/8/8/8/P7/R3K2r", White);
  runEvaluatorStages(ep, White);
  SideRecord* white = &ep.board->white;
  SideRecord* black = &ep.board->black;
  for (int32_t rank = 1; rank <= 6; ++rank) {
    EXPECT_EQ((white->pawnMarks[makeSquare(0, rank)] & PassedMark) != 0, rank >= 3) << rank;
    EXPECT_EQ((black->pawnMarks[makeSquare(7, rank)] & PassedMark) != 0, rank <= 4) << rank;
  }
}

// Each draw rule just inside and just outside its bounds, on pawnless or
// nearly pawnless boards with rooks and knights (queens off): kn = 308,
// bi = 319 + 4 (a rook on its side), rk = 511, so kn - bi = -15 and
// 2 kn - rk = 105. S after stage 1 holds the single-pawn adjustments and
// the bishop pair only.
TEST(MiddlegameDrawRules, EachRuleAtItsBounds) {
  struct Case {
    const char* field;
    int32_t score;
    int32_t drawMark;
  };
  const Case cases[] = {
      // Rule 1 at M = bi: the whole edge rests on no pawn (r = 2 x 323 / 3).
      {"2n1k2r/8/8/8/8/8/8/1BN1K2R", -215, 2},
      // A rook up (M = rk > bi): rule 1 is off; rule 8 marks the lack of pawns.
      {"2n1k2r/8/8/8/8/8/8/1RN1K2R", 0, 1},
      // Knight against bishop, T = M = kn - bi = -15: rules 1 and 2 both
      // apply, each moving (2 x 15) / 3 = 10 toward White.
      {"2b1k2r/8/8/8/8/8/8/2N1K2R", 20, 2},
      // A Black pawn more: T = -99 is below kn - bi, so only rule 2 (c = -15)
      // and rule 3 at its bound M = kn - bi.
      {"2b1k2r/4p3/8/8/8/8/8/2N1K2R", 10, 2},
      // Black two bishops up a knight: M = -15 - 323 < -bi, rules 2 and 3 off;
      // rule 8 allows Black one pawn; Black's pair adds 41 back onto S.
      {"2b1kb1r/4p3/8/8/8/8/8/2N1K2R", 41, 1},
      // Rule 7: balanced pieces, pawns within four files, counts one apart.
      {"r1n1k3/ppp5/8/8/8/8/PPP1P3/R1N1K3", 0, 1},
      // Five files apart: no mark.
      {"r1n1k3/ppp5/8/8/8/8/PPP2P2/R1N1K3", 0, 0},
      // Counts two apart within four files: no mark either.
      {"r1n1k3/pp6/8/8/8/8/PPPP4/R1N1K3", 0, 0},
      // Rule 8: two pawns each with equal pieces, spread wide.
      {"r1n1k3/p6p/8/8/8/8/P6P/R1N1K3", 0, 1},
      // A third White pawn ends it.
      {"r1n1k3/p6p/8/8/8/8/P5PP/R1N1K3", 0, 0},
      // A knight up (M = 308 > 105) needs White down to one pawn: with two
      // no mark; with one, rule 1 moves c = 308 + 84 - 168 - 84 = 140 onto
      // it (r = 93) and rule 8 marks it.
      {"r1n1k3/p6p/8/8/8/8/P6P/RNN1K3", 0, 0},
      {"r1n1k3/p6p/8/8/8/8/7P/RNN1K3", -93, 1},
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, White);
    ASSERT_GT(ep.board->materialSum, middlegameThreshold) << c.field;
    EvalContext ctx = classify(ep);
    EXPECT_EQ(ctx.score, c.score) << c.field;
    EXPECT_EQ(ep.board->evalBlock.drawMark, c.drawMark) << c.field;
  }
  // The pawn that carries an edge keeps it in its base value.
  EvalPosition ep;
  buildEvalPosition(ep, "2b1k2r/4p3/8/8/8/8/8/2N1K2R", White);
  classify(ep);
  EXPECT_EQ(ep.board->kinds[BlackPawn].baseValue, 84 + 10);
  buildEvalPosition(ep, "r1n1k3/p6p/8/8/8/8/7P/RNN1K3", White);
  classify(ep);
  EXPECT_EQ(ep.board->kinds[WhitePawn].baseValue, 84 + 93);
}

// A lone bishop's rook pawns promoting on the other colour: only material
// that the evaluation with reduced material scores can hold it, so the rule
// is checked on stage 1 directly.
TEST(MiddlegameDrawRules, WrongBishopByPromotionSquareColour) {
  struct Case {
    const char* field;
    int32_t drawMark;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/8/P7/2B1K3", 2},   // dark c1 bishop, a8 light
      {"4k3/8/8/8/8/8/P7/3BK3", 0},    // light d1 bishop reaches a8
      {"4k3/8/8/8/8/8/7P/3BK3", 2},    // light bishop, h8 dark
      {"4k3/8/8/8/8/8/P6P/2B1K3", 0},  // pawns on both rook files
      {"2b1k3/p7/8/8/8/8/8/4K3", 2},   // Black: light c8 bishop, a1 dark
      {"3bk3/p7/8/8/8/8/8/4K3", 0},    // dark d8 bishop reaches a1
      {"3bk3/7p/8/8/8/8/8/4K3", 2},    // dark bishop, h1 light
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, White);
    classify(ep);
    EXPECT_EQ(ep.board->evalBlock.drawMark >= 2, c.drawMark == 2) << c.field;
  }
}

// Every trapped-piece pattern on a board holding just its pawns: exactly one
// entry of all six tables changes, by the amount given. A pattern's pawn
// that an enemy pawn attacks lifts it, and the rook pattern needs both its
// pawns: then nothing changes.
TEST(TrappedPieces, SixteenPatternsEachChargeOneEntry) {
  struct Case {
    const char* field;
    int32_t block, colour;
    const char* square;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/1P6/8/4K3", BishopBlock, Black, "a2"}, {"4k3/8/8/8/8/6P1/8/4K3", BishopBlock, Black, "h2"},
      {"4k3/8/1p6/8/8/8/8/4K3", BishopBlock, White, "a7"}, {"4k3/8/6p1/8/8/8/8/4K3", BishopBlock, White, "h7"},
      {"4k3/8/8/8/1P6/8/8/4K3", BishopBlock, Black, "a3"}, {"4k3/8/8/8/6P1/8/8/4K3", BishopBlock, Black, "h3"},
      {"4k3/8/8/1p6/8/8/8/4K3", BishopBlock, White, "a6"}, {"4k3/8/8/6p1/8/8/8/4K3", BishopBlock, White, "h6"},
      {"4k3/8/8/8/8/8/P7/4K3", KnightBlock, Black, "a1"}, {"4k3/8/8/8/8/8/7P/4K3", KnightBlock, Black, "h1"},
      {"4k3/p7/8/8/8/8/8/4K3", KnightBlock, White, "a8"}, {"4k3/7p/8/8/8/8/8/4K3", KnightBlock, White, "h8"},
      {"4k3/8/8/8/8/P7/1P6/4K3", RookBlock, White, "a2"}, {"4k3/8/8/8/8/7P/6P1/4K3", RookBlock, White, "h2"},
      {"4k3/1p6/p7/8/8/8/8/4K3", RookBlock, Black, "a7"}, {"4k3/6p1/7p/8/8/8/8/4K3", RookBlock, Black, "h7"},
      // The c4 pawn attacks b3; a3 without b2.
      {"4k3/8/8/8/2p5/1P6/8/4K3", -1, 0, nullptr}, {"4k3/8/8/8/8/P7/8/4K3", -1, 0, nullptr},
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, White);
    ThreadBoard* board = ep.board.get();
    testing_eval::setPawnControlFlags(board);
    const int32_t amount = c.block == RookBlock ? 360 : 130;
    applyTrappedPieces(board, amount);
    int32_t changed = 0;
    for (const auto& table : board->evalBlock.pieceSquare)
      for (int16_t entry : table) changed += entry != 0;
    EXPECT_EQ(changed, c.block < 0 ? 0 : 1) << c.field;
    if (c.block >= 0) {
      EXPECT_EQ(tableEntry(board, c.block, c.colour, squareOf(c.square)), -amount) << c.field;
    }
  }
}

// Castling potential without the heavy mark (K = 7, A = 8) and the boxed
// rook: queens on, one rook, so neither heavy nor a queenless ending. The
// king tables hold only the centre, castling and boxed-rook terms at e1
// here (no passed pawns, no Black pawn near e1, no influence passes).
TEST(MiddlegameSquares, CastlingPotentialAndBoxedRookWithoutHeavyMaterial) {
  const char* field = "3qk3/pppppppp/8/8/8/8/PPPPPPPP/3QK2R";
  EvalPosition rights, none;
  buildEvalPosition(rights, field, White, StateWhiteKingSide);
  buildEvalPosition(none, field, White, 0);
  runEvaluatorStages(rights, White);
  runEvaluatorStages(none, White);
  ASSERT_EQ(rights.board->evalBlock.heavyMiddlegameMark, 0);
  ASSERT_EQ(rights.board->evalBlock.queenlessEndingMark, 0);
  // e1: centre 4 x 7, plus 7 x (2 - 4) - 8 for the g1 shelter.
  EXPECT_EQ(tableEntry(rights.board.get(), KingBlock, White, squareOf("e1")), 28 - 22);
  // Without the right the h1 rook is boxed in behind its pawn: e1, f1 and
  // g1 lose 70 for the king, 12 for knights and bishops.
  EXPECT_EQ(tableEntry(none.board.get(), KingBlock, White, squareOf("e1")), 28 - 70);
  EXPECT_EQ(tableEntry(none.board.get(), KingBlock, White, squareOf("g1")), 14 - 70);
  EXPECT_EQ(tableEntry(none.board.get(), KingBlock, White, squareOf("h1")), 14);
  EXPECT_EQ(tableEntry(rights.board.get(), KingBlock, White, squareOf("g1")), 14);
  // Knights on f1 pay the box either way, and the edge (8 while a castling
  // right remains, else 17).
  EXPECT_EQ(tableEntry(rights.board.get(), KnightBlock, White, squareOf("f1")), -12 - 8);
  EXPECT_EQ(tableEntry(none.board.get(), KnightBlock, White, squareOf("f1")), -12 - 17);
  EXPECT_EQ(tableEntry(none.board.get(), KnightBlock, White, squareOf("h1")), -2 * 17);

  // A queenless ending: no castling potential; the king's centre rows move
  // one rank toward the opponent and K = 10.
  EvalPosition queenless;
  buildEvalPosition(queenless, "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R", White, StateCastlingMask);
  runEvaluatorStages(queenless, White);
  ASSERT_EQ(queenless.board->evalBlock.queenlessEndingMark, 1);
  EXPECT_EQ(tableEntry(queenless.board.get(), KingBlock, White, squareOf("e1")), 3 * 10);
  EXPECT_EQ(tableEntry(queenless.board.get(), KingBlock, Black, squareOf("e8")), 3 * 10);
}

// The central knight squares count only with at most two open files.
TEST(MiddlegameSquares, CentralKnightNeedsAClosedBoard) {
  EvalPosition ep;
  buildEvalPosition(ep, "r3k1n1/pppppp2/8/8/8/8/PPPPPP2/R3K1N1", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, White, squareOf("d4")), 17);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, Black, squareOf("e5")), 17);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, White, squareOf("b4")), 0);
  buildEvalPosition(ep, "r3k1n1/ppppp3/8/8/8/8/PPPPP3/R3K1N1", White);
  runEvaluatorStages(ep, White);
  EXPECT_EQ(tableEntry(ep.board.get(), KnightBlock, White, squareOf("d4")), 0);
}
