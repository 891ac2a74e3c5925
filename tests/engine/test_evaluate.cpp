// The evaluation entry: piece values and thresholds at default words and
// re-derived from changed words, the fifty-move drift step, the correction
// for a piece that is about to be taken back, castling rights against the
// rooks on their corners, and whole evaluations: exact scores of small
// positions, colour-mirror symmetry, the engine-side bias, the drift with
// the half-move clock, contempt and the opening offset.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "engine/board/makemove.h"
#include "engine/board/setup.h"
#include "engine/eval/attack_data.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/eval_positions.h"
#include "helpers/random_positions.h"

using namespace engine;
using testing_board::squareOf;
using testing_eval::buildEvalPosition;
using testing_eval::EvalPosition;

namespace {

// Restores the default words after a test that changes them.
struct DefaultWords {
  DefaultWords() { engineParameters = defaultEngineParameters; }
  ~DefaultWords() { engineParameters = defaultEngineParameters; }
};

void expectValues(const ThreadBoard* board, int32_t code, int32_t value, int32_t endValue) {
  for (const PieceKind& kind : board->kinds) {
    if (kind.code != code) continue;
    EXPECT_EQ(kind.value, value) << "code " << code << " colour " << kind.colour;
    EXPECT_EQ(kind.endValue, endValue) << "code " << code << " colour " << kind.colour;
  }
}

// The last move of a position: from, to-byte, what it captured.
void setLastMove(EvalPosition& ep, const char* from, int32_t toByte, bool captured, bool special = false) {
  ep.pos->lastMove = makeMove16(squareOf(from), toByte);
  // Any record other than the board's own stands for a captured piece.
  ep.pos->captured = captured ? &ep.board->slots[EmptyTemplateSlot] : boardPiece(ep.board.get());
  ep.pos->searchFlags = special ? SearchSpecialMove : 0;
}

struct CorrectionResult {
  bool removed;
  int32_t countDrop;
  int32_t sumDrop;
};

// Runs the correction, reads what it changed, restores and checks that the
// restore brings the board back.
CorrectionResult runCorrection(EvalPosition& ep, int32_t kindIndex) {
  ThreadBoard* board = ep.board.get();
  const int32_t count = board->kinds[kindIndex].count, sum = board->materialSum;
  PieceRecord* removed = removeRecapturablePiece(ep.pos.get());
  CorrectionResult result{removed != nullptr, count - board->kinds[kindIndex].count, sum - board->materialSum};
  restoreRemovedPiece(board, removed);
  EXPECT_EQ(board->kinds[kindIndex].count, count);
  EXPECT_EQ(board->materialSum, sum);
  return result;
}

// A whole evaluation with a chosen engine side and opening offset (the root
// driver's settings); returns the static value (side to move's view).
int32_t evaluateWith(EvalPosition& ep, int32_t engineSideValue, int32_t offset = 0, int32_t full = 1) {
  engineSide = engineSideValue;
  openingOffset = offset;
  evaluate(ep.pos.get(), full);
  return ep.pos->staticValue;
}

int32_t evaluateField(const std::string& field, int32_t side, int32_t engineSideValue, uint32_t castling = 0,
                      int32_t clock = 0) {
  EvalPosition ep;
  buildEvalPosition(ep, field, side, castling, clock);
  return evaluateWith(ep, engineSideValue);
}

// The score seen by the engine.
int32_t engineView(int32_t staticValue, int32_t side, int32_t engineSideValue) {
  return side == engineSideValue ? staticValue : -staticValue;
}

// A position and its colour mirror evaluated whole, each with the engine on
// the mirrored side: both values are the side to move's, so they must agree
// (the engine-side terms cancel). Positions under the evaluation's
// deliberate asymmetries are left out, as the evaluator tests decide.
struct WholeMirror {
  bool compared;
  int32_t value, mirrorValue, tolerance;
};
WholeMirror wholeMirror(const std::string& field, int32_t side, int32_t engineSideValue, uint32_t castling,
                        int32_t clock) {
  testing_eval::MirrorPair pair = testing_eval::mirrorPair(field, side, castling, clock);
  WholeMirror result{pair.compared, 0, 0, pair.tolerance};
  if (!pair.compared) return result;
  EvalPosition original, mirrored;
  buildEvalPosition(original, field, side, castling, clock);
  buildEvalPosition(mirrored, testing_eval::mirrorField(field), -side, testing_eval::mirrorCastling(castling), clock);
  result.value = evaluateWith(original, engineSideValue, 0, 0);
  result.mirrorValue = evaluateWith(mirrored, -engineSideValue, 0, 0);
  return result;
}

}  // namespace

