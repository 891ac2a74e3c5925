// The search node driven directly on positions set up from FEN text, the
// root prepared as the root driver prepares it: mate and stalemate at the
// root, a mate found again on a warm table, a repetition of the game
// history, mate in one seen by the depth-one search, every move of the best
// line legal (by the reference move generator) over a suite of positions of
// all kinds, and the deepest ply.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/eval/evaluate.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/search/search.h"
#include "engine/search/search_support.h"
#include "helpers/module_host.h"
#include "helpers/reference_legal.h"
#include "helpers/search_root.h"

using namespace engine;
using testing_host::moveOf;
using testing_search::prepareRoot;
using testing_search::rootOf;

namespace {

struct RootResult {
  int32_t score;
  std::vector<Move> pv;
};

// One root search at `depth` from a cleared table, after `gameMoves`.
RootResult searchRoot(const std::string& fen, int32_t depth, const std::vector<const char*>& gameMoves = {}) {
  Position* root = rootOf(fen, depth, gameMoves);
  Move exclusion[1] = {noMove};  // a root with no move left out
  Move killers[2] = {noMove, noMove};
  Move pv[PvLength + 2];
  pv[0] = noMove;
  RootResult result;
  result.score = searchNode(root, depth, 9999, -9999, killers, pv, &exclusion[0]);
  unmarkGameHistory(&engineHash);
  for (int32_t i = 0; i < PvLength && pv[i] != noMove && moveToByte(pv[i]) != NoSquare; ++i) result.pv.push_back(pv[i]);
  return result;
}

// Every move of the line is legal in turn from the position.
void expectLegalLine(const std::string& fen, const std::vector<Move>& pv) {
  reference::Grid grid = reference::gridFromFullFen(fen);
  for (size_t i = 0; i < pv.size(); ++i) {
    ASSERT_TRUE(reference::isLegal(grid, pv[i])) << fen << " move " << i;
    grid = reference::playOnGrid(grid, pv[i]);
  }
}

}  // namespace

TEST(SearchNode, MatedAndStalematedRootsHaveNoMove) {
  // Black to move, mated by the queen on g7 (guarded by the king).
  RootResult mated = searchRoot("6k1/6Q1/6K1/8/8/8/8/8 b - - 0 1", 4);
  EXPECT_EQ(mated.score, -9998);
  EXPECT_TRUE(mated.pv.empty());
  // Black to move with no legal move and not in check.
  RootResult stalemate = searchRoot("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", 4);
  EXPECT_EQ(stalemate.score, 0);
  EXPECT_TRUE(stalemate.pv.empty());
}

// A mate found again on the table its first search filled: the stored
// scores are not adjusted by ply, so its distance may change, but not the
// move or that it mates.
TEST(SearchNode, MateIsFoundAgainOnAWarmTable) {
  // 1. Nf6+ gxf6 2. Bxf7#: mate in two, 9999 - 4 from a cleared table.
  const char* two = "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 0 1";
  ASSERT_EQ(searchRoot(two, 6).score, 9995);
  Position* root = prepareRoot(6);
  Move exclusion[1] = {noMove};
  Move killers[2] = {noMove, noMove};
  Move pv[PvLength + 2];
  EXPECT_GE(searchNode(root, 6, 9999, -9999, killers, pv, &exclusion[0]), 9900);
  EXPECT_EQ(pv[0], moveOf("d5f6"));
  unmarkGameHistory(&engineHash);
}

TEST(SearchNode, RepeatingAGamePositionScoresZero) {
  // White is a queen down; Nf3 returns to the position after White's first
  // game move, a repetition, so it is the move and the score is 0. The same
  // position without the game history is lost.
  const char* fen = "7k/8/8/8/2q5/8/8/6NK w - - 0 1";
  std::vector<const char*> game = {"g1f3", "h8g8", "f3g1", "g8h8"};
  RootResult fresh = searchRoot(fen, 5);
  EXPECT_LT(fresh.score, -200);
  RootResult repeated = searchRoot(fen, 5, game);
  EXPECT_EQ(repeated.score, 0);
  ASSERT_FALSE(repeated.pv.empty());
  EXPECT_EQ(repeated.pv[0], moveOf("g1f3"));
}

TEST(SearchNode, DepthOneSearchSeesMateInOne) {
  for (const char* fen : {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", "3r2k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1"}) {
    Position* root = rootOf(fen, 1);
    Move killers[2] = {noMove, noMove};
    Move pv[PvLength + 2];
    EXPECT_EQ(searchFrontier(root, 1, 9999, -9999, killers, pv), 9997) << fen;
    EXPECT_EQ(moveFrom(pv[0]), makeSquare(3, fen[0] == '6' ? 0 : 7)) << fen;
  }
}

TEST(SearchNode, EveryBestLineIsLegal) {
  // Openings, middlegames with pins, checks, en passant and promotions, and
  // endings; each searched at a depth where pseudo-legal moves are in play.
  const char* const suite[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
      "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
      "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
      "4k3/8/8/8/1b6/8/3P4/4K3 w - - 0 1",
      "rnbqkbnr/ppp2ppp/8/1B1pp3/4P3/8/PPPP1PPP/RNBQK1NR b KQkq - 1 3",
      "8/P6k/8/8/8/8/6pK/8 w - - 0 1",
      "2kr3r/ppp2ppp/2n1b3/2b1P3/8/2N2N2/PPP2PPP/R1B1K2R w KQ - 0 1",
      "8/8/1p4k1/p1p2p2/P1P2P2/1P4K1/8/8 w - - 0 1",
  };
  for (const char* fen : suite) {
    RootResult r = searchRoot(fen, 7);
    SCOPED_TRACE(fen);
    ASSERT_FALSE(r.pv.empty());
    expectLegalLine(fen, r.pv);
  }
}

TEST(SearchNode, PlyBoundAndMateDistanceCut) {
  const char* fen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
  Position* root = rootOf(fen, 6);
  Move killers[2] = {noMove, noMove};
  Move pv[PvLength + 2];
  // An upper bound at or below the node's mated score is returned at once.
  EXPECT_EQ(searchNode(root, 6, -9998, -9999, killers, pv, nullptr), -9998);
  // At the deepest ply every search returns the static value within its
  // bounds, without a move.
  const int32_t staticValue = root->staticValue;
  root->matedScore = -9998 + MaxSearchPly;
  EXPECT_EQ(searchNode(root, 6, 9999, -9999, killers, pv, nullptr), staticValue);
  EXPECT_EQ(pv[0], noMove);
  EXPECT_EQ(searchFrontier(root, 1, staticValue - 5, -9999, killers, pv), staticValue - 5);
  EXPECT_EQ(quiesce(root, 9999, staticValue + 5, killers, pv), staticValue + 5);
  // A few plies above it a search (as a root: no null move, no table)
  // still ends with a legal move.
  root->matedScore = -9998 + MaxSearchPly - 4;
  resetMoveStack(root);
  Move exclusion[1] = {noMove};
  searchNode(root, 6, 9999, -9999, killers, pv, &exclusion[0]);
  ASSERT_NE(pv[0], noMove);
  EXPECT_TRUE(reference::isLegal(reference::gridFromFullFen(fen), pv[0]));
}
