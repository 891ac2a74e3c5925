// The knight pass and the ray schedule of both influence passes.
#include "engine/eval/eval_terms.h"
#include "engine/eval/influence.h"

namespace engine {

namespace {

// Knight steps, both signs of each.
constexpr int32_t KnightSteps[8] = {18, -18, 14, -14, 33, -33, 31, -31};

// Direction indices of the walks (as in directionTable).
constexpr int32_t EastIndex = 0, WestIndex = 1, NorthIndex = 2, SouthIndex = 3;
constexpr int32_t NorthEastIndex = 4, SouthWestIndex = 5, NorthWestIndex = 6, SouthEastIndex = 7;

constexpr int32_t RankCount = 8;

int32_t countBoth(ThreadBoard* board, int32_t code) {
  return kindOf(board, kindIndexOf(code, White)).count + kindOf(board, kindIndexOf(code, Black)).count;
}

// One diagonal of two or more squares in each direction: the walks start
// from the first rank or the a-/h-file (upward) and from the eighth rank or
// the a-/h-file (downward).
void walkDiagonals(ThreadBoard* board) {
  // Up and to the right: a1..g1, then a2..a7.
  for (int32_t file = 0; file < RankCount - 1; ++file) accumulateRay(board, file, 17, NorthEastIndex);
  for (int32_t rank = 1; rank < RankCount - 1; ++rank) accumulateRay(board, rank * 16, 17, NorthEastIndex);
  // Up and to the left: b1..h1, then h2..h7.
  for (int32_t file = 1; file < RankCount; ++file) accumulateRay(board, file, 15, NorthWestIndex);
  for (int32_t rank = 1; rank < RankCount - 1; ++rank) accumulateRay(board, rank * 16 + 7, 15, NorthWestIndex);
  // Down and to the right: a8..g8, then a2..a7.
  for (int32_t file = 0; file < RankCount - 1; ++file) accumulateRay(board, 0x70 + file, -15, SouthEastIndex);
  for (int32_t rank = 1; rank < RankCount - 1; ++rank) accumulateRay(board, rank * 16, -15, SouthEastIndex);
  // Down and to the left: b8..h8, then h2..h7.
  for (int32_t file = 1; file < RankCount; ++file) accumulateRay(board, 0x70 + file, -17, SouthWestIndex);
  for (int32_t rank = 1; rank < RankCount - 1; ++rank) accumulateRay(board, rank * 16 + 7, -17, SouthWestIndex);
}

}  // namespace

void spreadKnightInfluence(ThreadBoard* board) {
  if (countBoth(board, KnightCode) == 0) return;
  const EvalBlock& block = board->evalBlock;
  for (int32_t s = 0; s < PieceSquareEntries; ++s) {
    if (!isOnBoard(s)) continue;
    int32_t white = 0, black = 0;
    for (int32_t step : KnightSteps) {
      int32_t from = s + step;
      if (!isOnBoard(from)) continue;
      white += block.knightInfluenceMap[from];
      black += block.knightInfluenceMap[from + BlackTableOffset];
    }
    addEntry(board, KnightBlock, White, s, white);
    addEntry(board, KnightBlock, Black, s, black);
  }
}

void walkInfluenceRays(ThreadBoard* board) {
  const int32_t queens = countBoth(board, QueenCode);
  // Ranks and files feed the rook and queen tables.
  if (queens + countBoth(board, RookCode) > 0) {
    for (int32_t rank = 0; rank < RankCount; ++rank) {
      accumulateRay(board, rank * 16, 1, EastIndex);
      accumulateRay(board, rank * 16 + 7, -1, WestIndex);
    }
    for (int32_t file = 0; file < RankCount; ++file) {
      accumulateRay(board, file, 16, NorthIndex);
      accumulateRay(board, 0x70 + file, -16, SouthIndex);
    }
  }
  // Diagonals feed the bishop and queen tables.
  if (queens + countBoth(board, BishopCode) > 0) walkDiagonals(board);
}

}  // namespace engine
