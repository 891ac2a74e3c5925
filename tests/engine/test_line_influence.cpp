// The influence passes and the line pressure: the ray walk reaching every
// line of every square once in each direction, the pawn bits of the control
// flags against the board, and colour-mirror symmetry of every map and
// table the passes write.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"
#include "engine/eval/influence.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/eval_positions.h"
#include "helpers/random_positions.h"

using namespace engine;
using testing_board::squareOf;
using testing_eval::buildEvalPosition;
using testing_eval::EvalPosition;

namespace {

// Stage 1 of the evaluator that the material selects, then its influence
// pass.
void runInfluence(EvalPosition& ep) {
  ThreadBoard* board = ep.board.get();
  EvalContext ctx{};
  ctx.board = board;
  ctx.stateFlags = &ep.pos->stateFlags;
  ctx.clock = ep.pos->halfMoveClock;
  ctx.side = ep.pos->side;
  if (board->materialSum > middlegameThreshold) {
    classifyMiddlegame(ctx);
    computeLineInfluence(board);
  } else {
    classifyEndgame(ctx);
    computeEndgameInfluence(board);
  }
}

int16_t lineValue(EvalPosition& ep, int32_t colour, const char* square) {
  return ep.board->evalBlock.lineInfluenceMap[squareOf(square) + (colour < 0 ? BlackTableOffset : 0)];
}
int16_t knightValue(EvalPosition& ep, int32_t colour, const char* square) {
  return ep.board->evalBlock.knightInfluenceMap[squareOf(square) + (colour < 0 ? BlackTableOffset : 0)];
}

// What the line pressure changes in one entry: after minus before.
int32_t pressureAt(const std::string& field, int32_t block, int32_t colour, const char* square) {
  EvalPosition ep;
  buildEvalPosition(ep, field, White);
  runInfluence(ep);
  const int32_t before = tableEntry(ep.board.get(), block, colour, squareOf(square));
  applyLinePressure(ep.board.get(), MoreMaterialAmounts);
  return tableEntry(ep.board.get(), block, colour, squareOf(square)) - before;
}

// Sets one evaluation word for the life of a test.
struct WordOverride {
  int32_t index, saved;
  WordOverride(int32_t i, int32_t value) : index(i), saved(engineParameters.words[i]) {
    engineParameters.words[i] = value;
  }
  ~WordOverride() { engineParameters.words[index] = saved; }
};

bool sameLine(int32_t a, int32_t b, bool orthogonal) {
  int32_t df = fileOf(b) - fileOf(a), dr = rankOf(b) - rankOf(a);
  if (a == b) return false;
  return orthogonal ? df == 0 || dr == 0 : df == dr || df == -dr;
}

}  // namespace

// ---- The ray walk -------------------------------------------------------

// A carry runs along the rank: a square damping White's carry lowers what
// passes it (Black's runs on), a square with a free pawn cuts both, and the
// squares beyond collect only what starts past the cut.
TEST(AccumulateRay, DampedPastADefendedSquareAndCutOffBehindABlock) {
  EvalPosition ep;
  buildEvalPosition(ep, "4k3/8/8/8/8/8/8/4K3", White);
  ThreadBoard* board = ep.board.get();
  EvalBlock& block = board->evalBlock;
  std::memset(&block, 0, sizeof block);
  const int32_t a1 = squareOf("a1");
  block.lineInfluenceMap[a1] = 64;
  block.lineInfluenceMap[a1 + BlackTableOffset] = 64;
  block.controlFlagMap[squareOf("b1")] = ControlDampWhite;
  block.controlFlagMap[squareOf("d1")] = ControlWhitePawnFree;
  block.lineInfluenceMap[squareOf("e1")] = 5;
  accumulateRay(board, a1, 1, 0);
  auto white = [&](int32_t file) { return tableEntry(board, RookBlock, White, file); };
  auto black = [&](int32_t file) { return tableEntry(board, RookBlock, Black, file); };
  EXPECT_EQ(white(1), 64);
  EXPECT_LT(white(2), white(1));
  EXPECT_GT(white(2), 0);
  EXPECT_EQ(black(2), black(1));
  EXPECT_EQ(white(4), 0);
  EXPECT_EQ(black(4), 0);
  for (int32_t file = 5; file < 8; ++file) EXPECT_EQ(white(file), 5) << file;
  EXPECT_EQ(tableEntry(board, BishopBlock, White, 2), 0);  // a rank feeds no diagonal piece
}

