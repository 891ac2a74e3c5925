// The influence passes and the line pressure: the ray walk and its schedule
// on hand-set lines, control flags, the line values of a lone rook, the
// king-zone weights around a castled or castling king, the pressure on a
// pinned piece, and colour-mirror symmetry of every map and table the
// passes write.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"
#include "engine/eval/influence.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/eval_positions.h"
#include "helpers/random_positions.h"

using namespace engine;
using testing_board::squareOf;
using testing_eval::buildEvalPosition;
using testing_eval::EvalPosition;

namespace {

using Tables = int16_t[PieceSquareBlockCount][PieceSquareEntries];

// Stage 1 of the evaluator that the material selects, then its influence
// pass (the pass runs on any material when `forceMiddlegame` is set).
void runInfluence(EvalPosition& ep, bool forceMiddlegame = false) {
  ThreadBoard* board = ep.board.get();
  EvalContext ctx{};
  ctx.board = board;
  ctx.stateFlags = &ep.pos->stateFlags;
  ctx.clock = ep.pos->halfMoveClock;
  ctx.side = ep.pos->side;
  if (forceMiddlegame || board->materialSum > middlegameThreshold) {
    classifyMiddlegame(ctx);
    computeLineInfluence(board);
  } else {
    classifyEndgame(ctx);
    computeEndgameInfluence(board);
  }
}

int16_t entry(EvalPosition& ep, int32_t block, int32_t colour, const char* square) {
  return tableEntry(ep.board.get(), block, colour, squareOf(square));
}
int16_t lineValue(EvalPosition& ep, int32_t colour, const char* square) {
  return ep.board->evalBlock.lineInfluenceMap[squareOf(square) + (colour < 0 ? BlackTableOffset : 0)];
}
int16_t knightValue(EvalPosition& ep, int32_t colour, const char* square) {
  return ep.board->evalBlock.knightInfluenceMap[squareOf(square) + (colour < 0 ? BlackTableOffset : 0)];
}

// What the line pressure changes: every table entry after minus before.
struct PressureDiff {
  Tables change;
  int16_t at(int32_t block, int32_t colour, const char* square) const {
    return change[block][squareOf(square) + (colour < 0 ? BlackTableOffset : 0)];
  }
  int32_t nonZeroEntries() const {
    int32_t n = 0;
    for (const auto& table : change)
      for (int16_t value : table) n += value != 0;
    return n;
  }
};

PressureDiff pressureOf(const std::string& field, PressureAmountSet amounts) {
  EvalPosition ep;
  buildEvalPosition(ep, field, White);
  runInfluence(ep, true);
  Tables before;
  std::memcpy(before, ep.board->evalBlock.pieceSquare, sizeof before);
  applyLinePressure(ep.board.get(), amounts);
  PressureDiff diff;
  for (int32_t b = 0; b < PieceSquareBlockCount; ++b)
    for (int32_t s = 0; s < PieceSquareEntries; ++s)
      diff.change[b][s] = int16_t(ep.board->evalBlock.pieceSquare[b][s] - before[b][s]);
  return diff;
}

// Sets one evaluation word for the life of a test.
struct WordOverride {
  int32_t index, saved;
  WordOverride(int32_t i, int32_t value) : index(i), saved(engineParameters.words[i]) {
    engineParameters.words[i] = value;
  }
  ~WordOverride() { engineParameters.words[index] = saved; }
};

bool sameLine(int32_t a, int32_t b, bool orthogonal) {
  int32_t df = fileOf(b) - fileOf(a), dr = rankOf(b) - rankOf(a);
  if (a == b) return false;
  return orthogonal ? df == 0 || dr == 0 : df == dr || df == -dr;
}

}  // namespace

// ---- The ray walk -------------------------------------------------------

