// The evaluation as the search sees it, checked against what a chess player
// knows: orderings anyone agrees with, known drawn endings scaled toward
// zero, and the colour mirror (of the root's value and of the values make
// derives for the children). Then the entry's own duties: the parameter
// words, the fifty-move drift, the piece about to be taken back, the
// castling rights whose rooks have gone, contempt and the opening offset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/board/legality.h"
#include "engine/board/makemove.h"
#include "engine/board/movegen.h"
#include "engine/board/setup.h"
#include "engine/eval/attack_data.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/eval_positions.h"
#include "helpers/perft.h"
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

// The root's static value (side to move's view) of a position text, set up
// as the front end does and evaluated as the root driver does.
int32_t rootValue(const std::string& fen, int32_t engineSideValue) {
  EXPECT_TRUE(perft::setUp(fen.c_str())) << fen;
  engineSide = engineSideValue;
  openingOffset = 0;
  evaluate(&rootPosition, 1);
  return rootPosition.staticValue;
}

// White's view with the engine on the side to move, so that the charge
// against the engine's side cancels between two positions with the same
// side to move.
int32_t whiteView(const std::string& fen) {
  perft::setUp(fen.c_str());
  const int32_t side = rootPosition.side;
  const int32_t value = rootValue(fen, side);
  return side > 0 ? value : -value;
}

// The values make leaves in the children of the root, over its legal
// moves, sorted: make moves a piece from entry to entry of the tables the
// evaluation filled, so this reads entries of empty squares too.
std::vector<int32_t> childValues(const std::string& fen, int32_t engineSideValue) {
  rootValue(fen, engineSideValue);
  auto child = std::make_unique<Position>();
  initPosition(child.get(), rootPosition.board);
  std::vector<int32_t> values;
  resetMoveStack(&rootPosition);
  for (Move move = nextMove(&rootPosition); moveFrom(move) != NoSquare; move = nextMove(&rootPosition)) {
    makeMove(&rootPosition, move, child.get());
    if (!moverKingAttacked(child.get())) values.push_back(child->staticValue);
    unmakeMove(child.get());
  }
  std::sort(values.begin(), values.end());
  return values;
}

// The colour mirror of a position text: board, side and castling.
std::string mirrorFen(const std::string& fen) {
  const size_t boardEnd = fen.find(' ');
  std::string out = testing_eval::mirrorField(fen.substr(0, boardEnd));
  out += fen[boardEnd + 1] == 'w' ? " b " : " w ";
  std::string castling = fen.substr(boardEnd + 3, fen.find(' ', boardEnd + 3) - boardEnd - 3);
  std::string upper, lower;
  for (char c : castling) {
    if (std::isupper(static_cast<unsigned char>(c))) lower += char(std::tolower(c));
    if (std::islower(static_cast<unsigned char>(c))) upper += char(std::toupper(c));
  }
  out += upper + lower;
  if (upper.empty() && lower.empty()) out += '-';
  return out + " - 0 1";
}

// A whole evaluation on a board built straight from a board field.
int32_t evaluateWith(EvalPosition& ep, int32_t engineSideValue, int32_t offset = 0, int32_t full = 1) {
  engineSide = engineSideValue;
  openingOffset = offset;
  evaluate(ep.pos.get(), full);
  return ep.pos->staticValue;
}

// The same with the engine on the side to move, in White's view.
int32_t whiteViewOf(const std::string& field, int32_t side, int32_t clock) {
  EvalPosition ep;
  buildEvalPosition(ep, field, side, 0, clock);
  const int32_t value = evaluateWith(ep, side);
  return side > 0 ? value : -value;
}

// A pawn's worth in the ending, at the words in force (the master board is
// filled when a game is set up).
int32_t pawnEndValue() {
  perft::setUp("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  return masterBoard.kinds[WhitePawn].endValue;
}

}  // namespace

// ---- The engine's own side ---------------------------------------------------

// A balanced board scores the same from the engine's view whichever side
// the engine plays and whichever side is to move: at most a small charge
// against the engine's own side, never a gain.
TEST(EngineSide, BalancedBoardsLookTheSameFromEitherSide) {
  constexpr int32_t HalfAPawn = 50;
  const char* fields[] = {"4k3/8/8/8/8/8/8/4K3", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
                          "2r3k1/5ppp/8/8/8/8/5PPP/2R3K1"};
  for (const char* field : fields) {
    const int32_t first = whiteViewOf(field, White, 0);
    EXPECT_LE(first, 0) << field;
    EXPECT_GT(first, -HalfAPawn) << field;
    for (int32_t side : {White, Black})
      for (int32_t es : {White, Black}) {
        EvalPosition ep;
        buildEvalPosition(ep, field, side);
        const int32_t value = evaluateWith(ep, es);
        EXPECT_EQ(side == es ? value : -value, first) << field << " side " << side << " engine " << es;
      }
  }
}

