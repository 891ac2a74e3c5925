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

TEST(FindAttacker, EdgeAndEmptySquaresAreNeverAttackers) {
  Fixture fx("8/8/8/8/8/8/8/K6k");
  EXPECT_EQ(findAttacker(squareOf("b2"), &fx.board->white), squareOf("a1"));
  EXPECT_EQ(findAttacker(squareOf("c3"), &fx.board->white), NoSquare);
  EXPECT_EQ(findAttacker(squareOf("g2"), &fx.board->black), squareOf("h1"));
}

TEST(ThreatTarget, WhitePawnPrefersTheMoreValuableVictim) {
  Fixture fx("4k3/8/8/3n1r2/4P3/8/8/4K3");
  EXPECT_EQ(fx.threat("e4", 6), squareOf("f5"));  // rook before knight
  EXPECT_EQ(fx.threat("e4", 7), squareOf("f5"));
  EXPECT_EQ(fx.threat("e4", 11), NoSquare);  // only the king counts
}

TEST(ThreatTarget, PawnOnEqualVictimsTakesSquarePlusFifteen) {
  Fixture fx("4k3/8/8/3n1n2/4P3/8/8/4K3");
  EXPECT_EQ(fx.threat("e4", 6), squareOf("d5"));
}

TEST(ThreatTarget, PawnIgnoresPawnsAndFindsTheKingWithBoundEleven) {
  Fixture fx("8/8/8/3p1k2/4P3/8/8/4K3");
  EXPECT_EQ(fx.threat("e4", 11), squareOf("f5"));
  Fixture pawnsOnly("4k3/8/8/3p1p2/4P3/8/8/4K3");
  EXPECT_EQ(pawnsOnly.threat("e4", 6), NoSquare);
}

TEST(ThreatTarget, SeventhRankPawnThreatensToPromote) {
  Fixture free("4k3/P7/8/8/8/8/8/4K3");
  EXPECT_EQ(free.threat("a7", 6), squareOf("a8"));
  EXPECT_EQ(free.threat("a7", 11), squareOf("a8"));
  Fixture blocked("n3k3/P7/8/8/8/8/8/4K3");
  EXPECT_EQ(blocked.threat("a7", 6), NoSquare);
  Fixture sixth("4k3/8/P7/8/8/8/8/4K3");
  EXPECT_EQ(sixth.threat("a6", 6), NoSquare);
}

TEST(ThreatTarget, BlackPawnMirrored) {
  Fixture fx("4k3/8/8/4p3/3B1Q2/8/8/4K3", Black);
  EXPECT_EQ(fx.threat("e5", 6), squareOf("f4"));  // queen (index 11) before bishop
  Fixture second("4k3/8/8/8/8/8/1p6/4K3", Black);
  EXPECT_EQ(second.threat("b2", 6), squareOf("b1"));
  Fixture check("4k3/8/8/4p3/3K4/8/8/8", Black);
  EXPECT_EQ(check.threat("e5", 11), squareOf("d4"));
}

TEST(ThreatTarget, PieceThreatensMoreValuableOrUndefendedTargets) {
  // Knight on d4 attacks the rook on e6: higher class, so defended or not.
  Fixture fx("4k3/8/4r3/3p4/3N4/8/8/4K3");
  EXPECT_EQ(fx.threat("d4", 6), squareOf("e6"));
  // A rook attacking a defended knight threatens nothing.
  Fixture defended("4k3/8/8/8/1p6/2n5/8/2R1K3");
  EXPECT_EQ(defended.threat("c1", 6), NoSquare);
  // Undefended, the knight is a target.
  Fixture undefended("4k3/8/8/8/8/2n5/8/2R1K3");
  EXPECT_EQ(undefended.threat("c1", 6), squareOf("c3"));
  // The bound leaves out targets of its class and below.
  EXPECT_EQ(undefended.threat("c1", 9), NoSquare);
}

TEST(ThreatTarget, BoundSixAdmitsUndefendedPawnsBoundSevenDoesNot) {
  Fixture fx("4k3/8/8/8/8/2p5/8/2R1K3");
  EXPECT_EQ(fx.threat("c1", 6), squareOf("c3"));
  EXPECT_EQ(fx.threat("c1", 7), NoSquare);
}

TEST(ThreatTarget, BlockedRayIsNoThreat) {
  Fixture fx("q3k3/8/8/8/P7/8/8/R3K3");
  EXPECT_EQ(fx.threat("a1", 6), NoSquare);
  Fixture open("q3k3/8/8/8/8/8/8/R3K3");
  EXPECT_EQ(open.threat("a1", 6), squareOf("a8"));
}

TEST(ThreatTarget, MostValuableTargetFirst) {
  // The queen on d1 attacks the king on d8 (file open) and the undefended
  // rook on a4: the walk from the far end of Black's list meets the king
  // first.
  Fixture fx("3k4/8/8/8/r7/8/8/3QK3");
  EXPECT_EQ(fx.threat("d1", 6), squareOf("d8"));
  Fixture noKing("4k3/8/8/8/r7/8/8/3QK3");
  EXPECT_EQ(noKing.threat("d1", 6), squareOf("a4"));
}

TEST(ThreatTarget, BlackPieceWalksWhitesListFromSlot32) {
  Fixture fx("4k3/8/8/8/8/5n2/8/3R2K1", Black);
  // The knight on f3 attacks the king on g1 (slot 32, met first).
  EXPECT_EQ(fx.threat("f3", 6), squareOf("g1"));
  // Attacking the king on h2 and the rook on e1: the king comes first.
  Fixture fork("4k3/8/8/8/8/5n2/7K/4R3", Black);
  EXPECT_EQ(fork.threat("f3", 6), squareOf("h2"));
  // With the king out of reach, the undefended rook.
  Fixture rookOnly("4k3/8/8/8/8/5n2/8/4R2K", Black);
  EXPECT_EQ(rookOnly.threat("f3", 6), squareOf("e1"));
}