TEST(AccumulateRay, ScheduleReachesEveryLineOnceInEachDirection) {
  EvalPosition ep;
  buildEvalPosition(ep, "3qk3/8/8/8/8/8/8/3QK3", White);
  ThreadBoard* board = ep.board.get();
  EvalBlock& block = board->evalBlock;
  for (int32_t s = 0; s < 128; ++s) {
    if (!isOnBoard(s)) continue;
    std::memset(&block, 0, sizeof block);
    block.lineInfluenceMap[s] = 1;
    block.lineInfluenceMap[s + BlackTableOffset] = 2;
    walkInfluenceRays(board);
    for (int32_t u = 0; u < 128; ++u) {
      if (!isOnBoard(u)) continue;
      int32_t rook = sameLine(s, u, true), bishop = sameLine(s, u, false);
      ASSERT_EQ(tableEntry(board, RookBlock, White, u), rook) << s << " " << u;
      ASSERT_EQ(tableEntry(board, RookBlock, Black, u), 2 * rook) << s << " " << u;
      ASSERT_EQ(tableEntry(board, BishopBlock, White, u), bishop) << s << " " << u;
      ASSERT_EQ(tableEntry(board, QueenBlock, Black, u), 2 * (rook + bishop)) << s << " " << u;
    }
  }
}

// ---- King zones and pins ------------------------------------------------

// An attacker values the squares around the enemy's castled king above the
// same squares far from any king, the more with its queen right in front,
// and the king-safety word at 0 turns that off.
TEST(KingZone, AttackersValueTheSquaresAroundTheCastledKing) {
  const char* field = "3q1rk1/5pp1/8/8/8/8/5PP1/3Q1RK1";
  auto excess = [&](const char* near, const char* far) {
    EvalPosition ep;
    buildEvalPosition(ep, field, White);
    runInfluence(ep);
    EXPECT_EQ(ep.board->evalBlock.kingShelterSquare[1], squareOf("g1"));
    return std::pair<int32_t, int32_t>(lineValue(ep, Black, near) - lineValue(ep, Black, far),
                                       knightValue(ep, Black, near) - knightValue(ep, Black, far));
  };
  // g1: the king's square; h2: held by the king alone; b2/b1 far away.
  for (auto [near, far] : {std::pair{"g1", "b1"}, std::pair{"h2", "b2"}}) {
    auto [line, knight] = excess(near, far);
    EXPECT_GT(line, 0) << near;
    EXPECT_GT(knight, 0) << near;
  }
  // An enemy queen right in front of the zone (g3) raises them further.
  EvalPosition quiet, attacked;
  buildEvalPosition(quiet, "qr4k1/5ppp/8/8/8/8/5P1P/3QR1K1", White);
  buildEvalPosition(attacked, "1r4k1/5ppp/8/8/8/6q1/5P1P/3QR1K1", White);
  runInfluence(quiet);
  runInfluence(attacked);
  for (const char* square : {"g1", "g2", "f2", "h2"})
    EXPECT_GT(lineValue(attacked, Black, square), lineValue(quiet, Black, square)) << square;
  WordOverride off(ParamKingSafety, 0);
  auto [line, knight] = excess("g1", "b1");
  EXPECT_EQ(line, 0);
  EXPECT_EQ(knight, 0);
}

// A knight pinned against its king by a bishop lowers the king and the
// heavy pieces on the squares behind it; a piece that can take the slider
// back (a rook meeting a rook) starts nothing.
TEST(LinePressure, APinAgainstTheKingLowersWhatStandsBehind) {
  const char* pinned = "4k3/8/2n5/1B6/8/8/8/K7";
  for (int32_t block : {KingBlock, QueenBlock, RookBlock}) {
    EXPECT_LT(pressureAt(pinned, block, Black, "e8"), 0) << block;
    EXPECT_LT(pressureAt(pinned, block, Black, "d7"), 0) << block;
  }
  EXPECT_EQ(pressureAt(pinned, KnightBlock, Black, "d7"), 0);
  const char* rooks = "4k3/3r4/8/8/3R4/8/8/3R3K";
  for (const char* square : {"d7", "d8"})
    for (int32_t block : {KingBlock, QueenBlock}) EXPECT_EQ(pressureAt(rooks, block, Black, square), 0) << square;
}

// ---- Colour mirror --------------------------------------------------------