// The values set up at load time must be the ones the derivation gives at
// the default words, so that an evaluation before the first search agrees
// with every later one.
TEST(EvaluationWeights, DerivationAtDefaultWordsKeepsEveryValue) {
  DefaultWords words;
  EvalPosition ep;
  buildEvalPosition(ep, "r1bqk2r/pppp1ppp/2n2n2/4p3/1bB1P3/5N2/PPPP1PPP/RNBQK2R", White);
  const MiddlegameWeights mg = middlegameWeights;
  const EndgameWeights eg = endgameWeights;
  const int32_t sum = ep.board->materialSum;
  const int32_t thresholds[4] = {middlegameThreshold, heavyMaterialThreshold, twoBishopsRooksSum, bishopRookQueenSum};
  int32_t values[KindCount][2];
  for (int32_t k = 0; k < KindCount; ++k) {
    values[k][0] = ep.board->kinds[k].value;
    values[k][1] = ep.board->kinds[k].endValue;
  }
  int32_t tables[3][RankTableEntries];
  for (int32_t r = 0; r < RankTableEntries; ++r) {
    tables[0][r] = middlegameRankTable1[r];
    tables[1][r] = middlegameRankTable2[r];
    tables[2][r] = endgameRankTable[r];
  }
  deriveMiddlegameWeights(ep.board.get());
  deriveEndgameWeights();
  EXPECT_EQ(std::memcmp(&mg, &middlegameWeights, sizeof mg), 0);
  EXPECT_EQ(std::memcmp(&eg, &endgameWeights, sizeof eg), 0);
  for (int32_t r = 0; r < RankTableEntries; ++r) {
    EXPECT_EQ(tables[0][r], middlegameRankTable1[r]);
    EXPECT_EQ(tables[1][r], middlegameRankTable2[r]);
    EXPECT_EQ(tables[2][r], endgameRankTable[r]);
  }
  for (int32_t k = 0; k < KindCount; ++k) {
    EXPECT_EQ(ep.board->kinds[k].value, values[k][0]) << k;
    EXPECT_EQ(ep.board->kinds[k].endValue, values[k][1]) << k;
  }
  EXPECT_EQ(ep.board->materialSum, sum);
  EXPECT_EQ(middlegameThreshold, thresholds[0]);
  EXPECT_EQ(heavyMaterialThreshold, thresholds[1]);
  EXPECT_EQ(twoBishopsRooksSum, thresholds[2]);
  EXPECT_EQ(bishopRookQueenSum, thresholds[3]);
}

