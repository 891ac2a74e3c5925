// Search support tests on hand-built boards: the plausibility test of
// pushed moves, the threat-answer test, the recapture pushes, the history
// table's halving, principal-variation copies and the pool of saved
// evaluation data (claim, restore, exhaustion).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/board/board.h"
#include "engine/eval/attack_data.h"
#include "engine/search/search.h"
#include "engine/search/search_support.h"
#include "helpers/board_builder.h"

using namespace engine;
using testing_board::buildTestPosition;
using testing_board::moveText;
using testing_board::squareOf;

namespace {

struct Fixture {
  std::unique_ptr<ThreadBoard> board = std::make_unique<ThreadBoard>();
  std::unique_ptr<Position> pos = std::make_unique<Position>();
  Fixture(const std::string& field, int side, int32_t enPassant = NoSquare) {
    buildTestPosition(pos.get(), board.get(), field, side, 0, enPassant);
  }
  bool plausible(const char* text) const { return isPlausibleMove(pos.get(), move(text)); }
  static Move move(const char* text) { return makeMove16(squareOf(text), squareOf(text + 2)); }
  // Pops the node's stack into texts, top (tried first) first.
  std::vector<std::string> stacked() {
    std::vector<std::string> out;
    while (!moveStackEmpty(pos.get())) out.push_back(moveText(popMove(pos.get())));
    return out;
  }
};

TEST(Plausibility, PiecesByTheirPatterns) {
  Fixture f("4k3/8/8/8/8/2n5/8/R2NK2R", White);
  EXPECT_TRUE(f.plausible("d1c3"));   // knight takes knight
  EXPECT_TRUE(f.plausible("a1a8"));   // open file
  EXPECT_FALSE(f.plausible("a1e1"));  // blocked by the knight on d1... and own king
  EXPECT_FALSE(f.plausible("h1e1"));  // own king on the target
  EXPECT_FALSE(f.plausible("d1d3"));  // not a knight step
  EXPECT_FALSE(f.plausible("c3d1"));  // Black's piece, White to move
  EXPECT_FALSE(f.plausible("b1b2"));  // empty from-square
  EXPECT_FALSE(isPlausibleMove(f.pos.get(), noMove));
}

TEST(Plausibility, PawnRules) {
  Fixture f("4k3/8/8/8/3p4/1n6/PP6/4K3", White);
  EXPECT_TRUE(f.plausible("a2a3"));
  EXPECT_TRUE(f.plausible("a2a4"));
  EXPECT_TRUE(f.plausible("a2b3"));   // capture
  EXPECT_FALSE(f.plausible("b2b3"));  // push onto a piece
  EXPECT_FALSE(f.plausible("b2b4"));  // double push over a piece
  EXPECT_FALSE(f.plausible("a2a1"));  // backwards
  Fixture black("4k3/8/8/8/8/8/p7/4K3", Black);
  EXPECT_TRUE(black.plausible("a2a1"));
  // An under-promotion byte belongs to a pawn reaching the last rank only.
  EXPECT_TRUE(isPlausibleMove(black.pos.get(), makeMove16(squareOf("a2"), underPromotionByte(0, PromoteKnight, Black))));
  Fixture king("8/4K3/8/8/8/8/8/k7", White);
  EXPECT_TRUE(king.plausible("e7e8"));
  EXPECT_FALSE(isPlausibleMove(king.pos.get(), makeMove16(squareOf("e7"), underPromotionByte(squareOf("e8"), PromoteRook, White))));
}

TEST(Plausibility, EnPassantOnlyWhenValid) {
  Fixture valid("4k3/8/8/3pP3/8/8/8/4K3", White, squareOf("d6"));
  EXPECT_TRUE(valid.plausible("e5d6"));
  Fixture stale("4k3/8/8/3pP3/8/8/8/4K3", White);
  EXPECT_FALSE(stale.plausible("e5d6"));
}

// Black's rook on e8 threatens White's queen on e2, the threat known to the
// node.
void threatenQueen(Fixture* f) {
  f->pos->threatMove = Fixture::move("e8e2");
  f->pos->threatenedPiece = squareAt(f->board.get(), squareOf("e2"));
  f->pos->searchFlags |= SearchThreatKnown;
}

TEST(ThreatAnswers, MoveTakeOrBlock) {
  Fixture f("k3r3/8/8/8/8/8/4Q3/1R4K1", White);
  threatenQueen(&f);
  EXPECT_TRUE(answersThreat(f.pos.get(), Fixture::move("e2d2")));   // the queen moves
  EXPECT_TRUE(answersThreat(f.pos.get(), Fixture::move("e2e8")));   // takes the rook
  EXPECT_FALSE(answersThreat(f.pos.get(), Fixture::move("b1e1")));  // behind the queen, not between
  EXPECT_FALSE(answersThreat(f.pos.get(), Fixture::move("b1b5")));  // off the line
  EXPECT_FALSE(answersThreat(f.pos.get(), Fixture::move("g1h1")));  // ignores it
  Fixture g("k3r3/8/8/8/8/8/4Q3/3R2K1", White);
  threatenQueen(&g);
  EXPECT_FALSE(answersThreat(g.pos.get(), Fixture::move("d1d5")));  // beside the line
}

TEST(ThreatAnswers, InterpositionOnTheLine) {
  // A move landing between rook and queen blocks the threat, one landing
  // behind the queen does not (the from-squares are empty: only the target
  // square counts).
  Fixture g("k3r3/8/8/8/8/8/4Q3/6K1", White);
  threatenQueen(&g);
  EXPECT_TRUE(answersThreat(g.pos.get(), makeMove16(squareOf("a5"), squareOf("e5"))));
  EXPECT_TRUE(answersThreat(g.pos.get(), makeMove16(squareOf("h3"), squareOf("e3"))));
  EXPECT_FALSE(answersThreat(g.pos.get(), makeMove16(squareOf("h1"), squareOf("e1"))));
}

TEST(RecapturePushes, FirstTwoAttackersInListOrder) {
  // Black's knight just took on d5; White's pawn c4, knight f4 and queen
  // d1 all attack it. List order (pawns first, then knights, ..., queen)
  // makes c4 and f4 the two; c4 is tried first.
  Fixture f("4k3/8/8/3n4/2P2N2/8/8/3QK3", White);
  pushCapturesOnto(f.pos.get(), squareOf("d5"));
  std::vector<std::string> expected = {"c4d5", "f4d5"};
  EXPECT_EQ(f.stacked(), expected);
}

TEST(RecapturePushes, NothingOntoAnEmptyOrOwnSquare) {
  Fixture f("4k3/8/8/8/2P2N2/8/8/3QK3", White);
  pushCapturesOnto(f.pos.get(), squareOf("d5"));
  pushCapturesOnto(f.pos.get(), squareOf("f4"));
  EXPECT_TRUE(f.stacked().empty());
}

TEST(History, CountersHalveOncePastTheLimit) {
  for (auto& row : historyTable)
    for (int32_t& c : row) c = 0;
  addHistory(WhiteKnight, squareOf("f3"), 20000);
  addHistory(BlackPawn, squareOf("e5"), 4000);
  EXPECT_EQ(historyTable[WhiteKnight][squareOf("f3")], 20000);
  addHistory(WhiteKnight, squareOf("f3"), 10001);  // 30001: past the limit
  EXPECT_EQ(historyTable[WhiteKnight][squareOf("f3")], 15000);
  EXPECT_EQ(historyTable[BlackPawn][squareOf("e5")], 2000);
  EXPECT_EQ(historyHalving, 0);
  for (auto& row : historyTable)
    for (int32_t& c : row) c = 0;
}

TEST(PrincipalVariation, CopiesEighteenMovesBehindTheMove) {
  Move line[PvLength + 4];
  for (int32_t i = 0; i < PvLength + 3; ++i) line[i] = makeMove16(i & 0x77, (i + 1) & 0x77);
  line[PvLength + 3] = noMove;
  Move pv[PvLength];
  setPv(pv, makeMove16(0x10, 0x20), line);
  EXPECT_EQ(pv[0], makeMove16(0x10, 0x20));
  for (int32_t i = 0; i < PvCopyLength; ++i) EXPECT_EQ(pv[i + 1], line[i]);
  EXPECT_EQ(pv[PvCopyLength + 1], noMove);
  setPv(pv, makeMove16(0x10, 0x20), nullptr);
  EXPECT_EQ(pv[1], noMove);
}

TEST(AttackData, SavedDataComeBackAndTheRecordIsFreed) {
  Fixture f("4k3/8/8/8/8/8/4P3/4K3", White);
  ThreadBoard* board = f.board.get();
  board->evalBlock.openFileBonus = 17;
  board->slots[WhiteFirstPawnSlot].currentValue = 61;
  AttackData* record = claimAttackData(board);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->owner.load(), board);
  // An evaluation of the child changes the board's data...
  board->evalBlock.openFileBonus = 99;
  board->slots[WhiteFirstPawnSlot].currentValue = 70;
  restoreAttackData(record, board);
  // ...and the restore brings the parent's back.
  EXPECT_EQ(board->evalBlock.openFileBonus, 17);
  EXPECT_EQ(board->slots[WhiteFirstPawnSlot].currentValue, 61);
  EXPECT_EQ(record->owner.load(), nullptr);
}