namespace {

uint16_t mirrorFlags(uint16_t flags) {
  uint16_t out = flags & ControlCentre;
  if (flags & ControlWhitePawnAttack) out |= ControlBlackPawnAttack;
  if (flags & ControlBlackPawnAttack) out |= ControlWhitePawnAttack;
  if (flags & ControlDampWhite) out |= ControlDampBlack;
  if (flags & ControlDampBlack) out |= ControlDampWhite;
  if (flags & ControlWhitePawnFree) out |= ControlBlackPawnFree;
  if (flags & ControlBlackPawnFree) out |= ControlWhitePawnFree;
  return out;
}

// Runs both passes on a position and on its colour mirror and compares
// every map and table square by square; returns false on the first
// difference (reported through the test).
bool passesMirror(const std::string& field, uint32_t castling) {
  EvalPosition original, mirrored;
  buildEvalPosition(original, field, White, castling);
  buildEvalPosition(mirrored, testing_eval::mirrorField(field), Black, testing_eval::mirrorCastling(castling));
  for (EvalPosition* ep : {&original, &mirrored}) {
    runInfluence(*ep);
    if (ep->board->materialSum > middlegameThreshold)
      applyLinePressure(ep->board.get(), MoreMaterialAmounts);
    else if (ep->board->materialSum != 0)
      applyLinePressure(ep->board.get(), ReducedMaterialAmounts);
  }
  const EvalBlock& a = original.board->evalBlock;
  const EvalBlock& b = mirrored.board->evalBlock;
  // The pawn bits of the flags, against the squares the pawns attack and
  // the pawns no enemy pawn attacks, worked out from the board.
  EvalPosition reference;
  buildEvalPosition(reference, field, White, castling);
  testing_eval::setPawnControlFlags(reference.board.get());
  constexpr uint16_t PawnBits =
      ControlWhitePawnAttack | ControlBlackPawnAttack | ControlWhitePawnFree | ControlBlackPawnFree;
  for (int32_t s = 0; s < 128; ++s) {
    if (!isOnBoard(s)) continue;
    const int32_t m = s ^ 0x70;
    EXPECT_EQ(a.controlFlagMap[s] & PawnBits, reference.board->evalBlock.controlFlagMap[s]) << field << " square " << s;
    EXPECT_EQ(mirrorFlags(a.controlFlagMap[s]), b.controlFlagMap[m]) << field << " square " << s;
    EXPECT_EQ(a.lineInfluenceMap[s], b.lineInfluenceMap[m + BlackTableOffset]) << field << " square " << s;
    EXPECT_EQ(a.lineInfluenceMap[s + BlackTableOffset], b.lineInfluenceMap[m]) << field << " square " << s;
    EXPECT_EQ(a.knightInfluenceMap[s], b.knightInfluenceMap[m + BlackTableOffset]) << field << " square " << s;
    for (int32_t block = 0; block < PieceSquareBlockCount; ++block) {
      EXPECT_EQ(a.pieceSquare[block][s], b.pieceSquare[block][m + BlackTableOffset]) << field << " block " << block;
      EXPECT_EQ(a.pieceSquare[block][s + BlackTableOffset], b.pieceSquare[block][m]) << field << " block " << block;
    }
    if (::testing::Test::HasFailure()) return false;
  }
  return true;
}

bool hasPieceInPawnSlot(const ThreadBoard* board) {
  for (int32_t slot = 0; slot < SlotCount; ++slot) {
    const PieceRecord& piece = board->slots[slot];
    if (isOnBoard(piece.square) && squareAt(board, piece.square) == &piece &&
        piece.kindCopy.index != slotKindTable[slot])
      return true;
  }
  return false;
}

}  // namespace

TEST(InfluenceMirror, RandomPositions) {
  std::mt19937 rng(20261209);
  int32_t middlegames = 0, endgames = 0;
  for (int32_t i = 0; i < 1500; ++i) {
    testing_board::RandomPosition p = testing_board::randomPosition(rng);
    EvalPosition ep;
    buildEvalPosition(ep, p.field, White);
    // A promoted piece takes a pawn slot, so the two lists no longer run in
    // mirrored order, and the first defender of a king-zone square may differ.
    if (hasPieceInPawnSlot(ep.board.get())) continue;
    ASSERT_TRUE(passesMirror(p.field, p.castling)) << p.field;
    (ep.board->materialSum > middlegameThreshold ? middlegames : endgames) += 1;
  }
  EXPECT_GE(middlegames, 200);
  EXPECT_GE(endgames, 200);
}