// Every derived value is the word times its share at a word of 100, divided
// by 100 and truncated: worked out by hand at half and at one and a half
// times the default words, for the piece values, the thresholds built from
// them, a sample of the weights and the rank tables. The king stays at
// 14000, the first and last ranks at 0.
TEST(EvaluationWeights, ChangedWordsScaleEveryValueTruncating) {
  struct Case {
    int32_t word;
    int32_t pawn[2], knight[2], bishop[2], rook[2], queen[2];
    // shieldPawn, castleAwayHeavy, rookFileFirst, passerKingFar, passerEscort,
    // passedSupported of the middlegame; pawnTargetBonus, passerEscort,
    // passedCentreFile of the endgame.
    int32_t weights[9];
    int32_t rank1[RankTableEntries], rank2[RankTableEntries], endRank[RankTableEntries];
  };
  const Case cases[] = {
      {50, {26, 42}, {112, 154}, {123, 159}, {175, 255}, {360, 496},
       {4, 24, 1, 7, 11, 1, 11, 1, 9},
       {0, 0, 0, 6, 22, 49, 76, 0}, {0, 1, 1, 3, 18, 52, 79, 0}, {0, 4, 4, 16, 41, 43, 67, 0}},
      {150, {78, 126}, {337, 462}, {370, 478}, {525, 766}, {1080, 1488},
       {13, 72, 4, 21, 34, 4, 34, 4, 27},
       {0, 1, 1, 18, 67, 147, 229, 0}, {0, 3, 3, 9, 54, 156, 237, 0}, {0, 12, 12, 49, 123, 130, 202, 0}},
  };
  DefaultWords words;
  EvalPosition ep;
  buildEvalPosition(ep, "3qk3/8/8/8/8/8/8/2BQK3", White);
  ThreadBoard* board = ep.board.get();
  deriveMiddlegameWeights(board);
  deriveEndgameWeights();
  const int32_t defaultQueen = board->kinds[WhiteQueen].value, defaultSum = board->materialSum;
  const int32_t defaultThreshold = middlegameThreshold, defaultEndRank = endgameRankTable[6];
  for (const Case& c : cases) {
    for (int32_t w = ParamPawnValue; w <= ParamPassedPawns; ++w) engineParameters.words[w] = c.word;
    deriveMiddlegameWeights(board);
    deriveEndgameWeights();
    expectValues(board, PawnCode, c.pawn[0], c.pawn[1]);
    expectValues(board, KnightCode, c.knight[0], c.knight[1]);
    expectValues(board, BishopCode, c.bishop[0], c.bishop[1]);
    expectValues(board, RookCode, c.rook[0], c.rook[1]);
    expectValues(board, QueenCode, c.queen[0], c.queen[1]);
    expectValues(board, KingCode, 14000, 14000);
    const int32_t bishop = c.bishop[0], rook = c.rook[0], queen = c.queen[0];
    EXPECT_EQ(middlegameThreshold, bishop + queen) << c.word;
    EXPECT_EQ(heavyMaterialThreshold, 4 * bishop + 2 * queen + 1) << c.word;
    EXPECT_EQ(twoBishopsRooksSum, 2 * (bishop + rook)) << c.word;
    EXPECT_EQ(bishopRookQueenSum, bishop + rook + queen) << c.word;
    // The pieces' copies of their kinds and the material sum follow.
    EXPECT_EQ(squareAt(board, squareOf("d1"))->kindCopy.value, queen) << c.word;
    EXPECT_EQ(squareAt(board, squareOf("c1"))->kindCopy.endValue, c.bishop[1]) << c.word;
    EXPECT_EQ(board->materialSum, bishop + 2 * queen) << c.word;
    const int32_t weights[9] = {middlegameWeights.shieldPawn,   middlegameWeights.castleAwayHeavy,
                                middlegameWeights.rookFileFirst, middlegameWeights.passerKingFar,
                                middlegameWeights.passerEscort,  middlegameWeights.passedSupported,
                                endgameWeights.pawnTargetBonus,  endgameWeights.passerEscort,
                                endgameWeights.passedCentreFile};
    for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(weights[i], c.weights[i]) << c.word << " weight " << i;
    for (int32_t r = 0; r < RankTableEntries; ++r) {
      EXPECT_EQ(middlegameRankTable1[r], c.rank1[r]) << c.word << " rank " << r;
      EXPECT_EQ(middlegameRankTable2[r], c.rank2[r]) << c.word << " rank " << r;
      EXPECT_EQ(endgameRankTable[r], c.endRank[r]) << c.word << " rank " << r;
    }
  }
  // Back to the default words: everything returns.
  engineParameters = defaultEngineParameters;
  deriveMiddlegameWeights(board);
  deriveEndgameWeights();
  EXPECT_EQ(board->kinds[WhiteQueen].value, defaultQueen);
  EXPECT_EQ(board->materialSum, defaultSum);
  EXPECT_EQ(middlegameThreshold, defaultThreshold);
  EXPECT_EQ(endgameRankTable[6], defaultEndRank);
}

TEST(FiftyMoveDrift, ScoresMoveTowardZeroByTheDrift) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/4p3/8/8/8/8/4P3/4K3", White);
  ThreadBoard* board = ep.board.get();
  struct Case {
    int32_t drift, score, result, storedDrift;
  };
  const Case cases[] = {
      {20, 100, 80, 20},   // above 1.5 d: loses d, drift kept
      {20, 30, 10, 20},    // exactly 1.5 d: still loses d
      {20, 29, 10, 19},    // just below: keeps a third (29 - 19)
      {20, 0, 0, 0},       // zero stays zero
      {20, -29, -10, -19}, // a third of a small negative score
      {20, -30, -10, -20}, // exactly -1.5 d: gains d, drift negated
      {20, -100, -80, -20},
      {0, 57, 57, 0},  // no drift
      {1, -1, 0, -1},  // (-3 x 1) / 2 = -1: at the bound, gains d
      {3, 4, 1, 3},    // (3 x 3) / 2 = 4: at the bound
  };
  for (const Case& c : cases) {
    board->fiftyMoveDrift = c.drift;
    EXPECT_EQ(applyFiftyMoveDrift(board, c.score), c.result) << c.drift << " " << c.score;
    EXPECT_EQ(board->fiftyMoveDrift, c.storedDrift) << c.drift << " " << c.score;
  }
}

TEST(FiftyMoveDrift, NeverCrossesZeroNorGrows) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/4p3/8/8/8/8/4P3/4K3", White);
  ThreadBoard* board = ep.board.get();
  for (int32_t d = 0; d <= 120; d += 3) {
    int32_t previous = -100000;
    for (int32_t s = -400; s <= 400; ++s) {
      board->fiftyMoveDrift = d;
      int32_t r = applyFiftyMoveDrift(board, s);
      EXPECT_LE(std::abs(r), std::abs(s)) << d << " " << s;
      EXPECT_GE(int64_t(r) * s, 0) << d << " " << s;
      EXPECT_LE(std::abs(s) - std::abs(r), d) << d << " " << s;
      // A larger score never drifts below a smaller one.
      EXPECT_GE(r, previous) << d << " " << s;
      previous = r;
    }
  }
}

