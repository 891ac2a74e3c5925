// Make and unmake beyond the perft walk: the child's incremental static
// value with isolated-pawn weights, the open-file bonus and pawn terms set by
// hand, the fifty-move drift that a pawn move settles, the two draw rules
// that end a child (the 100-ply clock and six reversing moves), the marks of
// captures (a captured king, no material left, no mating material). Castling,
// en passant, the null move's key and the other board changes of make and
// unmake (unmake restoring every field, with weights given) are left to the
// perft walk and the hash tests.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "engine/board/makemove.h"
#include "engine/board/setup.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/board/pawn_files.h"
#include "engine/search/search.h"
#include "helpers/board_builder.h"

using namespace engine;
using testing_board::squareOf;

namespace {

// A board, its root (ply 0) and the plies below it. Piece-square tables are
// zero, so a piece's current value is its base value (pawn 52, rook 350).
struct Line {
  std::unique_ptr<ThreadBoard> board = std::make_unique<ThreadBoard>();
  std::unique_ptr<std::array<Position, 10>> plies = std::make_unique<std::array<Position, 10>>();
  int32_t played = 0;

  Line(const char* field, int32_t side, uint32_t castling = 0, int32_t clock = 0) {
    testing_board::buildTestPosition(&root(), board.get(), field, side, castling);
    root().halfMoveClock = clock;
    root().staticValue = 37;
    evalOffset.store(1);
  }
  Position& root() { return (*plies)[0]; }
  Position& last() { return (*plies)[played]; }
  PieceRecord* on(const char* square) { return squareAt(board.get(), squareOf(square)); }
  int32_t pawns(int32_t colour, int32_t file) { return pawnsOnFile(sideRecordOf(board.get(), colour), file); }

  // Plays from..to after the last move played; returns the child.
  Position& play(const char* from, const char* to) {
    Position& parent = last();
    ++played;
    makeMove(&parent, makeMove16(squareOf(from), squareOf(to)), &last());
    return last();
  }
  void unmakeAll() {
    for (; played > 0; --played) unmakeMove(&last());
  }
};

}  // namespace

// c4xd5 with White's isolation weight 10, Black's 20, an open-file bonus of
// 25 and Black pawn terms of 3 and 4 on d5, from a parent value of 37 and an
// offset of 1: 1 + 52 - 37 - 52 (the pawn's value is unchanged), - 52 (the
// d5 pawn), + 20 (Black's isolated d-pawn is gone) + 25 (the d8 rook's file
// opens), - 7 (d5's pawn terms), - 10 - 25 (White's pawn joins c4 beside d:
// no longer isolated; the d-file closes again) and - 15 (c4 leaves: d5 is
// isolated now, -10, and the c1 rook's file opens, +25): -100 for Black.
TEST(MakeMove, ValueFollowsPawnFilesOpenFilesAndPawnTerms) {
  Line line("3rk3/8/8/3p4/2P5/8/8/2R1K3", White);
  EvalBlock& block = line.board->evalBlock;
  for (int32_t file = 0; file < FileCount; ++file) {
    block.isolatedPawnSingle[1][file] = 10;
    block.isolatedPawnSingle[0][file] = 20;
    block.isolatedPawnSeveral[1][file] = 30;
    block.isolatedPawnSeveral[0][file] = 40;
  }
  block.openFileBonus = 25;
  line.board->black.pawnTerms[squareOf("d5")] = 3;
  line.board->black.pawnTerms[squareOf("d5") + 8] = 4;
  line.board->white.pawnTerms[squareOf("c4")] = 6;
  line.board->white.pawnTerms[squareOf("c5")] = 2;

  PieceRecord* whiteRook = line.on("c1");
  PieceRecord* blackRook = line.on("d8");
  const int32_t pieces = line.board->pieceCount;
  EXPECT_EQ(line.play("c4", "d5").staticValue, -100);
  EXPECT_EQ(whiteRook->currentValue, 375);
  EXPECT_EQ(blackRook->currentValue, 350);
  EXPECT_EQ(line.pawns(White, 2) * 10 + line.pawns(White, 3), 1);
  EXPECT_EQ(line.pawns(Black, 3), 0);
  EXPECT_EQ(line.board->pieceCount, pieces - 1);
  line.unmakeAll();

  // A rook reaching an open file: 1 + 350 - 37 - 350, then 25 less.
  EXPECT_EQ(line.play("c1", "b1").staticValue, -61);
  line.unmakeAll();

  // A pawn step pays its pawn terms: 1 + 52 - 37 - 52 + 6 - 2. A pending
  // fifty-move drift of 30 is settled by it: taken from the engine's side,
  // given to the other; a quiet piece move leaves it pending.
  EXPECT_EQ(line.play("c4", "c5").staticValue, -32);
  line.unmakeAll();
  line.root().stateFlags |= StateDriftPending;
  line.board->fiftyMoveDrift = 30;
  for (int32_t engine : {White, Black}) {
    engineSide = engine;
    Position& pushed = line.play("c4", "c5");
    EXPECT_EQ(pushed.staticValue, engine == White ? -62 : -2);
    EXPECT_EQ(pushed.stateFlags & StateDriftPending, 0u);
    line.unmakeAll();
  }
  Position& moved = line.play("c1", "b1");
  EXPECT_EQ(moved.staticValue, -61);
  EXPECT_NE(moved.stateFlags & StateDriftPending, 0u);
  line.unmakeAll();
}