TEST(AccumulateRay, NearestInFullFartherDampedAndCutOffBehindABlock) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/8/8/8/4K3", White);
  ThreadBoard* board = ep.board.get();
  EvalBlock& block = board->evalBlock;
  std::memset(&block, 0, sizeof block);
  const int32_t a1 = squareOf("a1"), b1 = squareOf("b1"), c1 = squareOf("c1"), d1 = squareOf("d1"),
                e1 = squareOf("e1");
  block.lineInfluenceMap[a1] = 64;
  block.lineInfluenceMap[a1 + BlackTableOffset] = 64;
  block.controlFlagMap[b1] = ControlDampWhite;  // damps only White's carry
  block.lineInfluenceMap[c1] = 10;
  block.controlFlagMap[d1] = ControlWhitePawnFree;  // blocks both
  block.lineInfluenceMap[e1] = 5;

  EXPECT_EQ(accumulateRay(board, a1, 1, 0), 0x08);
  const int16_t white[8] = {0, 64, 49, 59, 0, 5, 5, 5};  // (49 x 64 + 32) >> 6 = 49 past b1
  const int16_t black[8] = {0, 64, 64, 64, 0, 0, 0, 0};
  for (int32_t f = 0; f < 8; ++f) {
    EXPECT_EQ(tableEntry(board, RookBlock, White, f), white[f]) << f;
    EXPECT_EQ(tableEntry(board, QueenBlock, White, f), white[f]) << f;
    EXPECT_EQ(tableEntry(board, RookBlock, Black, f), black[f]) << f;
    EXPECT_EQ(tableEntry(board, BishopBlock, White, f), 0) << f;
  }
  // A diagonal direction index feeds the bishop table instead.
  EXPECT_EQ(accumulateRay(board, a1, 17, 4), 0x88);
  EXPECT_EQ(tableEntry(board, BishopBlock, White, squareOf("b2")), 64);
  EXPECT_EQ(tableEntry(board, RookBlock, White, squareOf("b2")), 0);
}

TEST(AccumulateRay, ScheduleReachesEveryLineOnceInEachDirection) {
  EvalPosition ep;
  buildEvalPosition(ep, "3qk3/8/8/8/8/8/8/3QK3", White);
  ThreadBoard* board = ep.board.get();
  EvalBlock& block = board->evalBlock;
  for (int32_t s = 0; s < 128; ++s) {
    if (!isOnBoard(s)) continue;
    std::memset(&block, 0, sizeof block);
    block.lineInfluenceMap[s] = 1;
    block.lineInfluenceMap[s + BlackTableOffset] = 2;
    walkInfluenceRays(board);
    for (int32_t u = 0; u < 128; ++u) {
      if (!isOnBoard(u)) continue;
      int32_t rook = sameLine(s, u, true), bishop = sameLine(s, u, false);
      ASSERT_EQ(tableEntry(board, RookBlock, White, u), rook) << s << " " << u;
      ASSERT_EQ(tableEntry(board, RookBlock, Black, u), 2 * rook) << s << " " << u;
      ASSERT_EQ(tableEntry(board, BishopBlock, White, u), bishop) << s << " " << u;
      ASSERT_EQ(tableEntry(board, QueenBlock, Black, u), 2 * (rook + bishop)) << s << " " << u;
    }
  }
}

TEST(AccumulateRay, WalksOnlyForTheLinePiecesOnTheBoard) {
  EvalPosition ep;
  // No queen, no rook: the rook table gets nothing; the bishop still walks.
  buildEvalPosition(ep, "4k3/8/8/8/8/8/8/2B1K3", White);
  EvalBlock& block = ep.board->evalBlock;
  std::memset(&block, 0, sizeof block);
  for (int32_t s = 0; s < 128; ++s) block.lineInfluenceMap[s] = 1;
  walkInfluenceRays(ep.board.get());
  spreadKnightInfluence(ep.board.get());
  for (int32_t s = 0; s < 128; ++s) {
    EXPECT_EQ(block.pieceSquare[RookBlock][s], 0);
    EXPECT_EQ(block.pieceSquare[KnightBlock][s], 0);
  }
  // One unit on every square for each colour: each square collects the
  // squares a bishop sees from it on an empty board, 7 from a1, 13 from d4,
  // and 560 over the board, the bishop moves of an empty board.
  int32_t whiteSum = 0, blackSum = 0;
  for (int32_t s = 0; s < 128; ++s) {
    if (!isOnBoard(s)) continue;
    whiteSum += tableEntry(ep.board.get(), BishopBlock, White, s);
    blackSum += tableEntry(ep.board.get(), BishopBlock, Black, s);
  }
  EXPECT_EQ(tableEntry(ep.board.get(), BishopBlock, White, squareOf("a1")), 7);
  EXPECT_EQ(tableEntry(ep.board.get(), BishopBlock, Black, squareOf("d4")), 13);
  EXPECT_EQ(whiteSum, 560);
  EXPECT_EQ(blackSum, 560);
}

// ---- Seeding ------------------------------------------------------------

