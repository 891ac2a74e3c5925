// The influence pass of the evaluation with reduced material: a flat line
// value on the squares each side's pieces can use in the enemy's half,
// unguarded pawns as targets, then the knight pass and the ray walks. No
// square damps a carry here, so the walks add the full carry.
#include "engine/eval/eval_terms.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/eval/influence.h"
#include "engine/control/control.h"

namespace engine {

namespace {

// Open files make every square alike: no base value at all.
constexpr int32_t OpenBoardFiles = 5;

// Own back ranks and the rook's-file squares in front of the own pawns.
bool onWhiteBackSquares(int32_t s) { return rankOf(s) <= 1 || s == 0x20 || s == 0x27; }
bool onBlackBackSquares(int32_t s) { return rankOf(s) >= 6 || s == 0x50 || s == 0x57; }

}  // namespace

void computeEndgameInfluence(ThreadBoard* board) {
  EvalBlock& block = board->evalBlock;
  const int32_t base = engineWord(ParamInfluence) / 50;
  const int32_t targetBonus = endgameWeights.pawnTargetBonus;
  const bool openBoard = block.openFileCount >= OpenBoardFiles;

  for (int32_t s = 0; s < PieceSquareEntries; ++s) {
    if (!isOnBoard(s)) continue;

    // Step 1. Pawn attacks.
    uint16_t flags = 0;
    if (rankOf(s) >= 2 && (pieceOn(board, s - 15, White, PawnCode) || pieceOn(board, s - 17, White, PawnCode)))
      flags |= ControlWhitePawnAttack;
    if (rankOf(s) <= 5 && (pieceOn(board, s + 15, Black, PawnCode) || pieceOn(board, s + 17, Black, PawnCode)))
      flags |= ControlBlackPawnAttack;

    // Step 2. The base value where the side's pieces gain ground.
    int32_t whiteLine = base, blackLine = base;
    if (onWhiteBackSquares(s) || openBoard || (flags & ControlBlackPawnAttack)) whiteLine = 0;
    if (onBlackBackSquares(s) || openBoard || (flags & ControlWhitePawnAttack)) blackLine = 0;
    int32_t whiteKnight = 0, blackKnight = 0;

    // Step 3. Pawns: targets unless their own pawns can guard them, and
    // blocks of both lines where no enemy pawn attacks them.
    if (pieceOn(board, s, White, PawnCode)) {
      whiteLine = 0;
      if (!(pawnMark(board, White, s) & SupportMark)) {
        blackLine += targetBonus;
        blackKnight = targetBonus;
      }
      if (!(flags & ControlBlackPawnAttack)) flags |= ControlWhitePawnFree;
    } else if (pieceOn(board, s, Black, PawnCode)) {
      blackLine = 0;
      if (!(pawnMark(board, Black, s) & SupportMark)) {
        whiteLine += targetBonus;
        whiteKnight = targetBonus;
      }
      if (!(flags & ControlWhitePawnAttack)) flags |= ControlBlackPawnFree;
    }

    // Step 4. Knight values are the pawn-target bonus alone.
    block.controlFlagMap[s] = flags;
    block.lineInfluenceMap[s] = int16_t(whiteLine);
    block.lineInfluenceMap[s + BlackTableOffset] = int16_t(blackLine);
    block.knightInfluenceMap[s] = int16_t(whiteKnight);
    block.knightInfluenceMap[s + BlackTableOffset] = int16_t(blackKnight);
  }

  spreadKnightInfluence(board);
  walkInfluenceRays(board);
}

}  // namespace engine