TEST(AttackData, ExhaustedPoolGivesNoRecord) {
  freeAttackDataPool();
  auto board = std::make_unique<ThreadBoard>();
  initBoard(board.get());
  for (int32_t i = 0; i < AttackDataRecords; ++i) ASSERT_NE(claimAttackData(board.get()), nullptr) << i;
  EXPECT_EQ(claimAttackData(board.get()), nullptr);
  // One record freed is found again by the scan.
  restoreAttackData(&attackDataPool[AttackDataRecords / 2], board.get());
  EXPECT_EQ(claimAttackData(board.get()), &attackDataPool[AttackDataRecords / 2]);
  freeAttackDataPool();
  EXPECT_NE(claimAttackData(board.get()), nullptr);
  freeAttackDataPool();
}

}  // namespace

namespace {

TEST(MoveOrder, StackedMovesFirstAndEachMoveOnce) {
  // A lone king: five moves. e1e2 is pushed twice (as a killer and as the
  // hash move would be), e1d1 once; each is searched once, stacked ones
  // first (last pushed first).
  Fixture f("4k3/8/8/8/8/8/8/4K3", White);
  pushMove(f.pos.get(), Fixture::move("e1e2"));
  pushMove(f.pos.get(), Fixture::move("e1d1"));
  pushMove(f.pos.get(), Fixture::move("e1e2"));
  TakenMoves taken{};
  taken.stackPhase = true;
  std::vector<std::string> order;
  for (;;) {
    bool fromStack = false;
    Move m = takeNextMove(f.pos.get(), &taken, false, &fromStack);
    if (m == noMove) break;
    if (!fromStack && taken.contains(m)) continue;
    order.push_back(moveText(m));
  }
  ASSERT_EQ(order.size(), 5u);
  EXPECT_EQ(order[0], "e1e2");
  EXPECT_EQ(order[1], "e1d1");
  std::sort(order.begin(), order.end());
  std::vector<std::string> expected = {"e1d1", "e1d2", "e1e2", "e1f1", "e1f2"};
  EXPECT_EQ(order, expected);
}

}  // namespace