TEST(MakeMove, ClockAndShufflingEndAChild) {
  // A quiet piece move reaching 100 plies marks the side to move in the
  // child as unable to win; 99 marks nothing.
  {
    Line white("6n1/4k3/8/8/8/8/4K3/6N1", White, 0, 99);
    EXPECT_EQ(white.play("g1", "f3").stateFlags & (StateWhiteCannotWin | StateBlackCannotWin), StateBlackCannotWin);
    Line black("6n1/4k3/8/8/8/8/4K3/6N1", Black, 0, 99);
    EXPECT_EQ(black.play("g8", "f6").stateFlags & (StateWhiteCannotWin | StateBlackCannotWin), StateWhiteCannotWin);
    Line early("6n1/4k3/8/8/8/8/4K3/6N1", Black, 0, 98);
    EXPECT_EQ(early.play("g8", "f6").stateFlags & (StateWhiteCannotWin | StateBlackCannotWin), 0u);
  }
  // Both kings step back and forth: from the third ply each move takes back
  // the mover's previous one, and the sixth such move ends the line drawn.
  Line kings("4k3/8/8/8/8/8/8/4K3", White);
  const char* steps[8][2] = {{"e1", "d1"}, {"e8", "d8"}, {"d1", "e1"}, {"d8", "e8"},
                             {"e1", "d1"}, {"e8", "d8"}, {"d1", "e1"}, {"d8", "e8"}};
  const int32_t counts[8] = {0, 0, 1, 2, 3, 4, 5, 6};
  for (int32_t i = 0; i < 8; ++i) {
    Position& child = kings.play(steps[i][0], steps[i][1]);
    EXPECT_EQ(child.shuffleCount, counts[i]) << i;
    EXPECT_EQ((child.stateFlags & StateFinal) != 0, i == 7) << i;
  }
  EXPECT_EQ(kings.last().staticValue, 0);
  // A knight returning onto the line the rook has just crossed does not
  // count; back onto a square off that line it does.
  for (const char* rookTo : {"h1", "a2"}) {
    Line knight("4k3/8/8/8/8/8/4K3/r5N1", White, 0, 10);
    knight.play("g1", "f3");
    knight.play("a1", rookTo);
    EXPECT_EQ(knight.play("f3", "g1").shuffleCount, rookTo[0] == 'a' ? 1 : 0) << rookTo;
  }
}

TEST(MakeMove, CapturesSetTheirMarks) {
  // A captured king ends the line, lost for its side.
  Line king("R3k3/8/8/8/8/8/8/4K3", White);
  Position& kingless = king.play("a8", "e8");
  EXPECT_EQ(kingless.staticValue, -9999);
  EXPECT_NE(kingless.stateFlags & StateFinal, 0u);

  // Two knights against a bare king cannot mate; a Black pawn to play
  // against lets them. The material left is not zero.
  struct Marks {
    const char* field;
    uint32_t marks;
  };
  for (const Marks& c : {Marks{"4k3/8/4r3/8/3N1N2/8/8/4K3", StateWhiteCannotWin | StateBlackCannotWin},
                         Marks{"4k3/p7/4r3/8/3N1N2/8/8/4K3", 0u}}) {
    Line knights(c.field, White);
    Position& child = knights.play("d4", "e6");
    EXPECT_EQ(child.stateFlags & (StateWhiteCannotWin | StateBlackCannotWin), c.marks) << c.field;
    EXPECT_EQ(child.searchFlags & SearchMaterialToZero, 0u);
  }

  // The last piece taken, or a pawn promoting with none on the board: no
  // material before. A capturing promotion leaves no pawn on either file.
  Line last("4k3/8/8/3n4/4P3/8/8/4K3", White);
  EXPECT_NE(last.play("e4", "d5").searchFlags & SearchMaterialToZero, 0u);
  Line promotion("1r2k3/P7/8/8/8/8/8/4K3", White);
  Position& queened = promotion.play("a7", "b8");
  EXPECT_EQ(queened.searchFlags & (SearchMaterialToZero | SearchSpecialMove), SearchMaterialToZero | SearchSpecialMove);
  EXPECT_EQ(promotion.pawns(White, 0) + promotion.pawns(White, 1), 0);
  EXPECT_EQ(promotion.board->materialSum, promotion.board->kinds[WhiteQueen].value);
  Line bare("4k3/P7/8/8/8/8/8/4K3", White);
  EXPECT_NE(bare.play("a7", "a8").searchFlags & SearchMaterialToZero, 0u);
}

