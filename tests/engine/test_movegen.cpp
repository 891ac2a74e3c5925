// The move picker and generators: completeness against a plain 8x8
// reference on random positions (in every picker mode), stage order and
// ordering scores on hand-built positions.
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
Move under(const char* from, const char* to, int piece, int side) {
  return makeMove16(squareOf(from), underPromotionByte(squareOf(to), piece, side));
}

}  // namespace

TEST(MovePicker, EveryPseudoLegalMoveExactlyOnceInEveryMode) {
  std::mt19937 rng(12345);
  int positions = 0, over100 = 0;
  for (int n = 0; n < 600; ++n) {
    testing_board::RandomPosition rp = testing_board::randomPosition(rng);
    reference::Grid g = reference::gridFromFen(rp.field, rp.side, rp.castling, rp.ep);
    std::vector<Move> tactical = reference::tacticalMoves(g), quiet = reference::quietMoves(g);
    std::vector<Move> all = tactical;
    all.insert(all.end(), quiet.begin(), quiet.end());
    std::string where = rp.field + (rp.side > 0 ? " w" : " b");
    if (all.size() > 100) ++over100;

    Fixture fx;
    fx.build(rp.field, rp.side, rp.castling, rp.ep);
    // Random piece-square entries and history counters, so history mode
    // sorts with positive and negative scores.
    for (auto& block : fx.board->evalBlock.pieceSquare)
      for (int16_t& e : block) e = int16_t(int(rng() % 101) - 50);
    for (auto& row : historyTable)
      for (int32_t& e : row) e = int32_t(rng() % 61) - 30;

    // Normal mode.
    std::vector<Move> picked = pickAll(fx.pos.get());
    EXPECT_EQ(sorted(picked), sorted(all)) << where << "\n got " << texts(sorted(picked)) << "\nwant "
                                           << texts(sorted(all));
    // The tactical moves come first.
    std::vector<Move> head(picked.begin(), picked.begin() + std::min(picked.size(), tactical.size()));
    EXPECT_EQ(sorted(head), sorted(tactical)) << where;

    // Tactical moves only.
    resetMoveStack(fx.pos.get());
    fx.pos->searchFlags |= SearchTacticalOnly;
    EXPECT_EQ(sorted(pickAll(fx.pos.get())), sorted(tactical)) << where;
    fx.pos->searchFlags &= ~SearchTacticalOnly;

    // History mode.
    resetMoveStack(fx.pos.get());
    fx.pos->searchFlags |= SearchHistoryOrder;
    EXPECT_EQ(sorted(pickAll(fx.pos.get())), sorted(all)) << where << " (history)";

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
    fx.pos->searchFlags &= ~(SearchThreatKnown | SearchHistoryOrder);
    ++positions;
  }
  for (auto& row : historyTable)
    for (int32_t& e : row) e = 0;
  EXPECT_EQ(positions, 600);
  EXPECT_GT(over100, 0);  // some positions need more than 100 stack entries
}

TEST(MovePicker, NineQueensFitTheMoveStack) {
  Fixture fx;
  fx.build("Q3Q2Q/8/2Q2Q2/8/Q3Q2Q/8/2Q5/k3K3", White);
  fx.pos->searchFlags |= SearchHistoryOrder;
  reference::Grid g = reference::gridFromFen("Q3Q2Q/8/2Q2Q2/8/Q3Q2Q/8/2Q5/k3K3", White, 0, NoSquare);
  std::vector<Move> all = reference::quietMoves(g), tactical = reference::tacticalMoves(g);
  all.insert(all.end(), tactical.begin(), tactical.end());
  EXPECT_GT(all.size(), 100u);
  EXPECT_EQ(sorted(pickAll(fx.pos.get())), sorted(all));
}

TEST(MovePicker, CallerPushedMovesComeOutFirstLastPushedFirst) {
  Fixture fx;
  fx.build("4k3/8/8/3p4/4P3/8/8/4K3", White);
  pushMove(fx.pos.get(), mv("e1", "d1"));
  pushMove(fx.pos.get(), mv("e1", "f1"));
  std::vector<Move> picks = pickAll(fx.pos.get());
  ASSERT_GE(picks.size(), 3u);
  EXPECT_EQ(picks[0], mv("e1", "f1"));
  EXPECT_EQ(picks[1], mv("e1", "d1"));
  EXPECT_EQ(picks[2], mv("e4", "d5"));  // then the capture
  // The picker does not filter moves the caller already tried.
  EXPECT_EQ(std::count(picks.begin(), picks.end(), mv("e1", "f1")), 2);
}

