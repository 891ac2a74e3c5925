// The influence pass of the evaluation with more material: control flags,
// and per colour a line value and a knight value on every square (with the
// king-safety weights around each shelter square), then the knight pass and
// the ray walks that turn them into knight, queen, rook and bishop entries.
#include <algorithm>

#include "engine/eval/eval_terms.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/eval/influence.h"
#include "engine/control/control.h"

namespace engine {

namespace {

// A queen on the board is a target worth a little to the other side's
// line pieces wherever it stands.
constexpr int32_t QueenTargetBonus = 5;

// The seeding weights: percentages of the current word 21 (read at each
// call, as is word 18 for the king zones), and the derived pawn-target bonus.
struct SeedWeights {
  int32_t sliderBase;
  int32_t knightExtra;
  int32_t homeEdge;
  int32_t pawnAttackCut;
  int32_t centreBonus;
  int32_t pawnTargetBonus;
};

SeedWeights seedWeights(bool closeBoard) {
  const int32_t word = engineWord(ParamInfluence);
  SeedWeights w{};
  w.sliderBase = word * (closeBoard ? 3 : 6) / 100;
  w.knightExtra = word * (closeBoard ? 4 : 1) / 100;
  w.homeEdge = word * 3 / 100;
  w.pawnAttackCut = word * 5 / 100;
  w.centreBonus = word * 4 / 100;
  w.pawnTargetBonus = middlegameWeights.pawnTargetBonus;
  return w;
}

bool isLinePieceOrKnight(int32_t code) { return code >= KnightCode && code <= QueenCode; }

// The squares in front of each side's pawn chain that the side still counts
// as its home edge: the first two ranks and the wing squares of the third
// (and fourth) rank.
bool onWhiteHomeEdge(int32_t s) {
  return rankOf(s) <= 1 || s == 0x20 || s == 0x21 || s == 0x26 || s == 0x27 || s == 0x30 || s == 0x37;
}
bool onBlackHomeEdge(int32_t s) {
  return rankOf(s) >= 6 || s == 0x50 || s == 0x51 || s == 0x56 || s == 0x57 || s == 0x40 || s == 0x47;
}
bool isCentre(int32_t s) { return s == 0x33 || s == 0x34 || s == 0x43 || s == 0x44; }

}  // namespace

void computeLineInfluence(ThreadBoard* board) {
  EvalBlock& block = board->evalBlock;
  const bool queensOn = block.queensOnBoardMark != 0;
  const bool compact = queensOn && block.pawnFileSpan <= 5;
  const bool closeBoard = block.crowdedBoardMark != 0 || compact;
  const SeedWeights w = seedWeights(closeBoard);
  const bool wideOpenEnding = block.queenlessEndingMark != 0 && block.openFileCount >= 5;
  const bool centreCounts = (kindOf(board, WhiteQueen).count + kindOf(board, BlackQueen).count) > 0 &&
                            board->materialSum >= heavyMaterialThreshold;

  for (int32_t s = 0; s < PieceSquareEntries; ++s) {
    if (!isOnBoard(s)) continue;
    const PieceRecord* piece = squareAt(board, s);
    const int32_t code = piece->kindCopy.code, colour = piece->colour;

    // Step 1. The base pair for both colours.
    uint16_t flags = 0;
    int32_t whiteLine = w.sliderBase, blackLine = w.sliderBase;
    int32_t whiteKnight = w.knightExtra, blackKnight = w.knightExtra;

    // Step 2. Pawn attacks; a piece defended by its own pawn damps
    // the other side's carry unless an enemy pawn attacks it.
    if (rankOf(s) >= 2 && (pieceOn(board, s - 15, White, PawnCode) || pieceOn(board, s - 17, White, PawnCode)))
      flags = colour == White && isLinePieceOrKnight(code) ? ControlWhitePawnAttack | ControlDampBlack
                                                           : ControlWhitePawnAttack;
    if (rankOf(s) <= 5 && (pieceOn(board, s + 15, Black, PawnCode) || pieceOn(board, s + 17, Black, PawnCode))) {
      flags |= ControlBlackPawnAttack;
      if (!(flags & ControlWhitePawnAttack) && colour == Black && isLinePieceOrKnight(code)) flags |= ControlDampWhite;
      flags &= ~ControlDampBlack;
    }

    // Step 3. Home edges and squares the enemy pawns hold count less, except
    // on a compact board with queens.
    if (!compact) {
      if (onWhiteHomeEdge(s) || wideOpenEnding) {
        whiteLine = w.homeEdge;
        whiteKnight = 1;
      }
      if (flags & ControlBlackPawnAttack) {
        whiteLine -= w.pawnAttackCut;
        whiteKnight = 0;
      }
      if (onBlackHomeEdge(s) || wideOpenEnding) {
        blackLine = w.homeEdge;
        blackKnight = 1;
      }
      if (flags & ControlWhitePawnAttack) {
        blackLine -= w.pawnAttackCut;
        blackKnight = 0;
      }
    }

    // Step 4. The piece on the square: pawns are targets (unless guarded by
    // the reach of their own pawns) and block lines no enemy pawn opens.
    if (code == PawnCode && colour == White) {
      whiteLine = whiteKnight = 0;
      if (!(pawnMark(board, White, s) & SupportMark)) blackLine += w.pawnTargetBonus;
      flags |= ControlDampWhite | ControlDampBlack;
      if (!(flags & ControlBlackPawnAttack)) flags |= ControlWhitePawnFree;
    } else if (code == PawnCode && colour == Black) {
      blackLine = blackKnight = 0;
      if (!(pawnMark(board, Black, s) & SupportMark)) whiteLine += w.pawnTargetBonus;
      flags |= ControlDampWhite | ControlDampBlack;
      if (!(flags & ControlWhitePawnAttack)) flags |= ControlBlackPawnFree;
    } else if (isLinePieceOrKnight(code) && colour == White) {
      if (!(flags & ControlBlackPawnAttack)) flags |= ControlDampWhite;
      if (code == QueenCode) blackLine += QueenTargetBonus;
    } else if (isLinePieceOrKnight(code) && colour == Black) {
      if (!(flags & ControlWhitePawnAttack)) flags |= ControlDampBlack;
      if (code == QueenCode) whiteLine += QueenTargetBonus;
    } else if (code == KingCode) {
      flags |= ControlDampWhite | ControlDampBlack;
    }

    // Step 5. No square is worth less than nothing.
    whiteLine = std::max(whiteLine, 0);
    blackLine = std::max(blackLine, 0);

    // Step 6. The centre, while queens and heavy material are on the board;
    // a pawn that blocks the square keeps it from the other side.
    if (centreCounts && isCentre(s)) {
      flags |= ControlCentre;
      if (!(flags & ControlBlackPawnFree)) whiteLine += w.centreBonus;
      if (!(flags & ControlWhitePawnFree)) blackLine += w.centreBonus;
    }

    // Step 7. Each king's zone adds to the other side's values.
    const ZoneWeight aroundWhite = kingZoneWeight(board, White, s, flags);
    blackLine += aroundWhite.slider;
    blackKnight += aroundWhite.knight;
    const ZoneWeight aroundBlack = kingZoneWeight(board, Black, s, flags);
    whiteLine += aroundBlack.slider;
    whiteKnight += aroundBlack.knight;

    // Step 8. Store the flags and both colours' values.
    block.controlFlagMap[s] = flags;
    block.lineInfluenceMap[s] = int16_t(whiteLine);
    block.lineInfluenceMap[s + BlackTableOffset] = int16_t(blackLine);
    block.knightInfluenceMap[s] = int16_t(whiteLine + whiteKnight);
    block.knightInfluenceMap[s + BlackTableOffset] = int16_t(blackLine + blackKnight);
  }

  spreadKnightInfluence(board);
  walkInfluenceRays(board);
}

}  // namespace engine