TEST(LineInfluence, ControlFlagsOfPawnsAndDefendedPieces) {
  EvalPosition ep;
  // d4: White knight defended by c3 (and a centre square with queens and
  // heavy material); f4: White knight defended by g3 and attacked by g5;
  // b6: Black bishop defended by a7; g5 and c3: pawns no enemy pawn attacks.
  buildEvalPosition(ep, "rq2k2r/p7/1b6/6p1/3N1N2/2P3P1/8/RQ2K2R", White);
  runInfluence(ep);
  auto flags = [&](const char* name) { return ep.board->evalBlock.controlFlagMap[squareOf(name)]; };
  EXPECT_EQ(flags("d4"), ControlWhitePawnAttack | ControlDampBlack | ControlDampWhite | ControlCentre);
  EXPECT_EQ(flags("f4"), ControlWhitePawnAttack | ControlBlackPawnAttack);
  EXPECT_EQ(flags("b6"), ControlBlackPawnAttack | ControlDampWhite | ControlDampBlack);
  EXPECT_EQ(flags("g5"), ControlDampWhite | ControlDampBlack | ControlBlackPawnFree);
  EXPECT_EQ(flags("e5"), ControlCentre);
  EXPECT_EQ(flags("c3"), ControlDampWhite | ControlDampBlack | ControlWhitePawnFree);
  EXPECT_EQ(flags("e1"), ControlDampWhite | ControlDampBlack);
}

TEST(LineInfluence, CompactBoardWithQueensStartsEverySquareAtThreeAndFour) {
  EvalPosition ep;
  // Queens on, pawns on the d- to g-files: no home edge, no cut.
  buildEvalPosition(ep, "3q1rk1/5pp1/8/8/8/8/3P2P1/3Q1RK1", White);
  runInfluence(ep);
  for (const char* name : {"a1", "a8", "b4", "h5", "c6"}) {
    EXPECT_EQ(lineValue(ep, White, name), 3) << name;
    EXPECT_EQ(lineValue(ep, Black, name), 3) << name;
    EXPECT_EQ(knightValue(ep, White, name), 7) << name;
    EXPECT_EQ(knightValue(ep, Black, name), 7) << name;
  }
  // A queen is a small target for the other side: 3 + 5.
  EXPECT_EQ(lineValue(ep, Black, "d1"), 8);
  EXPECT_EQ(lineValue(ep, White, "d8"), 8);
}

TEST(LineInfluence, OpenBoardUsesHomeEdgesAndPawnAttackCuts) {
  EvalPosition ep;
  // Pawns on the a- and h-files: span 7, no crowding: open base 6 / 1.
  buildEvalPosition(ep, "r2qk2r/p6p/8/8/8/8/P6P/R2QK2R", White);
  runInfluence(ep);
  EXPECT_EQ(lineValue(ep, White, "c5"), 6);
  EXPECT_EQ(knightValue(ep, White, "c5"), 7);
  EXPECT_EQ(lineValue(ep, White, "d5"), 6 + 4);  // the centre with queens and heavy material
  EXPECT_EQ(lineValue(ep, White, "c2"), 3);  // home edge
  EXPECT_EQ(knightValue(ep, White, "c2"), 4);
  EXPECT_EQ(lineValue(ep, White, "b6"), 1);  // 6 - 5: a Black pawn attacks it
  EXPECT_EQ(knightValue(ep, White, "b6"), 1);
  EXPECT_EQ(lineValue(ep, Black, "c7"), 3);
  EXPECT_EQ(lineValue(ep, Black, "b3"), 1);
}

TEST(LineInfluence, OwnPawnBlocksTheFileUnlessAnEnemyPawnAttacksIt) {
  // King zones off, so a Black pawn on d7 changes only the values beyond
  // White's pawn on d4 (it is a target there).
  WordOverride noZones(ParamKingSafety, 0);
  auto rookOnD1 = [](const char* field, int32_t* beyond) {
    EvalPosition ep;
    buildEvalPosition(ep, field, White);
    runInfluence(ep);
    *beyond = 0;
    for (const char* name : {"d5", "d6", "d7", "d8"}) *beyond += lineValue(ep, White, name);
    return entry(ep, RookBlock, White, "d1");
  };
  int32_t beyondWith = 0, beyondWithout = 0;
  // Nothing attacks d4: the rook sees up to the pawn and nothing past it.
  int32_t blocked = rookOnD1("3qk3/3p4/8/8/3P4/8/8/3RK2Q", &beyondWith);
  int32_t blockedRef = rookOnD1("3qk3/8/8/8/3P4/8/8/3RK2Q", &beyondWithout);
  ASSERT_EQ(beyondWith - beyondWithout, middlegameWeights.pawnTargetBonus);
  EXPECT_EQ(blocked, blockedRef);
  // A Black pawn on e5 attacks d4: the squares beyond count again (here the
  // d7 pawn, supported from e5, is no target but cuts off d8).
  int32_t open = rookOnD1("3qk3/3p4/8/4p3/3P4/8/8/3RK2Q", &beyondWith);
  int32_t openRef = rookOnD1("3qk3/8/8/4p3/3P4/8/8/3RK2Q", &beyondWithout);
  EXPECT_NE(open, openRef);
}

