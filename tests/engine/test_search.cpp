// Search tests: the exchange routine on hand-built captures with known
// material outcomes, and over random exchanges against its colour mirror
// and its own full-window value; the draw marks of single-pawn endings.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "engine/board/board.h"
#include "engine/board/geometry.h"
#include "engine/control/control.h"
#include "engine/search/search.h"
#include "helpers/board_builder.h"
#include "helpers/eval_positions.h"
#include "helpers/random_positions.h"

using namespace engine;
using testing_board::buildTestPosition;
using testing_board::moveText;
using testing_board::squareOf;

namespace {

struct Fixture {
  std::unique_ptr<ThreadBoard> board = std::make_unique<ThreadBoard>();
  std::unique_ptr<Position> pos = std::make_unique<Position>();
  // `lastMove` names the move that led here ("d7e5", or "d7e8n" for a
  // promotion to a knight): its target is the square the exchange is
  // played on.
  Fixture(const std::string& field, int side, const char* lastMove = nullptr, int staticValue = 0) {
    buildTestPosition(pos.get(), board.get(), field, side);
    if (lastMove != nullptr) {
      const int32_t to = squareOf(lastMove + 2);
      pos->lastMove = makeMove16(squareOf(lastMove),
                                 lastMove[4] == 'n' ? underPromotionByte(to, PromoteKnight, -side) : to);
    }
    pos->staticValue = staticValue;
  }
  int32_t exchange(int32_t upper, int32_t lower, Move* reply = nullptr) {
    return staticExchange(pos.get(), upper, lower, reply);
  }
};

// Sets the draw-marks word (drawn endings recognised) for one test.
struct DrawWord {
  int32_t saved = engineParameters.words[ParamDrawMarks];
  explicit DrawWord(int32_t value) { engineParameters.words[ParamDrawMarks] = value; }
  ~DrawWord() { engineParameters.words[ParamDrawMarks] = saved; }
};

// One exchange, on the square the last move went to, over the full window
// with nothing to stand pat on: its material outcome for the side to move.
struct ExchangeCase {
  const char* what;
  const char* field;
  int side;
  const char* lastMove;  // "d7e5"; a fifth letter "n" makes it a promotion to a knight
  int32_t expected;
  const char* reply;  // the capture that starts it; "" for none, nullptr if not checked
};

// The value of a piece kind on the test boards, whose piece-square entries
// are all zero: the outcomes below hold whatever the weights.
int32_t valueOf(int32_t kindIndex) {
  Fixture f("4k3/8/8/8/8/8/8/4K3", White);
  return f.board->kinds[kindIndex].baseValue;
}

TEST(StaticExchange, KnownOutcomes) {
  const int32_t Pawn = valueOf(WhitePawn), Knight = valueOf(WhiteKnight);
  const ExchangeCase cases[] = {
      {"pawn takes an undefended knight", "4k3/8/8/4n3/3P4/8/8/4K3", White, "d7e5", Knight, "d4e5"},
      {"Black pawn takes an undefended knight", "4k3/8/8/4p3/3N4/8/8/4K3", Black, "c2d4", Knight, "e5d4"},
      {"PxN, pxP: a knight for a pawn", "4k3/8/5p2/4n3/3P4/8/8/4K3", White, "d7e5", Knight - Pawn, nullptr},
      // RxP, pxR loses the exchange: the side stands pat, no reply is given.
      {"rook does not take a defended pawn", "4k3/8/3p4/4p3/8/8/8/4RK2", White, "e6e5", 0, ""},
      // Doubled rooks against one defending rook win the pawn (the rear rook
      // joins through the front one); a single rook does not.
      {"doubled rooks", "4r1k1/8/8/4p3/8/8/4R3/4R1K1", White, "e6e5", Pawn, nullptr},
      {"single rook", "4r1k1/8/8/4p3/8/8/4R3/6K1", White, "e6e5", 0, nullptr},
      // White's bishop takes a pawn on d5 defended by the c6 pawn, the Black
      // queen behind it on the same diagonal: BxP, pxB loses the bishop, so
      // White stands pat. Without the c6 pawn the queen alone defends: QxB
      // would lose the queen to RxQ, so Black leaves it and White keeps a pawn.
      {"pawn with the queen behind it", "6k1/1q6/2p5/3p4/8/8/6B1/3R2K1", White, "d7d5", 0, nullptr},
      {"queen alone behind", "6k1/1q6/8/3p4/8/8/6B1/3R2K1", White, "d7d5", Pawn, nullptr},
      // The knight on e2 is defended by the bishop on b5: the king may not take
      // it. Undefended, it may.
      {"king does not take a defended piece", "4k3/8/8/1b6/8/8/4n3/4K3", White, "c3e2", 0, nullptr},
      {"king takes a free piece", "4k3/8/8/8/8/8/4n3/4K3", White, "c3e2", Knight, nullptr},
      // The target of an under-promotion is decoded from its promotion byte.
      {"rook takes a knight just promoted", "r3N1k1/8/8/8/8/8/8/4K3", Black, "d7e8n", Knight, "a8e8"},
  };
  for (const ExchangeCase& c : cases) {
    Fixture f(c.field, c.side, c.lastMove);
    Move reply = noMove;
    EXPECT_EQ(f.exchange(ScoreInfinite, -ScoreInfinite, &reply), c.expected) << c.what;
    if (c.reply != nullptr) {
      EXPECT_EQ(reply == noMove ? "" : moveText(reply), c.reply) << c.what;
    }
  }
}

// The draw marks of single-pawn endings: which side, if any, cannot win.
struct DrawCase {
  const char* what;
  const char* field;
  int side;
  int32_t drawWord;  // EngineParameters word 2 for the case; -1 leaves the default
  uint32_t mask, expected;
};

constexpr uint32_t BothMarks = StateWhiteCannotWin | StateBlackCannotWin;

const DrawCase DrawCases[] = {
    {"defending king in front of the pawn", "8/8/4k3/4P3/8/8/8/4K3", White, -1, BothMarks, StateWhiteCannotWin},
    {"defending king two squares ahead", "8/4k3/8/4P3/8/8/8/4K3", Black, -1, StateWhiteCannotWin,
     StateWhiteCannotWin},
    {"king beside the pawn", "8/8/3k4/4P3/8/8/8/4K3", White, -1, BothMarks, 0},
    // The pawn on the seventh, the king on the eighth in front of it: no draw
    // by the rule (it may be lost for the defender).
    {"king in front on the last rank", "4k3/4P3/8/8/8/8/8/4K3", White, -1, StateWhiteCannotWin, 0},
    {"an enemy pawn that can take", "8/8/3pk3/4P3/8/8/8/4K3", White, -1, StateWhiteCannotWin, 0},
    {"Black pawn, White king in front", "4k3/8/8/8/4p3/4K3/8/8", White, -1, BothMarks, StateBlackCannotWin},
    // a-pawn, promotion square a8 is light; the bishop on c1 is dark; the
    // Black king holds the corner. A light-squared bishop controls a8.
    {"rook pawn with the wrong bishop", "k7/8/8/P7/8/8/8/2B1K3", White, 1, StateWhiteCannotWin, StateWhiteCannotWin},
    {"rook pawn with the right bishop", "k7/8/8/P7/8/8/8/3BK3", White, 1, StateWhiteCannotWin, 0},
    // h-pawn going to h1 (light): Black's bishop on f5 controls the corner,
    // on e5 (dark) it does not.
    {"Black h-pawn, right bishop", "4k3/8/8/5b2/7p/8/8/7K", White, 1, StateBlackCannotWin, 0},
    {"Black h-pawn, wrong bishop", "4k3/8/8/4b3/7p/8/8/7K", White, 1, StateBlackCannotWin, StateBlackCannotWin},
    {"wrong bishop needs the draw word", "k7/8/8/P7/8/8/8/2B1K3", White, 0, StateWhiteCannotWin, 0},
};

TEST(DrawMarks, SinglePawnEndings) {
  for (const DrawCase& c : DrawCases) {
    DrawWord word(c.drawWord >= 0 ? c.drawWord : engineParameters.words[ParamDrawMarks]);
    Fixture f(c.field, c.side);
    recogniseDraws(f.pos.get());
    EXPECT_EQ(f.pos->stateFlags & c.mask, c.expected) << c.what;
  }
}

// Over random exchanges with a random stand-pat value: the colour mirror
// gives the same value, standing pat is always open to the side to move,
// and a narrower window changes only what lies
// outside it (a value at or below lower stays at or below it, one at or
// above upper stays at or above it, one inside is exact), as the search's
// bounds rely on.
TEST(StaticExchange, MirrorAndWindowsAgreeWithTheFullWindow) {
  std::mt19937 rng(20261208);
  int32_t compared = 0;
  for (int32_t i = 0; i < 3000; ++i) {
    testing_board::RandomPosition rp = testing_board::randomPosition(rng);
    const int32_t standPat = int32_t(rng() % 301) - 150;
    Fixture f(rp.field, rp.side, nullptr, standPat);
    // The target: the first square holding a piece of the side not to move
    // (not its king), as if that piece had just arrived there.
    int32_t target = NoSquare;
    for (int32_t sq = 0; sq < 128 && target == NoSquare; ++sq) {
      if (!isOnBoard(sq)) continue;
      const PieceRecord* p = squareAt(f.board.get(), sq);
      if (p->colour == -rp.side && p->kindCopy.code != KingCode) target = sq;
    }
    if (target == NoSquare) continue;
    // Equal attackers are taken in piece-list order, which the mirror
    // reverses; compare only exchanges without two pieces of one kind and
    // colour whose pattern reaches the target.
    int32_t reaching[KindCount] = {};
    bool tie = false;
    for (const PieceRecord& p : f.board->slots) {
      if (p.colour == 0 || p.square == target) continue;
      if ((attackBits(p.square, target) & p.kindCopy.attackBit) != 0 && ++reaching[p.kindCopy.index] > 1) tie = true;
    }
    if (tie) continue;
    f.pos->lastMove = makeMove16(NoSquare, target);
    Fixture m(testing_eval::mirrorField(rp.field), -rp.side, nullptr, standPat);
    m.pos->lastMove = makeMove16(NoSquare, target ^ 0x70);
    const int32_t full = f.exchange(ScoreInfinite, -ScoreInfinite);
    EXPECT_EQ(full, m.exchange(ScoreInfinite, -ScoreInfinite)) << rp.field << " side " << rp.side << " target " << target;
    // The side to move is never made to capture.
    EXPECT_GE(full, standPat) << rp.field << " side " << rp.side << " target " << target;
    const int32_t lower = int32_t(rng() % 1201) - 600;
    const int32_t upper = lower + 1 + int32_t(rng() % 600);
    const int32_t windowed = f.exchange(upper, lower);
    SCOPED_TRACE(testing::Message() << rp.field << " side " << rp.side << " target " << target << " stand pat "
                                    << standPat << " full " << full << " window " << lower << ".." << upper);
    if (full <= lower) EXPECT_LE(windowed, lower);
    else if (full >= upper) EXPECT_GE(windowed, upper);
    else EXPECT_EQ(windowed, full);
    ++compared;
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