// Whether the last move's piece is left out as about to be taken back, and
// what leaving it out takes off: one from its kind's count and its value
// from the material sum (pawns are not in the sum). A piece that is kept
// changes nothing. The correction's restore must bring the board back.
TEST(CaptureCorrection, WhichPiecesAreLeftOut) {
  struct Case {
    const char* what;
    const char* field;
    int32_t side;
    const char* from;
    const char* to;
    bool captured, special;
    int32_t promote, promoteColour;  // promote -1: not an under-promotion
    int32_t kind;
    bool removed;
    int32_t sumDrop;
  };
  const Case cases[] = {
      {"a pawn attacks the knight that took", "4k3/8/4p3/3N4/8/8/8/4K3", Black, "f4", "d5", true, false, -1, 0,
       WhiteKnight, true, 225},
      {"a bishop (equal class) attacks the undefended knight", "4k3/8/8/3N4/8/1b6/8/4K3", Black, "f4", "d5", true,
       false, -1, 0, WhiteKnight, true, 225},
      {"the knight is defended by the e4 pawn", "4k3/8/8/3N4/4P3/1b6/8/4K3", Black, "f4", "d5", true, false, -1, 0,
       WhiteKnight, false, 0},
      {"a dearer rook attacks the defended knight", "3rk3/8/8/3N4/4P3/8/8/4K3", Black, "f4", "d5", true, false, -1, 0,
       WhiteKnight, false, 0},
      {"a capturing king is never left out", "8/8/3rk3/8/8/8/8/3KR3", White, "e7", "e6", true, false, -1, 0,
       BlackKing, false, 0},
      {"a king takes an undefended knight", "8/8/4k3/8/8/8/3n4/3K4", White, "b3", "d2", true, false, -1, 0,
       BlackKnight, true, 225},
      {"a king cannot take a defended knight", "8/8/4k3/8/8/2b5/3n4/3K4", White, "b3", "d2", true, false, -1, 0,
       BlackKnight, false, 0},
      {"nothing attacks the knight", "8/8/4k3/8/8/8/3n4/7K", White, "b3", "d2", true, false, -1, 0, BlackKnight,
       false, 0},
      {"the piece on the to-square belongs to the side to move", "8/8/4k3/8/8/8/3N4/2r1K3", White, "b3", "d2", true,
       false, -1, 0, WhiteKnight, false, 0},
      {"a quiet move onto an attacked square", "4k3/8/4p3/3N4/8/8/8/4K3", Black, "f4", "d5", false, false, -1, 0,
       WhiteKnight, false, 0},
      {"a quiet queen promotion that a rook attacks (special)", "r3Q1k1/8/8/8/8/8/8/4K3", Black, "e7", "e8", false,
       true, -1, 0, WhiteQueen, true, 720},
      {"a knight under-promotion by capture, taken back by the rook", "r2N2k1/8/8/8/8/8/8/4K3", Black, "e7", "d8",
       true, true, PromoteKnight, White, WhiteKnight, true, 225},
      {"a quiet rook under-promotion, taken by the king", "4k3/8/8/8/8/8/8/rK6", White, "a2", "a1", false, true,
       PromoteRook, Black, BlackRook, true, 350},
      {"a pawn that took is taken back by a pawn", "4k3/8/8/8/3p4/4P3/8/4K3", White, "e5", "d4", true, false, -1, 0,
       BlackPawn, true, 0},
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, c.side);
    const int32_t to = squareOf(c.to);
    setLastMove(ep, c.from, c.promote < 0 ? to : underPromotionByte(to, c.promote, c.promoteColour), c.captured,
                c.special);
    CorrectionResult r = runCorrection(ep, c.kind);
    EXPECT_EQ(r.removed, c.removed) << c.what;
    EXPECT_EQ(r.countDrop, c.removed ? 1 : 0) << c.what;
    EXPECT_EQ(r.sumDrop, c.sumDrop) << c.what;
  }
}

TEST(CaptureCorrection, NothingToLeaveOut) {
  // An empty to-square, the root's no-move and a move with no record of a
  // capture.
  EvalPosition ep;
  buildEvalPosition(ep, "8/8/4k3/8/8/8/8/2r1K3", White);
  setLastMove(ep, "b3", squareOf("d2"), true);
  EXPECT_EQ(removeRecapturablePiece(ep.pos.get()), nullptr);
  ep.pos->lastMove = noMove;
  EXPECT_EQ(removeRecapturablePiece(ep.pos.get()), nullptr);
  ep.pos->captured = nullptr;
  EXPECT_EQ(removeRecapturablePiece(ep.pos.get()), nullptr);
}