TEST(LineInfluence, BaseValuesFollowWordTwentyOne) {
  WordOverride doubled(ParamInfluence, 200);
  EvalPosition ep;
  buildEvalPosition(ep, "3q1rk1/5pp1/8/8/8/8/3P2P1/3Q1RK1", White);
  runInfluence(ep);
  EXPECT_EQ(lineValue(ep, White, "a1"), 6);
  EXPECT_EQ(knightValue(ep, White, "a1"), 6 + 8);
  EvalPosition ending;
  buildEvalPosition(ending, "4k3/pp4pp/8/8/8/8/PP4PP/3RK3", White);
  runInfluence(ending);
  EXPECT_EQ(lineValue(ending, White, "d4"), 4);
}

TEST(EndgameInfluence, FiveOpenFilesLeaveOnlyThePawnTargets) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/p6p/8/8/8/8/P6P/3RK3", White);
  runInfluence(ep);
  ASSERT_GE(ep.board->evalBlock.openFileCount, 5);
  for (const char* name : {"d4", "e6", "c3"}) {
    EXPECT_EQ(lineValue(ep, White, name), 0) << name;
    EXPECT_EQ(lineValue(ep, Black, name), 0) << name;
  }
}

TEST(EndgameInfluence, LoneRookSumsTheUndampedValuesOfItsLines) {
  EvalPosition ep;
  // Four open files (c-f): base 2 beyond each side's back squares.
  buildEvalPosition(ep, "4k3/pp4pp/8/8/8/8/PP4PP/3RK3", White);
  runInfluence(ep);
  ASSERT_LE(ep.board->materialSum, middlegameThreshold);
  EXPECT_EQ(lineValue(ep, White, "d2"), 0);
  EXPECT_EQ(lineValue(ep, White, "d3"), 2);
  EXPECT_EQ(lineValue(ep, White, "a3"), 0);  // attacked by b2, and a back square
  EXPECT_EQ(lineValue(ep, Black, "d7"), 0);
  // d3..d8 at 2 each reach d1 along the file; rank 1 is worth nothing.
  EXPECT_EQ(entry(ep, RookBlock, White, "d1"), 12);
  // d4: 6 from a4-c4, 8 from e4-h4, 8 from d5-d8, 2 from d1-d3.
  EXPECT_EQ(entry(ep, RookBlock, White, "d4"), 24);
  EXPECT_EQ(entry(ep, QueenBlock, White, "d4"), 24);  // no diagonal walks without bishops or queens
  EXPECT_EQ(entry(ep, BishopBlock, White, "d4"), 0);
  // Knight values are the pawn-target bonus alone, and no knight is here.
  EXPECT_EQ(knightValue(ep, White, "d4"), 0);
  for (int32_t s = 0; s < 128; ++s) EXPECT_EQ(ep.board->evalBlock.pieceSquare[KnightBlock][s], 0);
}

TEST(EndgameInfluence, UnguardedPawnsAreTargetsAndBlocks) {
  EvalPosition ep;
  // Three open files; nothing of Black's guards d5.
  buildEvalPosition(ep, "4k3/pp4pp/8/3p4/8/8/PP4PP/3RK2N", White);
  runInfluence(ep);
  const int32_t bonus = endgameWeights.pawnTargetBonus;
  EXPECT_EQ(lineValue(ep, White, "d5"), 2 + bonus);
  EXPECT_EQ(knightValue(ep, White, "d5"), bonus);
  EXPECT_EQ(lineValue(ep, Black, "d5"), 0);
  EXPECT_EQ(ep.board->evalBlock.controlFlagMap[squareOf("d5")], ControlBlackPawnFree);
  // The pawn blocks the file: d1 sees d2 (a back square, 0), d3 and d4 at 2
  // and the pawn's own square, nothing from beyond it.
  EXPECT_EQ(entry(ep, RookBlock, White, "d1"), 2 + 2 + 2 + bonus);
  // Of c3's knight squares only d5 is worth anything to a White knight.
  EXPECT_EQ(entry(ep, KnightBlock, White, "c3"), bonus);
}

// ---- King zones ---------------------------------------------------------

// Black's line and knight values at h2 beside White's king on g1 (queens
// on, pawns on four files: base 3 and 4).
struct ZoneCase {
  const char* field;
  int32_t line, knight;
};

