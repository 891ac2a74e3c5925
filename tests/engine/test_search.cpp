// Search tests: the exchange routine on hand-built captures with known
// material outcomes, and the draw marks of single-pawn endings.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/board/board.h"
#include "engine/control/control.h"
#include "engine/search/search.h"
#include "helpers/board_builder.h"

using namespace engine;
using testing_board::buildTestPosition;
using testing_board::moveText;
using testing_board::squareOf;

namespace {

// Material values at the default weights (the test boards have all
// piece-square entries zero, so a piece's current value is its value).
constexpr int32_t Pawn = 52, Knight = 225, Rook = 350;

struct Fixture {
  std::unique_ptr<ThreadBoard> board = std::make_unique<ThreadBoard>();
  std::unique_ptr<Position> pos = std::make_unique<Position>();
  // `lastMove` names the move that led here ("d7e5"): its target is the
  // square the exchange is played on.
  Fixture(const std::string& field, int side, const char* lastMove = nullptr, int staticValue = 0) {
    buildTestPosition(pos.get(), board.get(), field, side);
    if (lastMove != nullptr) pos->lastMove = makeMove16(squareOf(lastMove), squareOf(lastMove + 2));
    pos->staticValue = staticValue;
  }
  int32_t exchange(int32_t upper, int32_t lower, Move* reply = nullptr) {
    return staticExchange(pos.get(), upper, lower, reply);
  }
};

// Sets EngineParameters word 2 (drawn endings recognised) for one test.
struct DrawWord {
  int32_t saved = engineParameters.words[2];
  explicit DrawWord(int32_t value) { engineParameters.words[2] = value; }
  ~DrawWord() { engineParameters.words[2] = saved; }
};

TEST(StaticExchange, PawnTakesUndefendedKnight) {
  Fixture f("4k3/8/8/4n3/3P4/8/8/4K3", White, "d7e5");
  Move reply = noMove;
  EXPECT_EQ(f.exchange(ScoreInfinite, -ScoreInfinite, &reply), Knight);
  EXPECT_EQ(moveText(reply), "d4e5");
}

TEST(StaticExchange, BlackPawnTakesUndefendedKnight) {
  Fixture f("4k3/8/8/4p3/3N4/8/8/4K3", Black, "c2d4");
  Move reply = noMove;
  EXPECT_EQ(f.exchange(ScoreInfinite, -ScoreInfinite, &reply), Knight);
  EXPECT_EQ(moveText(reply), "e5d4");
}

TEST(StaticExchange, PawnTakesDefendedKnight) {
  // PxN, pxP: a knight for a pawn.
  Fixture f("4k3/8/5p2/4n3/3P4/8/8/4K3", White, "d7e5");
  EXPECT_EQ(f.exchange(ScoreInfinite, -ScoreInfinite), Knight - Pawn);
}

TEST(StaticExchange, RookDoesNotTakeDefendedPawn) {
  // RxP, pxR loses the exchange: the side stands pat, no reply is given.
  Fixture f("4k3/8/3p4/4p3/8/8/8/4RK2", White, "e6e5");
  Move reply = noMove;
  EXPECT_EQ(f.exchange(ScoreInfinite, -ScoreInfinite, &reply), 0);
  EXPECT_EQ(reply, noMove);
}

TEST(StaticExchange, RearRookJoinsThroughTheFrontOne) {
  // Doubled rooks against one defending rook win the pawn; a single rook
  // does not.
  Fixture doubled("4r1k1/8/8/4p3/8/8/4R3/4R1K1", White, "e6e5");
  EXPECT_EQ(doubled.exchange(ScoreInfinite, -ScoreInfinite), Pawn);
  Fixture single("4r1k1/8/8/4p3/8/8/4R3/6K1", White, "e6e5");
  EXPECT_EQ(single.exchange(ScoreInfinite, -ScoreInfinite), 0);
}

TEST(StaticExchange, QueenBehindPawnDefendsOnTheDiagonal) {
  // White's bishop takes a pawn on d5 defended by the c6 pawn, the Black
  // queen behind it on the same diagonal: BxP, pxB loses the bishop, so
  // White stands pat. Without the c6 pawn the queen alone defends: QxB
  // would lose the queen to RxQ, so Black leaves it and White keeps a pawn.
  Fixture f("6k1/1q6/2p5/3p4/8/8/6B1/3R2K1", White, "d7d5");
  EXPECT_EQ(f.exchange(ScoreInfinite, -ScoreInfinite), 0);  // BxP loses the bishop for a pawn
  Fixture g("6k1/1q6/8/3p4/8/8/6B1/3R2K1", White, "d7d5");
  EXPECT_EQ(g.exchange(ScoreInfinite, -ScoreInfinite), Pawn);  // QxB would lose the queen to RxQ
}

TEST(StaticExchange, UnderPromotionTargetIsDecoded) {
  // White just under-promoted on e8 to a knight; Black's rook takes it.
  Fixture f("r3N1k1/8/8/8/8/8/8/4K3", Black);
  f.pos->lastMove = makeMove16(squareOf("d7"), underPromotionByte(squareOf("e8"), PromoteKnight, White));
  Move reply = noMove;
  EXPECT_EQ(f.exchange(ScoreInfinite, -ScoreInfinite, &reply), Knight);
  EXPECT_EQ(moveText(reply), "a8e8");
}

TEST(StaticExchange, KingDoesNotTakeADefendedPiece) {
  // The knight on e2 is defended by the bishop on b5: the king may not
  // take it, so the exchange gives nothing.
  Fixture f("4k3/8/8/1b6/8/8/4n3/4K3", White, "c3e2");
  EXPECT_EQ(f.exchange(ScoreInfinite, -ScoreInfinite), 0);
  Fixture free("4k3/8/8/8/8/8/4n3/4K3", White, "c3e2");
  EXPECT_EQ(free.exchange(ScoreInfinite, -ScoreInfinite), Knight);
}

TEST(StaticExchange, HopelessExchangeReturnsLower) {
  // Taking the pawn gains 52; from 0 that cannot reach 500.
  Fixture f("4k3/8/8/4p3/3P4/8/8/4K3", White, "e6e5");
  EXPECT_EQ(f.exchange(ScoreInfinite, 500), 500);
}

TEST(StaticExchange, LonePieceWithoutAttackerStandsPat) {
  Fixture f("4k3/8/8/4n3/8/8/8/4K3", White, "d7e5", 30);
  EXPECT_EQ(f.exchange(ScoreInfinite, -100), 30);
  EXPECT_EQ(f.exchange(ScoreInfinite, 60), 60);
}

TEST(StaticExchange, StandPatAtOrAboveUpper) {
  Fixture f("4k3/8/8/4n3/3P4/8/8/4K3", White, "d7e5", 100);
  EXPECT_EQ(f.exchange(50, -100), 100);
}

TEST(StaticExchange, UpperBoundCutsTheGain) {
  Fixture f("4k3/8/8/4n3/3P4/8/8/4K3", White, "d7e5");
  EXPECT_EQ(f.exchange(100, -ScoreInfinite), 100);
}

TEST(DrawMarks, DefendingKingInFrontOfThePawn) {
  Fixture f("8/8/4k3/4P3/8/8/8/4K3", White);
  recogniseDraws(f.pos.get());
  EXPECT_EQ(f.pos->stateFlags & (StateWhiteCannotWin | StateBlackCannotWin), StateWhiteCannotWin);
}

TEST(DrawMarks, DefendingKingTwoSquaresAhead) {
  Fixture f("8/4k3/8/4P3/8/8/8/4K3", Black);
  recogniseDraws(f.pos.get());
  EXPECT_EQ(f.pos->stateFlags & StateWhiteCannotWin, StateWhiteCannotWin);
}

TEST(DrawMarks, KingBesideThePawnIsNotMarked) {
  Fixture f("8/8/3k4/4P3/8/8/8/4K3", White);
  recogniseDraws(f.pos.get());
  EXPECT_EQ(f.pos->stateFlags & (StateWhiteCannotWin | StateBlackCannotWin), 0u);
}

TEST(DrawMarks, KingInFrontOnTheLastRankIsNotMarked) {
  // The pawn on the seventh, the king on the eighth in front of it: this is
  // no draw by the rule (it may be lost for the defender).
  Fixture f("4k3/4P3/8/8/8/8/8/4K3", White);
  recogniseDraws(f.pos.get());
  EXPECT_EQ(f.pos->stateFlags & StateWhiteCannotWin, 0u);
}

TEST(DrawMarks, EnemyPawnThatCanTakeBlocksTheMark) {
  Fixture f("8/8/3pk3/4P3/8/8/8/4K3", White);
  recogniseDraws(f.pos.get());
  EXPECT_EQ(f.pos->stateFlags & StateWhiteCannotWin, 0u);
}

TEST(DrawMarks, BlackPawnWithWhiteKingInFront) {
  Fixture f("4k3/8/8/8/4p3/4K3/8/8", White);
  recogniseDraws(f.pos.get());
  EXPECT_EQ(f.pos->stateFlags & (StateWhiteCannotWin | StateBlackCannotWin), StateBlackCannotWin);
}

TEST(DrawMarks, RookPawnWithTheWrongBishop) {
  DrawWord word(1);
  // a-pawn, promotion square a8 is light; the bishop on c1 is dark; the
  // Black king holds the corner.
  Fixture wrong("k7/8/8/P7/8/8/8/2B1K3", White);
  recogniseDraws(wrong.pos.get());
  EXPECT_EQ(wrong.pos->stateFlags & StateWhiteCannotWin, StateWhiteCannotWin);
  // The light-squared bishop controls a8: no mark.
  Fixture right("k7/8/8/P7/8/8/8/3BK3", White);
  recogniseDraws(right.pos.get());
  EXPECT_EQ(right.pos->stateFlags & StateWhiteCannotWin, 0u);
}

TEST(DrawMarks, WrongBishopForBlackOnTheHFile) {
  DrawWord word(1);
  // h-pawn going to h1 (light); Black's bishop on f5 is light as well, so it
  // controls the corner; on e5 (dark) it does not.
  Fixture right("4k3/8/8/5b2/7p/8/8/7K", White);
  recogniseDraws(right.pos.get());
  EXPECT_EQ(right.pos->stateFlags & StateBlackCannotWin, 0u);
  Fixture wrong("4k3/8/8/4b3/7p/8/8/7K", White);
  recogniseDraws(wrong.pos.get());
  EXPECT_EQ(wrong.pos->stateFlags & StateBlackCannotWin, StateBlackCannotWin);
}

TEST(DrawMarks, WrongBishopNeedsTheDrawWord) {
  DrawWord word(0);
  Fixture f("k7/8/8/P7/8/8/8/2B1K3", White);
  recogniseDraws(f.pos.get());
  EXPECT_EQ(f.pos->stateFlags & StateWhiteCannotWin, 0u);
}

}  // namespace

