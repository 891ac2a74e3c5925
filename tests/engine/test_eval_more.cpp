// The evaluator stages on their own (with the pawn control flags standing
// in for the influence passes): colour-mirror symmetry over random
// positions, including king safety with queens on, passed pawns at the
// bounds of the rule, and the trapped-piece
// patterns every player knows (a bishop on a7 shut in by b6, a knight
// on a8, a rook boxed in by its own pawns or by its own king).
#include <gtest/gtest.h>

#include <random>

#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/eval_positions.h"
#include "helpers/random_positions.h"

using namespace engine;
using testing_board::squareOf;
using testing_eval::buildEvalPosition;
using testing_eval::EvalPosition;

namespace {

// Runs only the pawn-file analysis, with the queen-free rank table.
void analyseOnly(EvalPosition& ep) {
  ThreadBoard* board = ep.board.get();
  board->evalBlock.openFileCount = countOpenFiles(board);
  board->evalBlock.passedRankTable = middlegameRankTable1;
  analysePawnFiles(board, MiddlegamePathFactor, MiddlegameOpenFileAmount);
}

// Stage 1 of the evaluation with more material (it sets the marks read
// below).
EvalContext classify(EvalPosition& ep) {
  EvalContext ctx{};
  ctx.board = ep.board.get();
  ctx.stateFlags = &ep.pos->stateFlags;
  ctx.clock = ep.pos->halfMoveClock;
  ctx.side = ep.pos->side;
  classifyMiddlegame(ctx);
  return ctx;
}

}  // namespace

// Passed pawns at the bounds of the rule: a pawn on a neighbouring file
// two ranks ahead stops it, one that stands diagonally in front (it
// attacks the pawn now, it cannot stop it later) does not.
TEST(PawnFiles, PassedLimitIgnoresAPawnDiagonallyInFront) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/3p4/4P3/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_GE(4, pawnFile(ep.board.get(), White, 4).passedLimit);  // e5 passed
  buildEvalPosition(ep, "4k3/3p4/8/4P3/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_LT(4, pawnFile(ep.board.get(), White, 4).passedLimit);  // d7 stops it
  // Black's d7 pawn: the White e5 pawn two ranks ahead on the
  // neighbouring file stops it too.
  EXPECT_GT(6, pawnFile(ep.board.get(), Black, 3).passedLimit);
  buildEvalPosition(ep, "4k3/3p4/4P3/8/8/8/8/4K3", White);
  analyseOnly(ep);
  EXPECT_LE(6, pawnFile(ep.board.get(), Black, 3).passedLimit);  // e6 attacks d7: still passed
  EXPECT_EQ(pawnFile(ep.board.get(), White, 4).highestPawnRank, 5);
  EXPECT_EQ(pawnFile(ep.board.get(), White, 3).highestPawnRank, 0);
  EXPECT_EQ(pawnFile(ep.board.get(), Black, 3).lowestPawnRank, 6);
}

// The rook a king shuts in on its own side: the one nearest the king among
// the rooks beside their own pawns; none when a rook stands on a file free
// of its own pawns, from where it gets out.
TEST(BoxedRook, RookBesideItsPawnIsBoxedUnlessAnOpenFileFreesIt) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/8/8/6PP/5K1R", White);
  EXPECT_EQ(findBoxedRook(ep.board.get(), squareOf("h1"), squareOf("e1"), White), squareOf("h1"));
  // Nearest to the king wins.
  buildEvalPosition(ep, "4k3/8/8/8/8/8/6PP/5KRR", White);
  EXPECT_EQ(findBoxedRook(ep.board.get(), squareOf("h1"), squareOf("e1"), White), squareOf("g1"));
  // A rook on a file without own pawns ends the walk: none boxed.
  buildEvalPosition(ep, "4k3/8/8/8/8/8/7P/5KRR", White);
  EXPECT_EQ(findBoxedRook(ep.board.get(), squareOf("h1"), squareOf("e1"), White), squareOf("e1"));
  buildEvalPosition(ep, "4k3/8/8/8/8/8/PP6/RR2K3", White);
  EXPECT_EQ(findBoxedRook(ep.board.get(), squareOf("a1"), squareOf("e1"), White), squareOf("b1"));
}