TEST(KingZone, SquareBesideTheCastledKingWeighsMoreForTheAttacker) {
  const ZoneCase cases[] = {
      // h2 held by the king alone, a Black knight on h3: X = 13 + 11, Y = 38.
      {"3q1rk1/5pp1/8/8/8/7n/5PP1/3Q1RK1", 3 + 24, 3 + 24 + 4 + 38},
      // A White bishop on g4 stands in front: X = (24 x 56 + 32) >> 6 = 21.
      {"3q1rk1/5pp1/8/8/6B1/7n/5PP1/3Q1RK1", 3 + 21, 3 + 21 + 4 + 38},
      // Without the heavy middlegame (one rook): half of 24 and 38.
      {"3q2k1/5pp1/8/8/8/7n/5PP1/3Q1RK1", 3 + 12, 3 + 12 + 4 + 19},
      // A White knight on g4 defends h2 and shields it: (6, 6), then
      // (17 x 56 + 32) >> 6 = 15.
      {"3q1rk1/5pp1/8/8/6N1/7n/5PP1/3Q1RK1", 3 + 15, 3 + 15 + 4 + 6},
      // Nothing Black in front of h2: 13 and 38.
      {"3q1rk1/5pp1/8/8/8/8/5PP1/3Q1RK1", 3 + 13, 3 + 13 + 4 + 38},
  };
  for (const ZoneCase& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, White);
    runInfluence(ep);
    EXPECT_EQ(ep.board->evalBlock.kingShelterSquare[1], squareOf("g1")) << c.field;
    EXPECT_EQ(lineValue(ep, Black, "h2"), c.line) << c.field;
    EXPECT_EQ(knightValue(ep, Black, "h2"), c.knight) << c.field;
    // White's own values there take nothing from its king's zone.
    EXPECT_EQ(lineValue(ep, White, "h2"), 3) << c.field;
  }
}

TEST(KingZone, KingOnItsHomeSquareWithTheShortCastlingRight) {
  EvalPosition ep;
  buildEvalPosition(ep, "3q1rk1/5pp1/8/8/8/8/5PP1/3QK2R", White, StateWhiteKingSide);
  runInfluence(ep);
  ASSERT_EQ(ep.board->evalBlock.kingShelterSquare[1], squareOf("g1"));
  // e1 (outside the zone), f1 and g1 count like the king's square.
  for (const char* name : {"e1", "f1", "g1"}) {
    EXPECT_EQ(lineValue(ep, Black, name), 3 + 40) << name;
    EXPECT_EQ(knightValue(ep, Black, name), 3 + 40 + 4 + 23) << name;
  }
  // h1 holds a rook that nothing defends: 13 and 38.
  EXPECT_EQ(lineValue(ep, Black, "h1"), 3 + 13);
  EXPECT_EQ(knightValue(ep, Black, "h1"), 3 + 13 + 4 + 38);
  // d1 lies outside the zone.
  EXPECT_EQ(lineValue(ep, Black, "d1"), 3 + 5);  // the queen target only
}

TEST(KingZone, QueenInFrontOfTheKingRaisesTheKingSafetyTerm) {
  // The same heavy middlegame with Black's queen on a8 or on g3, in front of
  // the king's zone.
  EvalPosition quiet, attacked;
  buildEvalPosition(quiet, "qr4k1/5ppp/8/8/8/8/5P1P/3QR1K1", White);
  buildEvalPosition(attacked, "1r4k1/5ppp/8/8/8/6q1/5P1P/3QR1K1", White);
  runInfluence(quiet);
  runInfluence(attacked);
  ASSERT_TRUE(quiet.board->evalBlock.heavyMiddlegameMark && attacked.board->evalBlock.heavyMiddlegameMark);
  // g3 is one rank ahead of g2, two ahead of g1, diagonally ahead of f2
  // and h2: 11 more for each.
  for (const char* name : {"g1", "g2", "f2", "h2"})
    EXPECT_EQ(lineValue(attacked, Black, name), lineValue(quiet, Black, name) + 11) << name;
  EXPECT_EQ(lineValue(attacked, Black, "g1"), 3 + 40 + 11);
  EXPECT_EQ(lineValue(attacked, Black, "g2"), 3 + 13 + 11);  // only the king defends g2
  // A White pawn stands on h2: a target, and (6, 6) in the zone.
  EXPECT_EQ(lineValue(attacked, Black, "h2"), 3 + middlegameWeights.pawnTargetBonus + 6 + 11);
  // Not in front of f1 or h1; the knight weights stay.
  for (const char* name : {"f1", "h1"}) EXPECT_EQ(lineValue(attacked, Black, name), lineValue(quiet, Black, name)) << name;
  EXPECT_EQ(knightValue(attacked, Black, "g2") - lineValue(attacked, Black, "g2"), 4 + 38);
  // The queen's own square is outside the zone (distance 2, no pawn).
  EXPECT_EQ(lineValue(attacked, Black, "g3"), lineValue(quiet, Black, "g3"));
  // The queen gains on the file toward the king.
  EXPECT_GT(entry(attacked, QueenBlock, Black, "g4"), entry(quiet, QueenBlock, Black, "g4"));
}

