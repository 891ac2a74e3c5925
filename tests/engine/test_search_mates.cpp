// The search through the engine module: mates in one, two and three moves
// for both colours must be found with their exact mate score (9999 - 2 x
// moves, the hash table cleared first so that no stored score of another
// search shortens or lengthens a distance), with a key move that the plain
// reference board confirms by exhaustive search (it mates within the
// distance; no mate is shorter), and a line that ends in checkmate. The
// longer mates drive the king with checks: a pure zugzwang (the defender's
// every move walks into mate) is hidden from shallow searches by the null
// move, which assumes passing is never better than moving. A knight fork
// must be played.
// The build makes the module: when it does not load, these tests fail.
#include <gtest/gtest.h>

#include "helpers/module_host.h"
#include "helpers/reference_legal.h"
#include "helpers/reference_mate.h"

using namespace engine;
using testing_host::moveOf;
using testing_host::ReportedLine;
using testing_host::searchToDepth;

TEST(SearchMates, MatesInOneTwoAndThreeForBothColours) {
  REQUIRE_ENGINE_MODULE();
  struct MateCase {
    const char* fen;
    int32_t moves;
  };
  const MateCase cases[] = {
      {"6k1/5ppp/8/8/8/8/8/R5K1 w - -", 1},
      {"r5k1/8/8/8/8/8/5PPP/6K1 b - -", 1},
      {"rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq -", 1},
      // 1. Qxf7#.
      {"r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -", 1},
      // Two rooks drive the king to the edge.
      {"8/7k/1R6/R7/8/8/8/K7 w - -", 2},
      {"k7/8/8/8/r7/1r6/7K/8 b - -", 2},
      // A sacrifice first: 1. Nf6+ gxf6 2. Bxf7#.
      {"r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq -", 2},
      {"8/8/6k1/1R6/8/8/R7/7K w - -", 3},
      {"7k/r7/8/8/1r6/6K1/8/8 b - -", 3},
  };
  for (const MateCase& c : cases) {
    SCOPED_TRACE(c.fen);
    // The outside truth first: mate in exactly c.moves.
    reference::Grid start = reference::gridFromFullFen(c.fen);
    ASSERT_TRUE(reference::matesWithin(start, c.moves));
    ASSERT_FALSE(reference::matesWithin(start, c.moves - 1));

    ReportedLine line = searchToDepth(c.fen, 2 * c.moves + 2);
    EXPECT_EQ(line.score, 9999 - 2 * c.moves);
    ASSERT_FALSE(line.pv.empty());
    EXPECT_TRUE(reference::keyMatesWithin(start, line.pv[0], c.moves));
    // Every move of the line is legal, and a complete line ends in mate.
    reference::Grid grid = start;
    for (size_t i = 0; i < line.pv.size(); ++i) {
      ASSERT_TRUE(reference::isLegal(grid, line.pv[i])) << "move " << i;
      grid = reference::playOnGrid(grid, line.pv[i]);
    }
    if (line.pv.size() >= size_t(2 * c.moves - 1)) {
      EXPECT_TRUE(reference::isCheckmate(grid));
    }
  }
}

TEST(SearchMates, KnightForkWinsTheQueen) {
  REQUIRE_ENGINE_MODULE();
  // The queen attacks the knight; Nc7+ forks king and queen. Without the
  // pawns the knight alone could not win, and the draw rule scores 0.
  ReportedLine line = searchToDepth("q3k3/7p/8/3N4/8/8/7P/4K3 w - -", 5);
  ASSERT_FALSE(line.pv.empty());
  EXPECT_EQ(line.pv[0], moveOf("d5c7"));
  EXPECT_GT(line.score, 0);  // a queen down without the fork
  // The same fork for Black, mirrored: the same judgement within a point.
  ReportedLine black = searchToDepth("4k3/7p/8/8/3n4/8/7P/Q3K3 b - -", 5);
  ASSERT_FALSE(black.pv.empty());
  EXPECT_EQ(black.pv[0], moveOf("d4c2"));
  EXPECT_GT(black.score, 0);
  EXPECT_NEAR(line.score, black.score, 1);
}