TEST(MiddlegameMirror, MirroredPositionsScoreTheNegatedValue) {
  std::mt19937 rng(20261208);
  int32_t compared = 0, middlegames = 0, shelteredWithQueens = 0;
  for (int32_t i = 0; i < 3000; ++i) {
    testing_board::RandomPosition p = testing_board::randomPosition(rng);
    int32_t clock = i % 3 == 0 ? int32_t(rng() % 120) : 0;
    testing_eval::MirrorPair pair = testing_eval::mirrorPair(p.field, p.side, p.castling, clock);
    if (!pair.compared) continue;
    ++compared;
    EvalPosition ep;
    buildEvalPosition(ep, p.field, p.side);
    if (ep.board->materialSum > middlegameThreshold) {
      ++middlegames;
      // Storm, shelter and king-zone terms run with queens and a shelter.
      classify(ep);
      const EvalBlock& block = ep.board->evalBlock;
      if (block.queensOnBoardMark && block.kingShelterSquare[0] != NoShelterSquare) ++shelteredWithQueens;
    }
    EXPECT_LE(std::abs(pair.score + pair.mirrorScore), pair.tolerance)
        << p.field << " side " << p.side << " castling " << p.castling << " clock " << clock;
  }
  EXPECT_GE(compared, 300);
  EXPECT_GE(middlegames, 100);
  EXPECT_GE(shelteredWithQueens, 50);
}

// Every trapped-piece pattern on a board holding just its pawns: exactly one
// entry of all six tables changes, by the amount given. A pattern's pawn
// that an enemy pawn attacks lifts it, and the rook pattern needs both its
// pawns: then nothing changes.
TEST(TrappedPieces, SixteenPatternsEachChargeOneEntry) {
  struct Case {
    const char* field;
    int32_t block, colour;
    const char* square;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/1P6/8/4K3", BishopBlock, Black, "a2"}, {"4k3/8/8/8/8/6P1/8/4K3", BishopBlock, Black, "h2"},
      {"4k3/8/1p6/8/8/8/8/4K3", BishopBlock, White, "a7"}, {"4k3/8/6p1/8/8/8/8/4K3", BishopBlock, White, "h7"},
      {"4k3/8/8/8/1P6/8/8/4K3", BishopBlock, Black, "a3"}, {"4k3/8/8/8/6P1/8/8/4K3", BishopBlock, Black, "h3"},
      {"4k3/8/8/1p6/8/8/8/4K3", BishopBlock, White, "a6"}, {"4k3/8/8/6p1/8/8/8/4K3", BishopBlock, White, "h6"},
      {"4k3/8/8/8/8/8/P7/4K3", KnightBlock, Black, "a1"}, {"4k3/8/8/8/8/8/7P/4K3", KnightBlock, Black, "h1"},
      {"4k3/p7/8/8/8/8/8/4K3", KnightBlock, White, "a8"}, {"4k3/7p/8/8/8/8/8/4K3", KnightBlock, White, "h8"},
      {"4k3/8/8/8/8/P7/1P6/4K3", RookBlock, White, "a2"}, {"4k3/8/8/8/8/7P/6P1/4K3", RookBlock, White, "h2"},
      {"4k3/1p6/p7/8/8/8/8/4K3", RookBlock, Black, "a7"}, {"4k3/6p1/7p/8/8/8/8/4K3", RookBlock, Black, "h7"},
      // The c4 pawn attacks b3; a3 without b2.
      {"4k3/8/8/8/2p5/1P6/8/4K3", -1, 0, nullptr}, {"4k3/8/8/8/8/P7/8/4K3", -1, 0, nullptr},
  };
  for (const Case& c : cases) {
    EvalPosition ep;
    buildEvalPosition(ep, c.field, White);
    ThreadBoard* board = ep.board.get();
    testing_eval::setPawnControlFlags(board);
    const int32_t amount = c.block == RookBlock ? 360 : 130;
    applyTrappedPieces(board, amount);
    int32_t changed = 0;
    for (const auto& table : board->evalBlock.pieceSquare)
      for (int16_t entry : table) changed += entry != 0;
    EXPECT_EQ(changed, c.block < 0 ? 0 : 1) << c.field;
    if (c.block >= 0) {
      EXPECT_EQ(tableEntry(board, c.block, c.colour, squareOf(c.square)), -amount) << c.field;
    }
  }
}

