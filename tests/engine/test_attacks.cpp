// Attack tests: isAttacked and findAttacker against a plain 8x8 reference on
// random positions; findAttacker's list order and threatTarget on
// hand-built positions.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "engine/board/attacks.h"
#include "engine/board/board.h"
#include "helpers/board_builder.h"
#include "helpers/random_positions.h"
#include "helpers/reference_moves.h"

using namespace engine;
using testing_board::buildTestPosition;
using testing_board::squareOf;

namespace {

struct Fixture {
  std::unique_ptr<ThreadBoard> board = std::make_unique<ThreadBoard>();
  std::unique_ptr<Position> pos = std::make_unique<Position>();
  explicit Fixture(const std::string& field, int side = White) {
    buildTestPosition(pos.get(), board.get(), field, side);
  }
  int threat(const char* square, int bound) {
    int s = squareOf(square);
    return threatTarget(s, squareAt(board.get(), s), bound);
  }
};

}  // namespace

TEST(IsAttacked, AgreesWithTheReferenceOnRandomPositions) {
  std::mt19937 rng(777);
  int attackedCount = 0, checked = 0;
  for (int n = 0; n < 500; ++n) {
    testing_board::RandomPosition rp = testing_board::randomPosition(rng);
    reference::Grid g = reference::gridFromFen(rp.field, rp.side, 0, NoSquare);
    Fixture fx(rp.field, rp.side);
    for (int s = 0; s < 128; ++s) {
      if (s & 0x88) continue;
      bool expected = reference::attackedBy(g, s, -rp.side);
      ASSERT_EQ(isAttacked(fx.pos.get(), s), expected) << rp.field << " square " << s;
      attackedCount += expected;
      ++checked;
      // findAttacker for each side: found exactly when attacked, and the
      // square it reports holds a piece of that side.
      for (int colour : {White, Black}) {
        int found = findAttacker(s, sideRecordOf(fx.board.get(), colour));
        ASSERT_EQ(found != NoSquare, reference::attackedBy(g, s, colour)) << rp.field << " " << s;
        if (found != NoSquare) {
          EXPECT_EQ(squareAt(fx.board.get(), found)->colour, colour);
        }
      }
    }
  }
  EXPECT_GT(attackedCount, checked / 10);  // the positions are not trivially quiet
  EXPECT_LT(attackedCount, checked);
}

TEST(FindAttacker, FirstInListOrder) {
  // White's list starts with its pawns; Black's too (from slot 15 down).
  Fixture fx("4k3/8/8/3r4/2p5/R7/3P4/4K3");
  EXPECT_EQ(findAttacker(squareOf("c3"), &fx.board->white), squareOf("d2"));  // pawn before rook
  EXPECT_EQ(findAttacker(squareOf("b3"), &fx.board->white), squareOf("a3"));
  EXPECT_EQ(findAttacker(squareOf("d3"), &fx.board->black), squareOf("c4"));  // pawn before rook
  EXPECT_EQ(findAttacker(squareOf("d4"), &fx.board->black), squareOf("d5"));
  // Blocked ray: the d5 rook does not see d1 past the d2 pawn.
  EXPECT_EQ(findAttacker(squareOf("d1"), &fx.board->black), NoSquare);
  EXPECT_EQ(findAttacker(squareOf("h6"), &fx.board->white), NoSquare);
}

// threatTarget on hand-built positions: the square the piece on `square`
// threatens with the given class bound, or "-" for none.
TEST(ThreatTarget, HandBuiltPositions) {
  struct Case {
    const char* field;
    int side;
    const char* square;
    int bound;
    const char* target;
    const char* why;
  };
  const Case cases[] = {
      {"4k3/8/8/3n1r2/4P3/8/8/4K3", White, "e4", 6, "f5", "pawn: the rook before the knight"},
      {"4k3/8/8/3n1r2/4P3/8/8/4K3", White, "e4", 7, "f5", "pawn: the rook before the knight"},
      {"4k3/8/8/3n1r2/4P3/8/8/4K3", White, "e4", 11, "-", "bound eleven: only the king counts"},
      {"4k3/8/8/3n1n2/4P3/8/8/4K3", White, "e4", 6, "d5", "pawn on equal victims: square + 15"},
      {"8/8/8/3p1k2/4P3/8/8/4K3", White, "e4", 11, "f5", "pawn finds the king with bound eleven"},
      {"4k3/8/8/3p1p2/4P3/8/8/4K3", White, "e4", 6, "-", "a pawn does not threaten pawns"},
      {"4k3/P7/8/8/8/8/8/4K3", White, "a7", 6, "a8", "seventh-rank pawn threatens to promote"},
      {"4k3/P7/8/8/8/8/8/4K3", White, "a7", 11, "a8", "seventh-rank pawn threatens to promote"},
      {"n3k3/P7/8/8/8/8/8/4K3", White, "a7", 6, "-", "blocked promotion"},
      {"4k3/8/P7/8/8/8/8/4K3", White, "a6", 6, "-", "sixth-rank pawn"},
      {"4k3/8/8/4p3/3B1Q2/8/8/4K3", Black, "e5", 6, "f4", "Black pawn: the queen before the bishop"},
      {"4k3/8/8/8/8/8/1p6/4K3", Black, "b2", 6, "b1", "Black second-rank pawn threatens to promote"},
      {"4k3/8/8/4p3/3K4/8/8/8", Black, "e5", 11, "d4", "Black pawn checks"},
      {"4k3/8/4r3/3p4/3N4/8/8/4K3", White, "d4", 6, "e6", "a higher class, defended or not"},
      {"4k3/8/8/8/1p6/2n5/8/2R1K3", White, "c1", 6, "-", "a defended lower class"},
      {"4k3/8/8/8/8/2n5/8/2R1K3", White, "c1", 6, "c3", "an undefended lower class"},
      {"4k3/8/8/8/8/2n5/8/2R1K3", White, "c1", 9, "-", "the bound leaves out its class and below"},
      {"4k3/8/8/8/8/2p5/8/2R1K3", White, "c1", 6, "c3", "bound six admits an undefended pawn"},
      {"4k3/8/8/8/8/2p5/8/2R1K3", White, "c1", 7, "-", "bound seven does not"},
      {"q3k3/8/8/8/P7/8/8/R3K3", White, "a1", 6, "-", "a blocked ray"},
      {"q3k3/8/8/8/8/8/8/R3K3", White, "a1", 6, "a8", "an open ray"},
      {"3k4/8/8/8/r7/8/8/3QK3", White, "d1", 6, "d8", "the king before an undefended rook"},
      {"4k3/8/8/8/r7/8/8/3QK3", White, "d1", 6, "a4", "the undefended rook"},
      {"4k3/8/8/8/8/5n2/8/3R2K1", Black, "f3", 6, "g1", "Black piece: White's king (slot 32) first"},
      {"4k3/8/8/8/8/5n2/7K/4R3", Black, "f3", 6, "h2", "Black fork: the king before the rook"},
      {"4k3/8/8/8/8/5n2/8/4R2K", Black, "f3", 6, "e1", "Black piece: the undefended rook"},
  };
  for (const Case& c : cases) {
    Fixture fx(c.field, c.side);
    const int expected = c.target[0] == '-' ? NoSquare : squareOf(c.target);
    EXPECT_EQ(fx.threat(c.square, c.bound), expected)
        << c.field << " " << c.square << " bound " << c.bound << ": " << c.why;
  }
}