// ---- What a chess player knows ---------------------------------------------

// Pairs of positions with the same side to move where any chess player
// knows which one White prefers; the evaluation must agree, and on the
// colour-mirrored pair the other way round.
TEST(EvaluationOrder, WhatAChessPlayerPrefers) {
  struct Case {
    const char* what;
    const char* better;
    const char* worse;
    int32_t margin = 0;  // by at least this much
  };
  const Case cases[] = {
      {"an extra queen beats an extra rook", "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
       "rnbqkbn1/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQq - 0 1"},
      {"an extra rook beats an extra knight", "rnbqkbn1/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQq - 0 1",
       "rnbqkb1r/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
      {"an extra knight beats an extra pawn", "rnbqkb1r/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
       "rnbqkbnr/1ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
      {"an extra pawn beats equality", "rnbqkbnr/1ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
       "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
      {"an extra queen beats an extra pawn in the ending", "4k3/8/8/8/8/8/4P3/3QK3 w - - 0 1",
       "4k3/8/8/8/8/8/3PP3/4K3 w - - 0 1"},
      {"a passed pawn on the sixth beats one on the third", "6k1/5ppp/1P6/8/8/8/8/6K1 w - - 0 1",
       "6k1/5ppp/8/8/8/1P6/8/6K1 w - - 0 1"},
      {"a passed pawn on the sixth beats a blocked one by over half a pawn", "6k1/7p/1P6/8/8/8/8/6K1 w - - 0 1",
       "6k1/1p6/1P6/8/8/8/8/6K1 w - - 0 1", 50},
      {"a passed pawn on the sixth beats one on the fourth, with rooks", "6k1/5ppp/1P6/8/8/8/r4PPP/2R3K1 w - - 0 1",
       "6k1/5ppp/8/8/1P6/8/r4PPP/2R3K1 w - - 0 1"},
      {"the defending king outside the square of the passed pawn", "8/8/8/6k1/P7/8/8/K7 b - - 0 1",
       "8/8/8/4k3/P7/8/8/K7 b - - 0 1"},
      {"the king in the centre of a pawn ending", "8/pp3k2/8/8/4K3/8/PP6/8 w - - 0 1",
       "8/pp3k2/8/8/8/8/PP6/7K w - - 0 1"},
      {"a knight in the centre beats one on the rim",
       "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 1",
       "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/7N/PPPP1PPP/RNBQKB1R w KQkq - 0 1"},
      {"a rook on the open file", "6k1/pp3ppp/8/8/8/8/PP3PPP/3R2K1 w - - 0 1",
       "6k1/pp3ppp/8/8/8/8/PP3PPP/R5K1 w - - 0 1"},
      {"a rook on the seventh rank", "6k1/pp1R1ppp/8/8/8/8/PP3PPP/6K1 w - - 0 1",
       "6k1/pp3ppp/8/8/8/8/PP1R1PPP/6K1 w - - 0 1"},
      {"healthy pawns beat doubled ones", "4k3/ppp5/8/8/8/8/PPP5/4K3 w - - 0 1",
       "4k3/ppp5/8/8/8/1P6/PP6/4K3 w - - 0 1"},
      {"connected pawns beat isolated ones", "4k3/pp4pp/8/8/8/8/PP4PP/4K3 w - - 0 1",
       "4k3/pp4pp/8/8/8/8/P1P3PP/4K3 w - - 0 1"},
      {"a bishop trapped on a2 by b3 is worth less to Black",
       "rn1qkbnr/ppp2ppp/3p4/4p3/4P3/1P6/b1PP1PPP/RNBQKBNR w KQkq - 0 1",
       "rn1qkbnr/ppp2ppp/3pb3/4p3/4P3/1P6/2PP1PPP/RNBQKBNR w KQkq - 0 1"},
      {"the bishop pair beats bishop and knight", "4k3/pp6/8/8/8/8/PP6/2B1KB2 w - - 0 1",
       "4k3/pp6/8/8/8/8/PP6/2N1KB2 w - - 0 1"},
      {"with queens on, a king sheltered by its pawns beats one out on e4",
       "r1q2rk1/pp3ppp/8/8/8/8/PP3PPP/R1Q2RK1 w - - 0 1", "r1q2rk1/pp3ppp/8/8/4K3/8/PP3PPP/R1Q2R2 w - - 0 1"},
      {"a castled king beats one that lost its castling rights in the centre",
       "r1bq1rk1/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQ1RK1 w - - 0 1",
       "r1bq1rk1/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w - - 0 1"},
      {"a castling right kept beats one lost",
       "r1bq1rk1/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w K - 0 1",
       "r1bq1rk1/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w - - 0 1"},
  };
  for (const Case& c : cases) {
    EXPECT_GT(whiteView(c.better), whiteView(c.worse) + c.margin) << c.what;
    EXPECT_LT(whiteView(mirrorFen(c.better)) + c.margin, whiteView(mirrorFen(c.worse))) << c.what << ", mirrored";
  }
}

// Endings that are drawn with best play whatever the material edge score
// less than a pawn; a drawn ending scores less than half of one with the
// same material that wins. With more material on the board the draw
// scaling word at 0 turns the scaling off.
TEST(DrawnEndings, ScoreTowardZero) {
  DefaultWords words;
  const char* drawn[] = {
      "4k3/8/8/8/3N4/8/8/4K3 w - - 0 1",          // a lone knight
      "4k3/8/8/8/3B4/8/8/4K3 b - - 0 1",          // a lone bishop
      "4k3/8/8/8/3R4/8/8/4K1b1 w - - 0 1",        // rook against bishop
      "4k3/8/8/8/3R4/8/8/4K1n1 b - - 0 1",        // rook against knight
      "4k2r/8/8/8/8/8/8/1BR1K3 w - - 0 1",        // rook and bishop against rook
      "4k2r/8/8/8/8/8/8/1NR1K3 b - - 0 1",        // rook and knight against rook
      "8/5k2/4b3/5p2/1P1P4/2B5/5K2/8 w - - 0 1",  // opposite bishops, a pawn up
  };
  const int32_t pawn = pawnEndValue();
  ASSERT_GT(pawn, 0);
  for (const char* fen : drawn) {
    EXPECT_LT(std::abs(whiteView(fen)), pawn) << fen;
    EXPECT_LT(std::abs(whiteView(mirrorFen(fen))), pawn) << fen << ", mirrored";
  }
  struct Pair {
    const char* drawn;
    const char* won;
  };
  const Pair pairs[] = {
      // The bishop does not cover the rook pawn's promotion square.
      {"k7/8/8/8/P7/8/8/2B1K3 w - - 0 1", "k7/8/8/8/P7/8/8/3BK3 w - - 0 1"},
      {"k7/8/8/8/7P/8/8/3BK3 w - - 0 1", "k7/8/8/8/7P/8/8/2B1K3 w - - 0 1"},
      // Bishops of opposite colours against bishops of one colour.
      {"8/5k2/4b3/5p2/1P1P4/2B5/5K2/8 w - - 0 1", "8/5k2/3b4/5p2/1P1P4/2B5/5K2/8 w - - 0 1"},
  };
  for (const Pair& p : pairs) {
    EXPECT_LT(2 * whiteView(p.drawn), whiteView(p.won)) << p.drawn;
    EXPECT_GT(2 * whiteView(mirrorFen(p.drawn)), whiteView(mirrorFen(p.won))) << p.drawn << ", mirrored";
  }
  const char* withRooks = "r1b1k3/pp6/8/8/8/8/PPP5/R1B1K3 w - - 0 1";  // opposite bishops and rooks
  const int32_t scaled = whiteView(withRooks);
  engineParameters.words[ParamDrawScaling] = 0;
  EXPECT_GT(whiteView(withRooks), 2 * scaled);
}

// ---- The colour mirror -----------------------------------------------------

namespace {

// A position and its colour mirror evaluated whole, each with the engine on
// the mirrored side: both values are the side to move's, so they must agree
// (the engine-side terms cancel). Positions under the evaluation's
// deliberate asymmetries are left out, as the helper decides.
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

TEST(EvaluationMirror, RandomPositions) {
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
    // The root's evaluation re-derives the weights first: at the default
    // words that must change nothing.
    EvalPosition full;
    buildEvalPosition(full, p.field, p.side, p.castling, clock);
    EXPECT_EQ(evaluateWith(full, es, 0, 1), m.value) << p.field;
  }
  EXPECT_GE(compared, 150);
  EXPECT_GE(middlegames, 50);
}

// The values make derives for the children from the root's tables mirror
// too, move for move. (With queens on, the far rows of a king's zone are
// lopsided on purpose, and a lone bishop with pawns weighs its pawns by
// colour: positions where a move reaches those are not in this list.)
TEST(EvaluationMirror, ChildrenOfGamePositions) {
  const char* fens[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 0 4",
      "rnbqkb1r/ppp2ppp/4pn2/3p2B1/2PP4/2N5/PP2PPPP/R2QKBNR b KQkq - 3 4",
      "4k3/p7/8/8/8/8/P7/2BQK3 w - - 0 40",
      "2rr2k1/pp3ppp/2n1p3/8/3P4/2N2P2/PP4PP/2RR2K1 w - - 0 1",
      "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 60",
      "8/8/1KP5/3r4/8/8/8/k7 w - - 0 60",
      "8/8/8/4k3/8/8/4P3/4K3 w - - 0 50",
      "8/p7/8/1k6/6K1/8/7P/8 b - - 0 45",
  };
  for (const char* fen : fens)
    for (int32_t es : {White, Black}) {
      const std::vector<int32_t> values = childValues(fen, es);
      EXPECT_FALSE(values.empty()) << fen;
      EXPECT_EQ(values, childValues(mirrorFen(fen), -es)) << fen << " engine " << es;
    }
}

// ---- The parameter words ---------------------------------------------------

// The values set up at load time must be the ones the derivation gives at
// the default words, so that an evaluation before the first search agrees
// with every later one.
TEST(EvaluationWeights, DerivationAtDefaultWordsKeepsEveryValue) {
  DefaultWords words;
  EvalPosition ep;
  buildEvalPosition(ep, "r1bqk2r/pppp1ppp/2n2n2/4p3/1bB1P3/5N2/PPPP1PPP/RNBQK2R", White);
  const MiddlegameWeights mg = middlegameWeights;
  const EndgameWeights eg = endgameWeights;
  const ThreadBoard before = *ep.board;
  int32_t tables[3][RankTableEntries];
  std::memcpy(tables[0], middlegameRankTable1, sizeof tables[0]);
  std::memcpy(tables[1], middlegameRankTable2, sizeof tables[1]);
  std::memcpy(tables[2], endgameRankTable, sizeof tables[2]);
  deriveMiddlegameWeights(ep.board.get());
  deriveEndgameWeights();
  EXPECT_EQ(std::memcmp(&mg, &middlegameWeights, sizeof mg), 0);
  EXPECT_EQ(std::memcmp(&eg, &endgameWeights, sizeof eg), 0);
  EXPECT_EQ(std::memcmp(tables[0], middlegameRankTable1, sizeof tables[0]), 0);
  EXPECT_EQ(std::memcmp(tables[1], middlegameRankTable2, sizeof tables[1]), 0);
  EXPECT_EQ(std::memcmp(tables[2], endgameRankTable, sizeof tables[2]), 0);
  for (int32_t k = 0; k < KindCount; ++k) {
    EXPECT_EQ(ep.board->kinds[k].value, before.kinds[k].value) << k;
    EXPECT_EQ(ep.board->kinds[k].endValue, before.kinds[k].endValue) << k;
  }
  EXPECT_EQ(ep.board->materialSum, before.materialSum);
}

// Changed words take effect only at the next evaluation that asks for the
// derivation (the root's, at the start of a search), and that evaluation
// frees the saved evaluations of the old weights. An ending at the root
// derives the weights of the evaluation with reduced material as well.
TEST(EvaluationWeights, ChangedWordsTakeEffectAtTheNextRoot) {
  DefaultWords words;
  struct Case {
    const char* field;
    int32_t word;
  };
  const Case cases[] = {
      {"r1bqkb1r/pppp1ppp/5n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R", ParamPieceValues},  // a knight up
      {"8/pp6/8/3k4/8/8/PP6/2R1K3", ParamKingPlacement},  // the Black king nearer the centre
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, White);
    const int32_t before = evaluateWith(ep, White, 0, 1);
    AttackData* record = claimAttackData(ep.board.get());
    ASSERT_NE(record, nullptr);
    engineParameters.words[c.word] = 200;
    EXPECT_EQ(evaluateWith(ep, White, 0, 0), before) << c.field;
    EXPECT_EQ(record->owner.load(), ep.board.get());
    EXPECT_NE(evaluateWith(ep, White, 0, 1), before) << c.field;
    EXPECT_EQ(record->owner.load(), nullptr);
    engineParameters = defaultEngineParameters;
    EXPECT_EQ(evaluateWith(ep, White, 0, 1), before) << c.field;
  }
}

// ---- The fifty-move drift --------------------------------------------------

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

// As the half-move clock runs toward the fifty-move draw, a position with
// pawns scores ever closer to zero, never crossing it, also past a hundred
// plies; without pawns, in a heavy middlegame with queens, or with the
// drift word at 0, the clock changes nothing. (Both sides keep pieces, so
// the charge against a side left with king and pawns stays out.)
TEST(FiftyMoveDrift, ScoresFallTowardZeroWithTheClock) {
  // The drift pulls the evaluator's score toward zero after the small
  // charge against the engine's side, which may then stay below it.
  constexpr int32_t EngineSideCharge = 3;
  DefaultWords words;
  struct Case {
    const char* field;
    bool drifts;
  };
  const Case cases[] = {
      {"r1b2rk1/pp4pp/2n1pn2/3p4/2PP4/2N2N2/PP3PPP/R3KB1R", true},  // middlegame without queens, a pawn up
      {"3rk3/ppp5/8/8/8/8/4PPPP/3QK2R", true},                     // queen and rook against rook
      {"r3k3/ppp5/8/8/8/8/4PPPP/4K2R", true},                      // rook ending, a pawn up
      {"2b1k3/p6p/8/8/8/8/P5PP/2B1K3", true},                      // opposite bishops, a pawn up
      {"r1b1k3/8/2n5/8/8/2N5/8/RNB1K3", false},                    // no pawns
      {"r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R", false},  // heavy, with queens
  };
  for (const Case& c : cases)
    for (int32_t side : {White, Black}) {
      const int32_t atZero = whiteViewOf(c.field, side, 0);
      int32_t previous = atZero;
      for (int32_t clock : {10, 30, 60, 90, 99, 150}) {
        const int32_t v = whiteViewOf(c.field, side, clock);
        if (!c.drifts) {
          EXPECT_EQ(v, atZero) << c.field << " clock " << clock;
          continue;
        }
        EXPECT_LE(v, previous) << c.field << " side " << side << " clock " << clock;
        EXPECT_GE(v, -EngineSideCharge) << c.field << " side " << side << " clock " << clock;
        previous = v;
      }
      if (c.drifts) {
        EXPECT_LT(2 * previous, atZero) << c.field << " side " << side;
      }
    }
  engineParameters.words[ParamFiftyMoveDrift] = 0;
  EXPECT_EQ(whiteViewOf(cases[0].field, White, 60), whiteViewOf(cases[0].field, White, 0));
}

// ---- The piece about to be taken back ---------------------------------------

namespace {

// The last move of a position as text ("f4d5"; a fifth letter for an
// under-promotion by the side not to move), and whether it captured.
void setLastMove(EvalPosition& ep, const std::string& move, bool captured, bool special = false) {
  const int32_t to = squareOf(move.substr(2, 2).c_str());
  int32_t toByte = to;
  if (move.size() == 5) {
    const int32_t piece = move[4] == 'r' ? PromoteRook : move[4] == 'b' ? PromoteBishop : PromoteKnight;
    toByte = underPromotionByte(to, piece, -ep.pos->side);
  }
  ep.pos->lastMove = makeMove16(squareOf(move.substr(0, 2).c_str()), toByte);
  // Any record other than the board's own stands for a captured piece.
  ep.pos->captured = captured ? &ep.board->slots[EmptyTemplateSlot] : boardPiece(ep.board.get());
  ep.pos->searchFlags = special ? SearchSpecialMove : 0;
}

}  // namespace

// The piece that has just captured (or promoted) is left out of the counts
// while the evaluator runs when the side to move can take it with profit:
// with a cheaper piece, or at all when nothing defends it. Its kind's count
// drops by one and comes back with the restore.
TEST(CaptureCorrection, WhichPiecesAreLeftOut) {
  struct Case {
    const char* what;
    const char* field;
    int32_t side;
    const char* move;
    bool captured, special, removed;
  };
  const Case cases[] = {
      {"a pawn attacks the knight that took", "4k3/8/4p3/3N4/8/8/8/4K3", Black, "f4d5", true, false, true},
      {"a bishop (equal class) attacks the undefended knight", "4k3/8/8/3N4/8/1b6/8/4K3", Black, "f4d5", true, false,
       true},
      {"the knight is defended by the e4 pawn", "4k3/8/8/3N4/4P3/1b6/8/4K3", Black, "f4d5", true, false, false},
      {"a dearer rook attacks the defended knight", "3rk3/8/8/3N4/4P3/8/8/4K3", Black, "f4d5", true, false, false},
      {"a capturing king is never left out", "8/8/3rk3/8/8/8/8/3KR3", White, "e7e6", true, false, false},
      {"a king takes an undefended knight", "8/8/4k3/8/8/8/3n4/3K4", White, "b3d2", true, false, true},
      {"a king cannot take a defended knight", "8/8/4k3/8/8/2b5/3n4/3K4", White, "b3d2", true, false, false},
      {"nothing attacks the knight", "8/8/4k3/8/8/8/3n4/7K", White, "b3d2", true, false, false},
      {"the piece on the to-square belongs to the side to move", "8/8/4k3/8/8/8/3N4/2r1K3", White, "b3d2", true,
       false, false},
      {"a quiet move onto an attacked square", "4k3/8/4p3/3N4/8/8/8/4K3", Black, "f4d5", false, false, false},
      {"a quiet queen promotion that a rook attacks (special)", "r3Q1k1/8/8/8/8/8/8/4K3", Black, "e7e8", false, true,
       true},
      {"a knight under-promotion by capture, taken back by the rook", "r2N2k1/8/8/8/8/8/8/4K3", Black, "e7d8n", true,
       true, true},
      {"a quiet rook under-promotion, taken by the king", "4k3/8/8/8/8/8/8/rK6", White, "a2a1r", false, true, true},
      {"a pawn that took is taken back by a pawn", "4k3/8/8/8/3p4/4P3/8/4K3", White, "e5d4", true, false, true},
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, c.side);
    setLastMove(ep, c.move, c.captured, c.special);
    ThreadBoard* board = ep.board.get();
    const int32_t kind = squareAt(board, squareOf(c.move + 2))->kind->index;
    const int32_t count = board->kinds[kind].count;
    PieceRecord* removed = removeRecapturablePiece(ep.pos.get());
    EXPECT_EQ(removed != nullptr, c.removed) << c.what;
    EXPECT_EQ(board->kinds[kind].count, count - (c.removed ? 1 : 0)) << c.what;
    restoreRemovedPiece(board, removed);
    EXPECT_EQ(board->kinds[kind].count, count) << c.what;
  }
}

TEST(CaptureCorrection, NothingToLeaveOut) {
  // An empty to-square, the root's no-move and a move with no record of a
  // capture.
  EvalPosition ep;
  buildEvalPosition(ep, "8/8/4k3/8/8/8/8/2r1K3", White);
  setLastMove(ep, "b3d2", true);
  EXPECT_EQ(removeRecapturablePiece(ep.pos.get()), nullptr);
  ep.pos->lastMove = noMove;
  EXPECT_EQ(removeRecapturablePiece(ep.pos.get()), nullptr);
  ep.pos->captured = nullptr;
  EXPECT_EQ(removeRecapturablePiece(ep.pos.get()), nullptr);
}

// The whole evaluation of a position where White's bishop has just taken
// on d5 and Black's e6 pawn takes it back: the bishop counts as gone (White
// loses its bishop pair too), and the board is whole again afterwards.
TEST(CaptureCorrection, TheEvaluationSeesThePieceGone) {
  const char* field = "r3k2r/pp3ppp/2n1p3/3B4/2B5/8/PP3PPP/R3K2R";
  EvalPosition ep;
  buildEvalPosition(ep, field, Black);
  setLastMove(ep, "b3d5", true);
  const int32_t count = ep.board->kinds[WhiteBishop].count, sum = ep.board->materialSum;
  const int32_t corrected = evaluateWith(ep, Black, 0, 0);
  EXPECT_EQ(ep.board->kinds[WhiteBishop].count, count);
  EXPECT_EQ(ep.board->materialSum, sum);
  // The same board reached by a quiet move.
  buildEvalPosition(ep, field, Black);
  setLastMove(ep, "b3d5", false);
  const int32_t plain = evaluateWith(ep, Black, 0, 0);
  EXPECT_GT(corrected - plain, ep.board->kinds[WhiteBishop].value / 8) << corrected << " " << plain;
  // Attacked only by the d8 rook (dearer than a bishop) and defended by the
  // e4 bishop: nothing is left out.
  const char* defended = "3rk2r/pp3ppp/2n5/3B4/4B3/8/PP3PPP/R3K2R";
  buildEvalPosition(ep, defended, Black);
  setLastMove(ep, "b3d5", true);
  const int32_t afterCapture = evaluateWith(ep, Black, 0, 0);
  buildEvalPosition(ep, defended, Black);
  setLastMove(ep, "b3d5", false);
  EXPECT_EQ(evaluateWith(ep, Black, 0, 0), afterCapture);
}

// With one of two bishops left out, the other is the side's only bishop,
// whichever of the two comes first in the piece list.
TEST(CaptureCorrection, LoneBishopIsTheOneNotLeftOut) {
  struct Case {
    const char* field;
    const char* move;
    int32_t colour;  // square colour of the bishop that stays
  };
  const Case cases[] = {
      {"r2qk2r/pp3ppp/2p5/3B4/8/8/PPP2PPP/R1BQK2R", "b3d5", 0},  // d5 taken back by c6; c1 stays
      {"r2qk2r/pp3ppp/8/1B6/1p6/2B5/P4PPP/R2QK2R", "e5c3", 1},  // c3 taken back by b4; b5 stays
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, Black);
    setLastMove(ep, c.move, true);
    evaluateWith(ep, Black, 0, 0);
    EXPECT_EQ(ep.board->evalBlock.loneBishopColour[1], c.colour) << c.field;
    EXPECT_EQ(ep.board->kinds[WhiteBishop].count, 2);
    EXPECT_EQ(ep.board->evalScalars.leftOutPiece, nullptr);
  }
}