TEST(CastlingRights, RightsFollowTheRooksOnTheirCorners) {
  EvalPosition ep;
  const uint32_t all = StateCastlingMask;
  buildEvalPosition(ep, "r3k2r/8/8/8/8/8/8/R3K2R", White, all);
  fixCastlingRights(ep.pos.get());
  EXPECT_EQ(ep.pos->stateFlags & all, all);
  // White's h1 rook and Black's a8 rook have gone.
  buildEvalPosition(ep, "4k2r/8/8/8/8/8/8/R3K3", White, all);
  fixCastlingRights(ep.pos.get());
  EXPECT_EQ(ep.pos->stateFlags & all, StateWhiteQueenSide | StateBlackKingSide);
  // A rook of the other colour on the corner does not count.
  buildEvalPosition(ep, "R3k2r/8/8/8/8/8/8/r3K2R", White, all);
  fixCastlingRights(ep.pos.get());
  EXPECT_EQ(ep.pos->stateFlags & all, StateWhiteKingSide | StateBlackKingSide);
  // Nothing is granted: no rights stay none.
  buildEvalPosition(ep, "r3k2r/8/8/8/8/8/8/R3K2R", White, 0);
  fixCastlingRights(ep.pos.get());
  EXPECT_EQ(ep.pos->stateFlags & all, 0u);
}

// Balanced boards score only what goes against the engine's own side, the
// same from the engine's view whichever side it plays and whichever side
// is to move.
TEST(Evaluate, BalancedBoardsScoreOnlyTheChargeAgainstTheEngine) {
  struct Case {
    const char* field;
    uint32_t castling;
    int32_t engineView;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/8/8/4K3", 0, -32},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", StateCastlingMask, -7},  // the heavy middlegame bias
  };
  for (const Case& c : cases)
    for (int32_t side : {White, Black})
      for (int32_t es : {White, Black}) {
        int32_t v = evaluateField(c.field, side, es, c.castling);
        EXPECT_EQ(engineView(v, side, es), c.engineView) << c.field << " " << side << " " << es;
      }
}

TEST(Evaluate, KnightAgainstBareKingIsScaledDown) {
  // The knight's edge rests on no pawn: two thirds come off and the mark
  // scales the rest to 14/64; then the bias and the bare-side charge.
  EXPECT_EQ(evaluateField("4k3/8/8/8/3N4/8/8/4K3", White, White), 20);
  EXPECT_EQ(evaluateField("4k3/8/8/8/3N4/8/8/4K3", White, Black), 54);
  // The mirror: Black's knight, Black to move.
  EXPECT_EQ(evaluateField("4k3/8/8/3n4/8/8/8/4K3", Black, Black), 20);
  EXPECT_EQ(evaluateField("4k3/8/8/3n4/8/8/8/4K3", Black, White), 54);
}

TEST(Evaluate, FutilityMarginAndOpeningOffset) {
  EvalPosition ep;
  buildEvalPosition(ep, "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R", White, StateCastlingMask);
  const int32_t base = evaluateWith(ep, White, 0);
  EXPECT_EQ(futilityMargin.load(), -9);
  EXPECT_EQ(evalOffset.load(), 1);
  // Offsets 2 and 3 add one (half the evaluator's offset), -1 to 1 nothing.
  EXPECT_EQ(evaluateWith(ep, White, 2), base + 1);
  EXPECT_EQ(futilityMargin.load(), -9);
  EXPECT_EQ(evaluateWith(ep, White, 1), base + 1);
  EXPECT_EQ(evaluateWith(ep, White, -1), base);
  EXPECT_EQ(evaluateWith(ep, White, -2), base);
  EXPECT_EQ(futilityMargin.load(), -9);
  openingOffset = 0;
}

TEST(Evaluate, ContemptFavoursTheEngineSide) {
  DefaultWords words;
  const char* field = "r2q1rk1/1b2bppp/p3pn2/1p6/3P4/P1NB1N2/1P3PPP/R2Q1RK1";
  for (int32_t side : {White, Black})
    for (int32_t es : {White, Black}) {
      engineParameters.words[ParamContempt] = 0;
      int32_t neutral = evaluateField(field, side, es);
      for (int32_t contempt : {25, -40}) {
        engineParameters.words[ParamContempt] = contempt;
        int32_t v = evaluateField(field, side, es);
        EXPECT_EQ(engineView(v, side, es), engineView(neutral, side, es) + contempt) << side << " " << es;
      }
    }
}

