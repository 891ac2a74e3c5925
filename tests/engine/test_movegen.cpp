// The move picker and generators: every pseudo-legal move exactly once, in
// every picker mode, against a plain 8x8 reference on random positions (and
// one of nine queens); history mode in the order of the search's history
// counts; the first captures in the order a player would try them; moves
// the caller pushed first.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/board/board.h"
#include "engine/board/movegen.h"
#include "engine/search/search.h"
#include "helpers/board_builder.h"
#include "helpers/random_positions.h"
#include "helpers/reference_moves.h"

using namespace engine;
using testing_board::buildTestPosition;
using testing_board::moveText;
using testing_board::squareOf;

namespace {

constexpr int MaxPicks = 1000;
constexpr int RandomPositions = 600;

struct Fixture {
  std::unique_ptr<ThreadBoard> board = std::make_unique<ThreadBoard>();
  std::unique_ptr<Position> pos = std::make_unique<Position>();
  void build(const std::string& field, int side, uint32_t castling = 0, int ep = NoSquare) {
    buildTestPosition(pos.get(), board.get(), field, side, castling, ep);
  }
};

// Every move the picker hands out, in order.
std::vector<Move> pickAll(Position* pos) {
  std::vector<Move> out;
  for (Move m = nextMove(pos); m != noMove && out.size() < MaxPicks; m = nextMove(pos)) out.push_back(m);
  return out;
}

std::vector<Move> sorted(std::vector<Move> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::string texts(const std::vector<Move>& moves) {
  std::string out;
  for (Move m : moves) out += moveText(m) + " ";
  return out;
}

Move mv(const char* from, const char* to) { return makeMove16(squareOf(from), squareOf(to)); }

// The search's history count of a move: by the mover's kind and the real
// to-square.
int32_t historyCount(const Position* pos, Move move) {
  return historyTable[squareAt(pos->board, moveFrom(move))->kindCopy.index][moveTo(move)];
}

}  // namespace

TEST(MovePicker, EveryPseudoLegalMoveExactlyOnceInEveryMode) {
  std::mt19937 rng(12345);
  // Nine queens first: more quiet moves than any random position pushes at
  // once in history mode.
  std::vector<testing_board::RandomPosition> positions = {
      {"Q3Q2Q/8/2Q2Q2/8/Q3Q2Q/8/2Q5/k3K3", White, 0, NoSquare}};
  for (int n = 0; n < RandomPositions; ++n) positions.push_back(testing_board::randomPosition(rng));
  int over100 = 0;
  for (const testing_board::RandomPosition& rp : positions) {
    reference::Grid g = reference::gridFromFen(rp.field, rp.side, rp.castling, rp.ep);
    std::vector<Move> tactical = reference::tacticalMoves(g), quiet = reference::quietMoves(g);
    std::vector<Move> all = tactical;
    all.insert(all.end(), quiet.begin(), quiet.end());
    std::string where = rp.field + (rp.side > 0 ? " w" : " b");
    if (all.size() > 100) ++over100;

    Fixture fx;
    fx.build(rp.field, rp.side, rp.castling, rp.ep);
    // History counts of both signs; the piece-square entries stay zero, so
    // the count alone orders history mode.
    for (auto& row : historyTable)
      for (int32_t& e : row) e = int32_t(rng() % 61) - 30;

    // Normal mode, the tactical moves first.
    std::vector<Move> picked = pickAll(fx.pos.get());
    EXPECT_EQ(sorted(picked), sorted(all)) << where << "\n got " << texts(sorted(picked)) << "\nwant "
                                           << texts(sorted(all));
    std::vector<Move> head(picked.begin(), picked.begin() + std::min(picked.size(), tactical.size()));
    EXPECT_EQ(sorted(head), sorted(tactical)) << where;

    // Tactical moves only.
    resetMoveStack(fx.pos.get());
    fx.pos->searchFlags |= SearchTacticalOnly;
    EXPECT_EQ(sorted(pickAll(fx.pos.get())), sorted(tactical)) << where;
    fx.pos->searchFlags &= ~SearchTacticalOnly;

    // History mode: after the tactical moves, the quiet moves with a count
    // of zero or more best first, then those with a negative count.
    resetMoveStack(fx.pos.get());
    fx.pos->searchFlags |= SearchHistoryOrder;
    std::vector<Move> byHistory = pickAll(fx.pos.get());
    EXPECT_EQ(sorted(byHistory), sorted(all)) << where << " (history)";
    for (size_t i = tactical.size() + 1; i < byHistory.size(); ++i) {
      const int32_t before = historyCount(fx.pos.get(), byHistory[i - 1]);
      const int32_t count = historyCount(fx.pos.get(), byHistory[i]);
      EXPECT_TRUE(before >= 0 ? count <= before : count < 0)
          << where << " (history order) " << moveText(byHistory[i - 1]) << " " << before << ", "
          << moveText(byHistory[i]) << " " << count;
    }

    // Threat mode (with and without history ordering): a random own piece
    // is threatened; its quiet moves come right after the tactical ones.
    std::vector<PieceRecord*> own;
    for (PieceRecord* p = firstPiece(fx.pos->sideRecord); p != boardPiece(fx.board.get()); p = p->next)
      own.push_back(p);
    PieceRecord* threatened = own[rng() % own.size()];
    for (uint32_t history : {0u, SearchHistoryOrder}) {
      resetMoveStack(fx.pos.get());
      fx.pos->searchFlags = (fx.pos->searchFlags & ~SearchHistoryOrder) | SearchThreatKnown | history;
      fx.pos->threatenedPiece = threatened;
      std::vector<Move> threatPicks = pickAll(fx.pos.get());
      EXPECT_EQ(sorted(threatPicks), sorted(all)) << where << " (threat)";
      std::vector<Move> threatenedQuiets;
      for (Move m : quiet)
        if (moveFrom(m) == threatened->square) threatenedQuiets.push_back(m);
      size_t start = std::min(threatPicks.size(), tactical.size());
      size_t stop = std::min(threatPicks.size(), start + threatenedQuiets.size());
      std::vector<Move> middle(threatPicks.begin() + start, threatPicks.begin() + stop);
      EXPECT_EQ(sorted(middle), sorted(threatenedQuiets)) << where << " (threat order)";
    }
  }
  for (auto& row : historyTable)
    for (int32_t& e : row) e = 0;
  EXPECT_GT(over100, 1);  // nine queens and some random positions need more than 100 stack entries
}

// The first two captures the picker hands out, in the order a player would
// try them: the more valuable victim first, by the cheaper attacker first,
// a recapture on the square of the opponent's last move before an equal
// capture elsewhere, and the search's first reply before anything else.
TEST(TacticalOrder, FirstCapturesComeAsAPlayerWouldTryThem) {
  struct Case {
    const char* field;
    const char* lastMove[2];
    const char* firstReply[2];
    const char* first[2];
    const char* second[2];
  };
  const Case cases[] = {
      {"4k3/8/8/3q4/4P3/8/8/3RK3", {}, {}, {"e4", "d5"}, {"d1", "d5"}},
      {"4k3/8/2q1r3/8/3N4/8/8/4K3", {}, {}, {"d4", "c6"}, {"d4", "e6"}},
      {"4k3/8/2p1p3/8/3N4/8/8/4K3", {"e7", "e6"}, {}, {"d4", "e6"}, {"d4", "c6"}},
      {"4k3/8/2p1p3/8/3N4/8/8/4K3", {"e7", "e6"}, {"d4", "c6"}, {"d4", "c6"}, {"d4", "e6"}},
  };
  for (const Case& c : cases) {
    Fixture fx;
    fx.build(c.field, White);
    if (c.lastMove[0] != nullptr) fx.pos->lastMove = mv(c.lastMove[0], c.lastMove[1]);
    if (c.firstReply[0] != nullptr) fx.pos->firstReply = mv(c.firstReply[0], c.firstReply[1]);
    std::vector<Move> picks = pickAll(fx.pos.get());
    ASSERT_GE(picks.size(), 2u) << c.field;
    EXPECT_EQ(std::vector<Move>(picks.begin(), picks.begin() + 2),
              (std::vector<Move>{mv(c.first[0], c.first[1]), mv(c.second[0], c.second[1])}))
        << c.field << ": " << texts(picks);
  }
}

// The search pushes the moves it wants tried first (hash move, killers):
// they come out before the generated ones, the last pushed first, and are
// not filtered from the generated ones.
TEST(MovePicker, CallerPushedMovesComeOutFirstLastPushedFirst) {
  Fixture fx;
  fx.build("4k3/8/8/3p4/4P3/8/8/4K3", White);
  pushMove(fx.pos.get(), mv("e1", "d1"));
  pushMove(fx.pos.get(), mv("e1", "f1"));
  std::vector<Move> picks = pickAll(fx.pos.get());
  ASSERT_GE(picks.size(), 3u);
  EXPECT_EQ(picks[0], mv("e1", "f1"));
  EXPECT_EQ(picks[1], mv("e1", "d1"));
  EXPECT_EQ(picks[2], mv("e4", "d5"));
  EXPECT_EQ(std::count(picks.begin(), picks.end(), mv("e1", "f1")), 2);
}