// After b4xa5 the Black king takes the a5 pawn back, so it is left out: the
// a-pawn no longer counts, and with the b3 pawn White's pawns are not all
// on the a-file, so the wrong-bishop rule does not mark the ending drawn.
TEST(CaptureCorrection, WrongBishopRuleCountsOnlyThePawnsLeftIn) {
  EvalPosition ep;
  buildEvalPosition(ep, "8/8/1k6/P7/8/1P6/8/2B1K3", Black);
  setLastMove(ep, "b4a5", true);
  evaluateWith(ep, Black, 0, 1);
  EXPECT_EQ(ep.board->evalBlock.drawMark, 1);
}

// ---- Castling rights, contempt, the opening offset --------------------------

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

// Contempt: the engine's side gives up that much for a draw, whichever side
// the engine plays and whichever side is to move.
TEST(Evaluate, ContemptFavoursTheEngineSide) {
  DefaultWords words;
  const char* fen = "r2q1rk1/1b2bppp/p3pn2/1p6/3P4/P1NB1N2/1P3PPP/R2Q1RK1 w - - 0 1";
  for (const std::string& text : {std::string(fen), mirrorFen(fen)})
    for (int32_t es : {White, Black}) {
      engineParameters.words[ParamContempt] = 0;
      const int32_t neutral = rootValue(text, es);
      const int32_t toEngine = rootPosition.side == es ? 1 : -1;
      for (int32_t contempt : {25, -40}) {
        engineParameters.words[ParamContempt] = contempt;
        EXPECT_EQ(toEngine * rootValue(text, es), toEngine * neutral + contempt) << text << " engine " << es;
      }
    }
}

// The opening offset the root driver draws for a search shifts every score
// by the same small amount, at most a point.
TEST(Evaluate, OpeningOffsetShiftsEveryScoreAlike) {
  const char* fields[] = {"r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R", "8/5k2/8/4P3/8/8/3K4/8"};
  for (int32_t offset : {-2, -1, 1, 2}) {
    int32_t shift[2];
    for (int32_t i = 0; i < 2; ++i) {
      EvalPosition ep;
      buildEvalPosition(ep, fields[i], White);
      const int32_t base = evaluateWith(ep, White, 0);
      shift[i] = evaluateWith(ep, White, offset) - base;
      EXPECT_LE(std::abs(shift[i]), 1) << fields[i] << " offset " << offset;
    }
    EXPECT_EQ(shift[0], shift[1]) << offset;
  }
  openingOffset = 0;
}