TEST(Evaluate, EngineSideBiasBySharpnessAndPath) {
  // White's view with the engine White minus with the engine Black: twice
  // the bias.
  auto twiceBias = [](const char* field) {
    return evaluateField(field, White, Black) - evaluateField(field, White, White);
  };
  // Queens and bishops: 2 x 720 + 4 x 247 = 2428, one short of the heavy
  // threshold.
  EXPECT_EQ(twiceBias("2bqkb2/pppppppp/8/8/8/8/PPPPPPPP/2BQKB2"), 6);
  // A rook for a bishop: 2531, heavy.
  EXPECT_EQ(twiceBias("2bqkr2/pppppppp/8/8/8/8/PPPPPPPP/2BQKB2"), 14);
  // Heavy material without queens.
  EXPECT_EQ(twiceBias("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR"), 6);
  // At or below the threshold: the evaluation with reduced material.
  EXPECT_EQ(twiceBias("2r1k3/pppp4/8/8/8/8/PPPP4/2R1K3"), 4);
}

TEST(Evaluate, MaterialAtTheThresholdTakesTheEndgamePath) {
  EvalPosition ep;
  // Queen and bishop: exactly the threshold.
  buildEvalPosition(ep, "4k3/p7/8/8/8/8/P7/2BQK3", White);
  ASSERT_EQ(ep.board->materialSum, middlegameThreshold);
  evaluateWith(ep, White);
  EXPECT_EQ(ep.board->evalBlock.passedRankTable, endgameRankTable);
  // Queen and rook: above it.
  buildEvalPosition(ep, "4k3/p7/8/8/8/8/P7/3QK2R", White);
  evaluateWith(ep, White);
  EXPECT_NE(ep.board->evalBlock.passedRankTable, endgameRankTable);
}

TEST(Evaluate, FullEvaluationRederivesAndFreesThePool) {
  DefaultWords words;
  EvalPosition ep;
  buildEvalPosition(ep, "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R", White, StateCastlingMask);
  AttackData* record = claimAttackData(ep.board.get());
  ASSERT_NE(record, nullptr);
  // Without the request nothing is derived and the record stays owned.
  engineParameters.words[ParamRookFiles] = 200;
  evaluateWith(ep, White, 0, 0);
  EXPECT_EQ(middlegameWeights.rookFileStep, 8);
  EXPECT_EQ(record->owner.load(), ep.board.get());
  // A middlegame root derives only the middlegame weights.
  evaluateWith(ep, White, 0, 1);
  EXPECT_EQ(middlegameWeights.rookFileStep, 16);
  EXPECT_EQ(endgameWeights.rookFileStep, 7);
  EXPECT_EQ(record->owner.load(), nullptr);
  // An endgame root derives both.
  EvalPosition ending;
  buildEvalPosition(ending, "4k3/p7/8/8/8/8/P7/2R1K3", White);
  evaluateWith(ending, White, 0, 1);
  EXPECT_EQ(endgameWeights.rookFileStep, 14);
  engineParameters = defaultEngineParameters;
  evaluateWith(ending, White, 0, 1);
  EXPECT_EQ(middlegameWeights.rookFileStep, 8);
  EXPECT_EQ(endgameWeights.rookFileStep, 7);
}

TEST(Evaluate, DriftPullsTheScoreTowardZeroWithTheClock) {
  DefaultWords words;
  // Eleven pawns or more, no queens (with queens and heavy material there
  // is no drift) and no draw mark: the evaluator's own score does not
  // depend on the clock, only the entry's drift does.
  const char* field = "r1b2rk1/pp3ppp/2n1pn2/3p4/2PP4/2N2N2/PP3PPP/R3KB1R";
  for (int32_t side : {White, Black})
    for (int32_t es : {White, Black}) {
      EvalPosition ep;
      buildEvalPosition(ep, field, side, 0, 0);
      const int32_t atZero = evaluateWith(ep, es);
      EXPECT_EQ(ep.pos->stateFlags & StateDriftPending, 0u);
      int32_t previous = atZero;
      for (int32_t clock : {1, 5, 10, 30, 60, 99}) {
        buildEvalPosition(ep, field, side, 0, clock);
        const int32_t v = evaluateWith(ep, es);
        ASSERT_NE(ep.pos->stateFlags & StateDriftPending, 0u);
        // The evaluator sets a drift of eight per half-move at word 19 =
        // 100, and the entry applies the drift step (checked on its own
        // above) to the clock-free score.
        EvalPosition step;
        buildEvalPosition(step, field, side);
        step.board->fiftyMoveDrift = 8 * clock;
        EXPECT_EQ(v, applyFiftyMoveDrift(step.board.get(), atZero)) << side << " " << es << " clock " << clock;
        // The stored drift is signed for the engine's side.
        const int32_t stored = step.board->fiftyMoveDrift;
        EXPECT_EQ(ep.board->fiftyMoveDrift, side == es ? stored : -stored) << side << " " << es << " " << clock;
        EXPECT_LE(std::abs(v), std::abs(previous));
        EXPECT_GE(int64_t(v) * atZero, 0);
        previous = v;
      }
    }
}

