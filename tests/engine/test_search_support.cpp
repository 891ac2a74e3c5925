// Search support tests on hand-built boards: the plausibility test of
// pushed moves against the reference's pseudo-legal moves, the
// threat-answer test, the history table's scaling and the pool of saved
// evaluation data (claim, restore, exhaustion).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/board/board.h"
#include "engine/eval/attack_data.h"
#include "engine/search/search.h"
#include "engine/search/search_support.h"
#include "helpers/board_builder.h"
#include "helpers/random_positions.h"
#include "helpers/reference_moves.h"

using namespace engine;
using testing_board::buildTestPosition;
using testing_board::moveText;
using testing_board::squareOf;

namespace {

constexpr int32_t PlausibilityPositions = 300;

struct Fixture {
  std::unique_ptr<ThreadBoard> board = std::make_unique<ThreadBoard>();
  std::unique_ptr<Position> pos = std::make_unique<Position>();
  Fixture(const std::string& field, int side, int32_t enPassant = NoSquare) {
    buildTestPosition(pos.get(), board.get(), field, side, 0, enPassant);
  }
};

Move move(const char* from, const char* to) { return makeMove16(squareOf(from), squareOf(to)); }

void clearHistory() {
  for (auto& row : historyTable)
    for (int32_t& c : row) c = 0;
}

}  // namespace

// Killers, refutations and hash moves come from other positions; the
// search plays one only when it is plausible here. Plausible must mean a
// pseudo-legal move of the side to move, as the plain reference board
// generates them (castling aside: it is never pushed): every pair of
// squares of random positions, and every under-promotion byte onto the
// last rank, by any piece.
TEST(Plausibility, ExactlyThePseudoLegalMovesOfTheReference) {
  std::mt19937 rng(4242);
  for (int32_t n = 0; n < PlausibilityPositions; ++n) {
    testing_board::RandomPosition rp = testing_board::randomPosition(rng);
    reference::Grid grid = reference::gridFromFen(rp.field, rp.side, rp.castling, rp.ep);
    std::set<Move> pseudoLegal;
    for (const std::vector<Move>& moves : {reference::tacticalMoves(grid), reference::quietMoves(grid)})
      for (Move m : moves) {
        const bool castling = std::toupper(grid.cell[rankOf(moveFrom(m))][fileOf(moveFrom(m))]) == 'K' &&
                              std::abs(moveTo(m) - moveFrom(m)) == 2;
        if (!castling) pseudoLegal.insert(m);
      }
    Fixture f(rp.field, rp.side, rp.ep);
    const int32_t lastRank = rp.side > 0 ? 7 : 0;
    for (int32_t from = 0; from < 128; ++from) {
      if (!isOnBoard(from)) continue;
      for (int32_t to = 0; to < 128; ++to) {
        if (!isOnBoard(to)) continue;
        std::vector<Move> candidates = {makeMove16(from, to)};
        if (rankOf(to) == lastRank)
          for (int32_t piece : {PromoteRook, PromoteBishop, PromoteKnight})
            candidates.push_back(makeMove16(from, underPromotionByte(to, piece, rp.side)));
        for (Move m : candidates)
          ASSERT_EQ(isPlausibleMove(f.pos.get(), m), pseudoLegal.count(m) == 1)
              << rp.field << (rp.side > 0 ? " w " : " b ") << "ep " << rp.ep << ": " << moveText(m);
      }
    }
  }
}

// A threat of Black's rook on e8 against White's queen on e2, known to the
// node: a move answers it when it moves the queen, takes the rook or lands
// between them (only the target square counts, so the from-squares may be
// empty).
TEST(ThreatAnswers, MoveTakeOrBlock) {
  struct Answer {
    const char* field;
    const char* from;
    const char* to;
    bool answers;
    const char* what;
  };
  const Answer cases[] = {
      {"k3r3/8/8/8/8/8/4Q3/1R4K1", "e2", "d2", true, "the queen moves"},
      {"k3r3/8/8/8/8/8/4Q3/1R4K1", "e2", "e8", true, "the queen takes the rook"},
      {"k3r3/8/8/8/8/8/4Q3/6K1", "a5", "e5", true, "between the two"},
      {"k3r3/8/8/8/8/8/4Q3/6K1", "h3", "e3", true, "between the two, next to the queen"},
      {"k3r3/8/8/8/8/8/4Q3/1R4K1", "b1", "e1", false, "behind the queen"},
      {"k3r3/8/8/8/8/8/4Q3/1R4K1", "b1", "b5", false, "off the line"},
      {"k3r3/8/8/8/8/8/4Q3/3R2K1", "d1", "d5", false, "beside the line"},
      {"k3r3/8/8/8/8/8/4Q3/1R4K1", "g1", "h1", false, "elsewhere"},
  };
  for (const Answer& c : cases) {
    Fixture f(c.field, White);
    f.pos->threatMove = move("e8", "e2");
    f.pos->threatenedPiece = squareAt(f.board.get(), squareOf("e2"));
    f.pos->searchFlags |= SearchThreatKnown;
    EXPECT_EQ(answersThreat(f.pos.get(), move(c.from, c.to)), c.answers) << c.what;
  }
}

// Over a long analysis the counters stay bounded: whenever one grows past
// the limit, every counter is scaled down together, so that their order
// stays and none overflows.
TEST(History, CountersAreScaledDownTogether) {
  const int32_t knight = squareOf("f3"), pawn = squareOf("e5"), rook = squareOf("a1");
  clearHistory();
  addHistory(BlackPawn, pawn, 4000);
  addHistory(WhiteRook, rook, 2000);
  int32_t adds = 0;
  while (historyTable[BlackPawn][pawn] == 4000 && adds < 1000) {
    addHistory(WhiteKnight, knight, 1000);
    ++adds;
  }
  EXPECT_LT(historyTable[BlackPawn][pawn], 4000) << "the other counters were not scaled";
  EXPECT_LT(historyTable[WhiteKnight][knight], adds * 1000) << "the counter past the limit was not scaled";
  EXPECT_GT(historyTable[WhiteKnight][knight], historyTable[BlackPawn][pawn]);
  EXPECT_GT(historyTable[BlackPawn][pawn], historyTable[WhiteRook][rook]);
  EXPECT_GT(historyTable[WhiteRook][rook], 0);
  for (int32_t i = 0; i < 1000; ++i) addHistory(WhiteKnight, knight, 1000);
  EXPECT_LT(historyTable[WhiteKnight][knight], 100000) << "the counters were scaled only once";
  clearHistory();
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