TEST(TacticalOrder, PawnTakesQueenScoresQueenMinusSevenRookThreeLess) {
  Fixture fx;
  fx.build("4k3/8/8/3q4/4P3/8/8/3RK3", White);
  Move byPawn = mv("e4", "d5"), byRook = mv("d1", "d5");
  EXPECT_EQ(tacticalScore(fx.pos.get(), byPawn), 720 - 7);
  EXPECT_EQ(tacticalScore(fx.pos.get(), byRook), 720 - 10);
  std::vector<Move> picks = pickAll(fx.pos.get());
  ASSERT_GE(picks.size(), 2u);
  EXPECT_EQ(picks[0], byPawn);
  EXPECT_EQ(picks[1], byRook);
}

TEST(TacticalOrder, VictimValueIsItsCurrentValue) {
  Fixture fx;
  fx.build("4k3/8/8/3n4/4P3/8/8/4K3", White);
  squareAt(fx.board.get(), squareOf("d5"))->currentValue = 300;
  EXPECT_EQ(tacticalScore(fx.pos.get(), mv("e4", "d5")), 300 - 7);
}

TEST(TacticalOrder, FirstReplyBeatsRecaptureAndTheyDoNotAdd) {
  Fixture fx;
  fx.build("4k3/8/2p1p3/8/3N4/8/8/4K3", White);
  Move takeC6 = mv("d4", "c6"), takeE6 = mv("d4", "e6");
  fx.pos->lastMove = makeMove16(squareOf("e7"), squareOf("e6"));
  EXPECT_EQ(tacticalScore(fx.pos.get(), takeE6), 52 - 8 + 500);
  EXPECT_EQ(tacticalScore(fx.pos.get(), takeC6), 52 - 8);
  EXPECT_EQ(pickAll(fx.pos.get())[0], takeE6);
  fx.pos->firstReply = makeMove16(squareOf("d4"), squareOf("c6"));
  EXPECT_EQ(tacticalScore(fx.pos.get(), takeC6), 52 - 8 + 1000);
  resetMoveStack(fx.pos.get());
  EXPECT_EQ(pickAll(fx.pos.get())[0], takeC6);
  fx.pos->firstReply = makeMove16(squareOf("d4"), squareOf("e6"));
  EXPECT_EQ(tacticalScore(fx.pos.get(), takeE6), 52 - 8 + 1000);  // not both
}

TEST(TacticalOrder, EqualScoresLaterGeneratedFirst) {
  // The knight captures the two pawns with equal scores; the one generated
  // later (direction order: +33 before +31, i.e. e6 before c6) comes first.
  Fixture fx;
  fx.build("4k3/8/2p1p3/8/3N4/8/8/4K3", White);
  std::vector<Move> picks = pickAll(fx.pos.get());
  ASSERT_GE(picks.size(), 2u);
  EXPECT_EQ(picks[0], mv("d4", "c6"));
  EXPECT_EQ(picks[1], mv("d4", "e6"));
}

TEST(TacticalOrder, PromotionAddsThePawnsPieceSquareGain) {
  Fixture fx;
  fx.build("4k3/P7/8/8/8/8/8/4K3", White);
  fx.board->evalBlock.pieceSquare[PawnBlock][squareOf("a8")] = 40;
  fx.board->evalBlock.pieceSquare[PawnBlock][squareOf("a7")] = 15;
  EXPECT_EQ(tacticalScore(fx.pos.get(), mv("a7", "a8")), 0 - 7 + 40 - 15);
}

TEST(PawnMoves, SeventhRankQueenPromotionIsTacticalUnderPromotionsQuiet) {
  Fixture fx;
  fx.build("1n2k3/P7/8/8/8/8/8/4K3", White);
  std::vector<Move> picks = pickAll(fx.pos.get());
  // Tactical: the capture on b8 with queen promotion and the push to a8.
  ASSERT_GE(picks.size(), 8u);
  EXPECT_EQ(sorted({picks[0], picks[1]}), sorted({mv("a7", "a8"), mv("a7", "b8")}));
  // Quiet moves of the pawn come out in reverse order of generation:
  // push to R, B, N, then capture to R, B, N.
  std::vector<Move> pawnQuiets;
  for (Move m : picks)
    if (moveFrom(m) == squareOf("a7") && (moveToByte(m) & 0x80)) pawnQuiets.push_back(m);
  std::vector<Move> expected = {under("a7", "b8", PromoteKnight, 1), under("a7", "b8", PromoteBishop, 1),
                                under("a7", "b8", PromoteRook, 1),   under("a7", "a8", PromoteKnight, 1),
                                under("a7", "a8", PromoteBishop, 1), under("a7", "a8", PromoteRook, 1)};
  EXPECT_EQ(pawnQuiets, expected) << texts(pawnQuiets);
}