TEST(Evaluate, NoDriftWithoutPawnsOrWithWordNineteenOff) {
  DefaultWords words;
  const char* field = "r1b2rk1/pp3ppp/2n1pn2/3p4/2PP4/2N2N2/PP3PPP/R3KB1R";
  EvalPosition ep;
  buildEvalPosition(ep, field, White, 0, 0);
  const int32_t atZero = evaluateWith(ep, White);
  engineParameters.words[ParamFiftyMoveDrift] = 0;
  buildEvalPosition(ep, field, White, 0, 40);
  EXPECT_EQ(evaluateWith(ep, White), atZero);
  EXPECT_EQ(ep.pos->stateFlags & StateDriftPending, 0u);
  engineParameters.words[ParamFiftyMoveDrift] = 100;
  // Rooks and minor pieces, no pawns: no drift at any clock.
  buildEvalPosition(ep, "r1b1k3/8/2n5/8/8/2N5/8/R1B1K3", White, 0, 0);
  const int32_t pawnless = evaluateWith(ep, White);
  buildEvalPosition(ep, "r1b1k3/8/2n5/8/8/2N5/8/R1B1K3", White, 0, 80);
  EXPECT_EQ(evaluateWith(ep, White), pawnless);
  EXPECT_EQ(ep.pos->stateFlags & StateDriftPending, 0u);
}

TEST(Evaluate, RecapturablePieceIsLeftOutOfTheCounts) {
  // White's bishop has just taken on d5, where Black's e6 pawn takes it
  // back: while the evaluator runs White has one bishop, so the bishop pair
  // (41) is not counted, and the board is restored afterwards.
  const char* field = "r3k2r/pp3ppp/2n1p3/3B4/2B5/8/PP3PPP/R3K2R";
  EvalPosition ep;
  buildEvalPosition(ep, field, Black);
  setLastMove(ep, "b3", squareOf("d5"), true);
  const int32_t count = ep.board->kinds[WhiteBishop].count, sum = ep.board->materialSum;
  const int32_t corrected = evaluateWith(ep, Black, 0, 0);
  EXPECT_EQ(ep.board->kinds[WhiteBishop].count, count);
  EXPECT_EQ(ep.board->materialSum, sum);
  // The same board reached by a quiet move: both bishops count.
  buildEvalPosition(ep, field, Black);
  setLastMove(ep, "b3", squareOf("d5"), false);
  const int32_t plain = evaluateWith(ep, Black, 0, 0);
  EXPECT_GE(corrected - plain, 41) << corrected << " " << plain;
  // Only the count and the material sum change: lowering them by hand gives
  // the corrected value.
  buildEvalPosition(ep, field, Black);
  setLastMove(ep, "b3", squareOf("d5"), false);
  ep.board->kinds[WhiteBishop].count -= 1;
  ep.board->materialSum -= 247;
  EXPECT_EQ(evaluateWith(ep, Black, 0, 0), corrected);
  // Attacked only by the d8 rook (dearer than a bishop) and defended by the
  // e4 bishop: nothing is left out.
  buildEvalPosition(ep, "3rk2r/pp3ppp/2n5/3B4/4B3/8/PP3PPP/R3K2R", Black);
  setLastMove(ep, "b3", squareOf("d5"), true);
  const int32_t defended = evaluateWith(ep, Black, 0, 0);
  buildEvalPosition(ep, "3rk2r/pp3ppp/2n5/3B4/4B3/8/PP3PPP/R3K2R", Black);
  setLastMove(ep, "b3", squareOf("d5"), false);
  EXPECT_EQ(evaluateWith(ep, Black, 0, 0), defended);
}