TEST(KingZone, SquaresCoveredByOwnPawnsGetNothing) {
  EvalPosition covered, open;
  // The White king stands on e3, its own shelter square; a pawn on d2
  // covers it in the first position only.
  buildEvalPosition(covered, "3q1rk1/5pp1/8/8/8/4K3/3P4/3Q3R", White);
  buildEvalPosition(open, "3q1rk1/5pp1/8/8/8/4K3/8/3Q3R", White);
  runInfluence(covered);
  runInfluence(open);
  ASSERT_EQ(covered.board->evalBlock.kingShelterSquare[1], squareOf("e3"));
  EXPECT_EQ(lineValue(covered, Black, "e3"), 3);
  EXPECT_EQ(knightValue(covered, Black, "e3"), 7);
  EXPECT_EQ(lineValue(open, Black, "e3"), 3 + 40);
  EXPECT_EQ(knightValue(open, Black, "e3"), 3 + 40 + 4 + 23);
}

TEST(KingZone, TheKingSafetyWordScalesTheWeights) {
  WordOverride half(ParamKingSafety, 50);
  EvalPosition ep;
  buildEvalPosition(ep, "3q1rk1/5pp1/8/8/8/7n/5PP1/3Q1RK1", White);
  runInfluence(ep);
  EXPECT_EQ(lineValue(ep, Black, "h2"), 3 + 24 / 2);
  EXPECT_EQ(knightValue(ep, Black, "h2"), 3 + 12 + 4 + 19);
}

TEST(KingZone, NoShelterWithoutEnoughMaterial) {
  EvalPosition ep;
  // Queen and rook alone: more than bishop + queen, not more than bishop +
  // rook + queen.
  buildEvalPosition(ep, "6k1/5ppp/8/8/8/8/5PPP/3Q1RK1", White);
  runInfluence(ep, true);
  EXPECT_EQ(ep.board->evalBlock.kingShelterSquare[1], NoShelterSquare);
  EXPECT_EQ(lineValue(ep, Black, "g1"), 3);
}

// ---- Line pressure ------------------------------------------------------

TEST(LinePressure, PinnedKnightMakesTheKingAndHeavyPiecesBehindItWorthLess) {
  // Bishop b5, knight c6, d7 empty, king e8.
  PressureDiff more = pressureOf("4k3/8/2n5/1B6/8/8/8/K7", MoreMaterialAmounts);
  for (int32_t block : {RookBlock, QueenBlock, KingBlock})
    for (const char* name : {"d7", "e8"}) EXPECT_EQ(more.at(block, Black, name), -10) << block << name;
  EXPECT_EQ(more.at(BishopBlock, Black, "d7"), 0);
  EXPECT_EQ(more.at(KnightBlock, Black, "d7"), 0);
  // The king's second scan: behind its own knight, a White queen on b5
  // would pin it.
  EXPECT_EQ(more.at(QueenBlock, White, "b5"), 10);
  EXPECT_EQ(more.at(BishopBlock, White, "b5"), 0);  // a bishop stands there already
  EXPECT_EQ(more.nonZeroEntries(), 7);
  // With reduced material an uncovered piece gives nothing.
  EXPECT_EQ(pressureOf("4k3/8/2n5/1B6/8/8/8/K7", ReducedMaterialAmounts).nonZeroEntries(), 0);
}

TEST(LinePressure, PinOfAPawnCoveredPieceIsWeaker) {
  const char* field = "4k3/1p6/2n5/1B6/8/8/8/K7";
  PressureDiff more = pressureOf(field, MoreMaterialAmounts);
  PressureDiff reduced = pressureOf(field, ReducedMaterialAmounts);
  for (int32_t block : {RookBlock, QueenBlock, KingBlock})
    for (const char* name : {"d7", "e8"}) {
      EXPECT_EQ(more.at(block, Black, name), -2) << block << name;
      EXPECT_EQ(reduced.at(block, Black, name), -2) << block << name;
    }
  EXPECT_EQ(more.at(QueenBlock, White, "b5"), 2);
  EXPECT_EQ(reduced.at(QueenBlock, White, "b5"), 2);
}