#include <cctype>
#include <random>

#include "engine/board/geometry.h"
#include "helpers/random_positions.h"

namespace {

// The colour mirror of a FEN board field: ranks reversed, colours swapped.
std::string mirrorField(const std::string& field) {
  std::vector<std::string> ranks;
  std::string rank;
  for (char c : field) {
    if (c == '/') {
      ranks.push_back(rank);
      rank.clear();
    } else {
      rank += std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(c)) : char(std::toupper(c));
    }
  }
  ranks.push_back(rank);
  std::string out;
  for (auto it = ranks.rbegin(); it != ranks.rend(); ++it) out += (out.empty() ? "" : "/") + *it;
  return out;
}

TEST(StaticExchange, ColourMirrorGivesTheSameValue) {
  std::mt19937 rng(20261208);
  int32_t compared = 0;
  for (int32_t i = 0; i < 3000; ++i) {
    testing_board::RandomPosition rp = testing_board::randomPosition(rng);
    Fixture f(rp.field, rp.side);
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
    Fixture m(mirrorField(rp.field), -rp.side);
    m.pos->lastMove = makeMove16(NoSquare, target ^ 0x70);
    int32_t lower = int32_t(rng() % 200) - 100;
    EXPECT_EQ(f.exchange(ScoreInfinite, lower), m.exchange(ScoreInfinite, lower))
        << rp.field << " side " << rp.side << " target " << target << " lower " << lower;
    ++compared;
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
