// The test host's legal-move reference against known move counts (the
// first level of well-known perft tables) and known mates.
#include <gtest/gtest.h>

#include "helpers/reference_legal.h"

using namespace reference;

TEST(ReferenceLegal, KnownMoveCounts) {
  EXPECT_EQ(legalMoves(gridFromFullFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -")).size(), 20u);
  EXPECT_EQ(legalMoves(gridFromFullFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -")).size(),
            48u);
  EXPECT_EQ(legalMoves(gridFromFullFen("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -")).size(), 14u);
  EXPECT_EQ(legalMoves(gridFromFullFen("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -")).size(), 6u);
  EXPECT_EQ(legalMoves(gridFromFullFen("rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -")).size(), 44u);
}

TEST(ReferenceLegal, MatesAndMoves) {
  EXPECT_TRUE(isCheckmate(gridFromFullFen("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -")));
  Grid start = gridFromFullFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
  EXPECT_FALSE(isCheckmate(start));
  const engine::Move e2e4 = engine::makeMove16(0x14, 0x34);
  EXPECT_TRUE(isLegal(start, e2e4));
  EXPECT_FALSE(isLegal(start, engine::makeMove16(0x14, 0x44)));
  Grid after = playOnGrid(start, e2e4);
  EXPECT_EQ(after.side, -1);
  EXPECT_EQ(after.enPassant, 0x24);
  EXPECT_EQ(fenOf(after).rfind("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR", 0), 0u) << fenOf(after);
}
