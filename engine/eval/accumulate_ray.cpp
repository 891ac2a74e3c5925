// The ray walk that turns per-square line values into the square values of
// queens, rooks and bishops: each square of a line receives, per colour,
// what the squares behind it on that line are worth to a slider.
#include "engine/eval/eval_terms.h"

namespace engine {

namespace {

// A carry passing a damping square keeps 49/64 of itself (rounded, floor on
// negatives).
constexpr int32_t DampFactor = 49;

inline int32_t damped(int32_t carry) { return (DampFactor * carry + 32) >> 6; }

}  // namespace

int32_t accumulateRay(ThreadBoard* board, int32_t square, int32_t step, int32_t direction) {
  EvalBlock& block = board->evalBlock;
  const int32_t lineBlock = direction < 4 ? RookBlock : BishopBlock;
  // The carries stay 32-bit and unwrapped; only the table entries wrap.
  int32_t whiteCarry = 0, blackCarry = 0;
  int32_t behind = square;
  int32_t ahead = square + step;
  while (isOnBoard(ahead)) {
    int32_t white = block.lineInfluenceMap[behind];
    int32_t black = block.lineInfluenceMap[behind + BlackTableOffset];
    uint16_t flags = block.controlFlagMap[behind];
    // A pawn that no enemy pawn attacks cuts off everything behind it, but
    // its own square still counts.
    if (!(flags & (ControlWhitePawnFree | ControlBlackPawnFree))) {
      white += flags & ControlDampWhite ? damped(whiteCarry) : whiteCarry;
      black += flags & ControlDampBlack ? damped(blackCarry) : blackCarry;
    }
    addEntry(board, lineBlock, White, ahead, white);
    addEntry(board, lineBlock, Black, ahead, black);
    addEntry(board, QueenBlock, White, ahead, white);
    addEntry(board, QueenBlock, Black, ahead, black);
    whiteCarry = white;
    blackCarry = black;
    behind = ahead;
    ahead += step;
  }
  return ahead;
}

}  // namespace engine