TEST(LinePressure, CrowdedBoardAmounts) {
  // Eleven pawns and pieces a side: the pin of a covered piece costs 1.
  const char* field = "rq2k1nr/ppp2ppp/2n5/1B6/8/8/PPP2PPP/RNQ1K1N1";
  EvalPosition ep;
  buildEvalPosition(ep, field, White);
  runInfluence(ep);
  ASSERT_TRUE(ep.board->evalBlock.crowdedBoardMark);
  PressureDiff diff = pressureOf(field, MoreMaterialAmounts);
  EXPECT_EQ(diff.at(RookBlock, Black, "d7"), -1);
  EXPECT_EQ(diff.at(RookBlock, Black, "e8"), -1);
  // The queen on c1 meets its own knight on b1 (4 on a crowded board):
  // Black's king loses on a1 behind it.
  EXPECT_EQ(diff.at(KingBlock, Black, "a1"), -4);
  EXPECT_EQ(diff.at(QueenBlock, Black, "a1"), 0);
}

TEST(LinePressure, PiecesThatCouldTakeTheSliderStartNothing) {
  // Two rooks on the d-file and the king on h1: nothing of Black's changes
  // (either rook meeting the other would lower Black's queen and king
  // beyond it).
  PressureDiff rooks = pressureOf("4k3/8/8/8/3R4/8/8/3R3K", MoreMaterialAmounts);
  for (int32_t block = 0; block < PieceSquareBlockCount; ++block)
    for (int32_t s = 0; s < 128; ++s) {
      if (isOnBoard(s)) {
        EXPECT_EQ(rooks.change[block][s + BlackTableOffset], 0) << block << " " << s;
      }
    }
  // The king on a1 looks along the diagonal past its own rook on d4: a
  // Black bishop or queen on e5..h8 would pin the rook.
  PressureDiff xray = pressureOf("4k3/8/8/8/3R4/8/8/K2R4", MoreMaterialAmounts);
  for (const char* name : {"e5", "f6", "g7", "h8"}) {
    EXPECT_EQ(xray.at(BishopBlock, Black, name), 10) << name;
    EXPECT_EQ(xray.at(QueenBlock, Black, name), 10) << name;
    EXPECT_EQ(xray.at(RookBlock, Black, name), 0) << name;
  }
  // A Black pawn on f4 could take the bishop on e3; one on g5 could not.
  PressureDiff capturing = pressureOf("4k3/8/8/8/5p2/4B3/8/K7", ReducedMaterialAmounts);
  PressureDiff passive = pressureOf("4k3/8/8/6p1/8/4B3/8/K7", ReducedMaterialAmounts);
  EXPECT_EQ(capturing.at(QueenBlock, Black, "h6"), 0);
  EXPECT_EQ(passive.at(QueenBlock, Black, "h6"), -8);
  EXPECT_EQ(passive.at(KingBlock, Black, "h6"), -8);
  EXPECT_EQ(passive.at(BishopBlock, Black, "h6"), 0);
}

TEST(LinePressure, HigherPiecesDoNotStopTheFirstScanButTheStopSquareCounts) {
  // Rook a1, Black knight a3, Black queen a5, Black rook a7 behind it.
  PressureDiff diff = pressureOf("4k3/r7/8/q7/8/n7/8/R3K3", MoreMaterialAmounts);
  EXPECT_EQ(diff.at(QueenBlock, Black, "a4"), -10);
  EXPECT_EQ(diff.at(QueenBlock, Black, "a5"), -10);  // passed: a queen is worth more than a rook
  EXPECT_EQ(diff.at(QueenBlock, Black, "a7"), -10);  // the stop square, lowered too
  EXPECT_EQ(diff.at(QueenBlock, Black, "a8"), 0);
  EXPECT_EQ(diff.at(RookBlock, Black, "a4"), 0);  // only kinds above the rook
}

// ---- Colour mirror --------------------------------------------------------