TEST(PawnMoves, BlockedSeventhRankPawnStillUnderPromotesByCapture) {
  Fixture fx;
  fx.build("nr2k3/1P6/8/8/8/8/8/4K3", White);
  fx.pos->searchFlags = 0;
  std::vector<Move> picks = pickAll(fx.pos.get());
  int pushes = 0, captures = 0;
  for (Move m : picks) {
    if (moveFrom(m) != squareOf("b7")) continue;
    if (moveTo(m) == squareOf("b8")) ++pushes;
    if (moveTo(m) == squareOf("a8")) ++captures;
  }
  EXPECT_EQ(pushes, 0);
  EXPECT_EQ(captures, 4);  // queen promotion (tactical) + three under-promotions
}

TEST(PawnMoves, SixthRankPushIsTacticalNotQuiet) {
  Fixture fx;
  fx.build("4k3/8/3P4/8/8/8/8/4K3", White);
  fx.pos->searchFlags |= SearchTacticalOnly;
  EXPECT_EQ(pickAll(fx.pos.get()), std::vector<Move>{mv("d6", "d7")});
  Fixture black;
  black.build("4k3/8/8/8/8/3p4/8/4K3", Black);
  black.pos->searchFlags |= SearchTacticalOnly;
  EXPECT_EQ(pickAll(black.pos.get()), std::vector<Move>{mv("d3", "d2")});
}

TEST(PawnMoves, EnPassantCapturesComeWithTheKing) {
  Fixture fx;
  fx.build("4k3/8/8/3PpP2/8/8/8/4K3", White, 0, squareOf("e6"));
  fx.pos->searchFlags |= SearchTacticalOnly;
  std::vector<Move> picks = pickAll(fx.pos.get());
  EXPECT_EQ(sorted(picks), sorted({mv("d5", "e6"), mv("f5", "e6")}));
  // Equal scores: f5 (ep - 15) is generated first, so d5 comes first.
  EXPECT_EQ(picks[0], mv("d5", "e6"));
}

TEST(Castling, NotThroughOrOutOfCheckButIntoAnAttackedTarget) {
  auto castles = [](const char* field) {
    Fixture fx;
    fx.build(field, White, StateWhiteKingSide | StateWhiteQueenSide);
    std::vector<Move> picks = pickAll(fx.pos.get());
    bool kingSide = std::count(picks.begin(), picks.end(), mv("e1", "g1")) == 1;
    bool queenSide = std::count(picks.begin(), picks.end(), mv("e1", "c1")) == 1;
    return std::pair(kingSide, queenSide);
  };
  EXPECT_EQ(castles("4k3/8/8/8/8/8/8/R3K2R"), std::pair(true, true));
  EXPECT_EQ(castles("4k3/8/8/8/4r3/8/8/R3K2R"), std::pair(false, false));  // king attacked
  EXPECT_EQ(castles("4k3/8/8/8/5r2/8/8/R3K2R"), std::pair(false, true));   // f1 attacked
  EXPECT_EQ(castles("4k3/8/8/8/3r4/8/8/R3K2R"), std::pair(true, false));   // d1 attacked
  EXPECT_EQ(castles("4k3/8/8/8/6r1/8/8/R3K2R"), std::pair(true, true));    // only g1 attacked
  EXPECT_EQ(castles("4k3/8/8/8/2r5/8/8/R3K2R"), std::pair(true, true));    // only c1 attacked
  EXPECT_EQ(castles("4k3/8/8/8/1r6/8/8/R3K2R"), std::pair(true, true));    // b1 may be attacked
  EXPECT_EQ(castles("4k3/8/8/8/8/8/8/RN2K1NR"), std::pair(false, false));  // blocked
  EXPECT_EQ(castles("4k3/8/8/8/8/8/8/B3K2B"), std::pair(false, false));    // no rooks
  EXPECT_EQ(castles("4k3/8/8/8/8/8/8/r3K2r"), std::pair(false, false));    // opponent's rooks
}