TEST(Evaluate, MirroredPositionsScoreAlikeForTheSideToMove) {
  std::mt19937 rng(8122026);
  int32_t compared = 0, middlegames = 0;
  for (int32_t i = 0; i < 1500; ++i) {
    testing_board::RandomPosition p = testing_board::randomPosition(rng);
    int32_t clock = i % 3 == 0 ? int32_t(rng() % 120) : 0;
    int32_t es = rng() % 2 ? White : Black;
    EvalPosition ep;
    buildEvalPosition(ep, p.field, p.side);
    // Random piece lists are not laid out as each other's mirror, and with
    // queens the king zone's first attacker in list order (queen or king
    // against any other piece) can then differ between the two boards.
    const int32_t queens = ep.board->kinds[WhiteQueen].count + ep.board->kinds[BlackQueen].count;
    if (queens > 0 && ep.board->materialSum > bishopRookQueenSum) continue;
    WholeMirror m = wholeMirror(p.field, p.side, es, p.castling, clock);
    if (!m.compared) continue;
    ++compared;
    if (ep.board->materialSum > middlegameThreshold) ++middlegames;
    EXPECT_LE(std::abs(m.value - m.mirrorValue), m.tolerance)
        << p.field << " side " << p.side << " engine " << es << " castling " << p.castling << " clock " << clock;
  }
  EXPECT_GE(compared, 150);
  EXPECT_GE(middlegames, 50);
}

TEST(Evaluate, MirroredGamePositionsScoreAlike) {
  const char* fields[] = {
      "r1bq1rk1/pp3ppp/2n1pn2/3p4/2PP4/2N2N2/PP3PPP/R2QKB1R",
      "r2q1rk1/1b2bppp/p3pn2/1p6/3P4/P1NB1N2/1P3PPP/R2Q1RK1",
      "2rr2k1/pp3ppp/2n1p3/8/3P4/2N2P2/PP4PP/2RR2K1",
      "r4rk1/pp3ppp/2n5/3p4/3P4/2N5/PP3PPP/R4RK1",
      "3r1rk1/1p3ppp/p1n5/4p3/4P3/P1N5/1P3PPP/3R1RK1",
      "rn2k2r/ppp2ppp/8/3pp3/3PP3/8/PPP2PPP/RN2K2R",
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
      "8/5pk1/6p1/8/8/6P1/5PK1/8",
      "8/8/4k3/3p4/3P4/4K3/8/8",
      "4k3/8/8/8/8/8/8/R3K3",
      "2r3k1/5ppp/8/8/8/8/5PPP/2R3K1",
  };
  int32_t compared = 0;
  for (const char* field : fields)
    for (int32_t side : {White, Black})
      for (int32_t es : {White, Black})
        for (int32_t clock : {0, 30}) {
          WholeMirror m = wholeMirror(field, side, es, 0, clock);
          if (!m.compared) continue;
          ++compared;
          EXPECT_LE(std::abs(m.value - m.mirrorValue), m.tolerance) << field << " " << side << " " << es << " " << clock;
        }
  EXPECT_GE(compared, 40);
}

// With one of two bishops left out, the other is the side's only bishop,
// whichever of the two comes first in the piece list.
TEST(CaptureCorrection, LoneBishopIsTheOneNotLeftOut) {
  struct Case {
    const char* field;
    const char* from;
    const char* to;
    int32_t colour;  // square colour of the bishop that stays
  };
  const Case cases[] = {
      {"r2qk2r/pp3ppp/2p5/3B4/8/8/PPP2PPP/R1BQK2R", "b3", "d5", 0},  // d5 taken back by c6; c1 stays
      {"r2qk2r/pp3ppp/8/1B6/1p6/2B5/P4PPP/R2QK2R", "e5", "c3", 1},  // c3 taken back by b4; b5 stays
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, Black);
    setLastMove(ep, c.from, squareOf(c.to), true);
    evaluateWith(ep, Black, 0, 0);
    EXPECT_EQ(ep.board->evalBlock.loneBishopColour[1], c.colour) << c.field;
    EXPECT_EQ(ep.board->kinds[WhiteBishop].count, 2);
    EXPECT_EQ(ep.board->evalScalars.leftOutPiece, nullptr);
  }
}

// After b4xa5 the Black king takes the a5 pawn back, so it is left out: the
// a-pawn no longer counts, and with the b3 pawn White's pawns are not all
// on the a-file. Mark and scale are those of the board without a5: mark 1,
// the end values scaled to 32/64 (the bishop's 319 to 160), not mark 2 and
// 14/64.
TEST(CaptureCorrection, WrongBishopRuleCountsOnlyThePawnsLeftIn) {
  EvalPosition ep;
  buildEvalPosition(ep, "8/8/1k6/P7/8/1P6/8/2B1K3", Black);
  setLastMove(ep, "b4", squareOf("a5"), true);
  evaluateWith(ep, Black, 0, 1);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 1);
  EXPECT_EQ(ep.board->kinds[WhiteBishop].baseValue, 160);
  buildEvalPosition(ep, "8/8/1k6/8/8/1P6/8/2B1K3", Black);
  evaluateWith(ep, Black, 0, 1);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 1);
  EXPECT_EQ(ep.board->kinds[WhiteBishop].baseValue, 160);
}