namespace {

uint16_t mirrorFlags(uint16_t flags) {
  uint16_t out = flags & ControlCentre;
  if (flags & ControlWhitePawnAttack) out |= ControlBlackPawnAttack;
  if (flags & ControlBlackPawnAttack) out |= ControlWhitePawnAttack;
  if (flags & ControlDampWhite) out |= ControlDampBlack;
  if (flags & ControlDampBlack) out |= ControlDampWhite;
  if (flags & ControlWhitePawnFree) out |= ControlBlackPawnFree;
  if (flags & ControlBlackPawnFree) out |= ControlWhitePawnFree;
  return out;
}

// Runs both passes on a position and on its colour mirror and compares
// every map and table square by square; returns false on the first
// difference (reported through the test).
bool passesMirror(const std::string& field, uint32_t castling) {
  EvalPosition original, mirrored;
  buildEvalPosition(original, field, White, castling);
  buildEvalPosition(mirrored, testing_eval::mirrorField(field), Black, testing_eval::mirrorCastling(castling));
  for (EvalPosition* ep : {&original, &mirrored}) {
    runInfluence(*ep);
    if (ep->board->materialSum > middlegameThreshold)
      applyLinePressure(ep->board.get(), MoreMaterialAmounts);
    else if (ep->board->materialSum != 0)
      applyLinePressure(ep->board.get(), ReducedMaterialAmounts);
  }
  const EvalBlock& a = original.board->evalBlock;
  const EvalBlock& b = mirrored.board->evalBlock;
  for (int32_t s = 0; s < 128; ++s) {
    if (!isOnBoard(s)) continue;
    const int32_t m = s ^ 0x70;
    EXPECT_EQ(mirrorFlags(a.controlFlagMap[s]), b.controlFlagMap[m]) << field << " square " << s;
    EXPECT_EQ(a.lineInfluenceMap[s], b.lineInfluenceMap[m + BlackTableOffset]) << field << " square " << s;
    EXPECT_EQ(a.lineInfluenceMap[s + BlackTableOffset], b.lineInfluenceMap[m]) << field << " square " << s;
    EXPECT_EQ(a.knightInfluenceMap[s], b.knightInfluenceMap[m + BlackTableOffset]) << field << " square " << s;
    for (int32_t block = 0; block < PieceSquareBlockCount; ++block) {
      EXPECT_EQ(a.pieceSquare[block][s], b.pieceSquare[block][m + BlackTableOffset]) << field << " block " << block;
      EXPECT_EQ(a.pieceSquare[block][s + BlackTableOffset], b.pieceSquare[block][m]) << field << " block " << block;
    }
    if (::testing::Test::HasFailure()) return false;
  }
  return true;
}

bool hasPieceInPawnSlot(const ThreadBoard* board) {
  for (int32_t slot = 0; slot < SlotCount; ++slot) {
    const PieceRecord& piece = board->slots[slot];
    if (isOnBoard(piece.square) && squareAt(board, piece.square) == &piece &&
        piece.kindCopy.index != slotKindTable[slot])
      return true;
  }
  return false;
}

}  // namespace

TEST(InfluenceMirror, HandPickedGamePositions) {
  const char* fields[] = {
      "r1bq1rk1/pp3ppp/2n1pn2/3p4/2PP4/2N2N2/PP3PPP/R2QKB1R",
      "r2q1rk1/1b2bppp/p3pn2/1p6/3P4/P1NB1N2/1P3PPP/R2Q1RK1",
      "2rr2k1/pp3ppp/2n1p3/8/3P4/2N2P2/PP4PP/2RR2K1",
      "r4rk1/pp3ppp/2n5/3p4/3P4/2N5/PP3PPP/R4RK1",
      "rn2k2r/ppp2ppp/8/3pp3/3PP3/8/PPP2PPP/RN2K2R",
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
      "8/5pk1/6p1/8/2B5/6P1/5PK1/3r4",
      "4k3/pp4pp/8/3p4/8/8/PP4PP/3RK2N",
  };
  for (const char* field : fields) EXPECT_TRUE(passesMirror(field, 0)) << field;
  EXPECT_TRUE(passesMirror("r3k2r/pppq1ppp/2n2n2/3pp3/3PP3/2N2N2/PPPQ1PPP/R3K2R", StateCastlingMask));
}

TEST(InfluenceMirror, RandomPositions) {
  std::mt19937 rng(20261209);
  int32_t middlegames = 0, endgames = 0;
  for (int32_t i = 0; i < 1500; ++i) {
    testing_board::RandomPosition p = testing_board::randomPosition(rng);
    EvalPosition ep;
    buildEvalPosition(ep, p.field, White);
    // A promoted piece takes a pawn slot, so the two lists no longer run in
    // mirrored order, and the first defender of a king-zone square may differ.
    if (hasPieceInPawnSlot(ep.board.get())) continue;
    ASSERT_TRUE(passesMirror(p.field, p.castling)) << p.field;
    (ep.board->materialSum > middlegameThreshold ? middlegames : endgames) += 1;
  }
  EXPECT_GE(middlegames, 200);
  EXPECT_GE(endgames, 200);
}