TEST(MovePicker, TacticalOnlyEndsAfterTheTacticalMoves) {
  Fixture fx;
  fx.build("4k3/8/8/3p4/4P3/8/8/4K3", White);
  fx.pos->searchFlags |= SearchTacticalOnly;
  EXPECT_EQ(pickAll(fx.pos.get()), std::vector<Move>{mv("e4", "d5")});
  EXPECT_EQ(fx.pos->pickerStage, StageDone);
  EXPECT_EQ(nextMove(fx.pos.get()), noMove);
}

TEST(MovePicker, QuietMovesPieceByPieceInListOrder) {
  // White's list runs pawns, knights, bishops, rooks, queen, king.
  Fixture fx;
  fx.build("4k3/8/8/8/8/8/4P3/1N2K3", White);
  std::vector<Move> picks = pickAll(fx.pos.get());
  std::vector<int> fromOrder;
  for (Move m : picks)
    if (fromOrder.empty() || fromOrder.back() != moveFrom(m)) fromOrder.push_back(moveFrom(m));
  EXPECT_EQ(fromOrder, (std::vector<int>{squareOf("e2"), squareOf("b1"), squareOf("e1")}));
  // Within a piece, reverse order of generation: e2e4 (generated second) first.
  EXPECT_EQ(picks[0], mv("e2", "e4"));
  EXPECT_EQ(picks[1], mv("e2", "e3"));
}

TEST(MovePicker, ThreatenedPieceFirstAndNotAgain) {
  Fixture fx;
  fx.build("4k3/8/8/8/8/8/4P3/1N2K3", White);
  fx.pos->searchFlags |= SearchThreatKnown;
  fx.pos->threatenedPiece = squareAt(fx.board.get(), squareOf("b1"));
  std::vector<Move> picks = pickAll(fx.pos.get());
  ASSERT_EQ(picks.size(), 3u + 2u + 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(moveFrom(picks[i]), squareOf("b1")) << i;
  int knightMoves = 0;
  for (Move m : picks) knightMoves += moveFrom(m) == squareOf("b1");
  EXPECT_EQ(knightMoves, 3);
}

TEST(HistoryOrder, ScoresAndOrder) {
  Fixture fx;
  fx.build("4k3/8/8/8/8/8/8/N3K3", White);
  int16_t* knight = fx.board->evalBlock.pieceSquare[KnightBlock];
  knight[squareOf("a1")] = 10;
  knight[squareOf("b3")] = 15;  // (15 - 10) / 2 = 2
  knight[squareOf("c2")] = 3;   // (3 - 10) / 2 = -3 (toward zero)
  historyTable[WhiteKnight][squareOf("c2")] = 7;  // -3 + 7 = 4
  historyTable[WhiteKing][squareOf("d1")] = -5;
  historyTable[WhiteKing][squareOf("f2")] = -1;
  EXPECT_EQ(historyScore(fx.pos.get(), mv("a1", "b3")), 2);
  EXPECT_EQ(historyScore(fx.pos.get(), mv("a1", "c2")), 4);
  EXPECT_EQ(historyScore(fx.pos.get(), mv("e1", "d1")), -5);
  fx.pos->searchFlags |= SearchHistoryOrder;
  std::vector<Move> picks = pickAll(fx.pos.get());
  // Non-negative best first: c2 (4), b3 (2), then the king's zero-score
  // moves (later popped first among equals), then the negative ones in
  // popped order.
  ASSERT_EQ(picks.size(), 2u + 5u);
  EXPECT_EQ(picks[0], mv("a1", "c2"));
  EXPECT_EQ(picks[1], mv("a1", "b3"));
  std::vector<Move> tail(picks.end() - 2, picks.end());
  // Popped order of the king's moves is the reverse of generation (d1 is
  // generated second, f2 eighth), so f2 pops before d1.
  EXPECT_EQ(tail, (std::vector<Move>{mv("e1", "f2"), mv("e1", "d1")}));
  for (auto& row : historyTable)
    for (int32_t& e : row) e = 0;
}

TEST(HistoryOrder, UnderPromotionsAreScoredOnTheirRealSquare) {
  Fixture fx;
  fx.build("4k3/P7/8/8/8/8/8/4K3", White);
  fx.board->evalBlock.pieceSquare[PawnBlock][squareOf("a8")] = 20;
  historyTable[WhitePawn][squareOf("a8")] = 3;
  EXPECT_EQ(historyScore(fx.pos.get(), under("a7", "a8", PromoteKnight, 1)), 10 + 3);
  historyTable[WhitePawn][squareOf("a8")] = 0;
}
