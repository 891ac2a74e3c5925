// Stage 2 of the evaluation with reduced material, after the influence
// passes: the king belongs in the centre and beside pawns, passed pawns
// gain with their rank and an escorting king, a defending king outside a
// passer's reach loses (far more in a pure pawn ending), and pawn weaknesses,
// outposts, knights and rooks get the weights of the ending.
#include <cstdlib>

#include "engine/board/geometry.h"
#include "engine/eval/eval_terms.h"
#include "engine/control/control.h"

namespace engine {

namespace {

constexpr int32_t UncoveredSquareCost = 1;
constexpr int32_t ContestedStopGain = 1;
constexpr int32_t SeventhRankRook = 8;
constexpr int32_t OutsideReachCost = 50;
constexpr int32_t DuoStrong = 32, DuoWeak = 16;
constexpr int32_t BlockadeOutpost = 2;
constexpr int32_t OutpostKnight = 31, OutpostBishop = 5;
constexpr int32_t RookBehindPasser = 46;
constexpr int32_t KnightEdge = 43;
constexpr int32_t DoubledPawnCost = 12;
constexpr int32_t CentralKnight = 13;
constexpr int32_t TrappedCost = 360;

bool isCentralKnightSquare(int32_t square) {
  int32_t file = fileOf(square), rank = rankOf(square);
  if (rank == 2 || rank == 5) return file == 3 || file == 4;
  if (rank == 3 || rank == 4) return file >= 2 && file <= 5;
  return false;
}

struct EndgameLoop {
  EvalContext& ctx;
  ThreadBoard* board;
  EvalBlock& block;
  const EndgameWeights& w;
  bool pawnsOnly;  // Z = 0
  int32_t advancement;
  int32_t kingSquare[2];
};

// passerKingTerm of a passed pawn of `colour` on s (ownRank counted from its
// side). In a pure pawn ending a defending king outside the square of the
// pawn loses 50. The four cases of that rule are deliberately not mirrors of
// each other: a Black pawn with White to move uses df > r + 1, where the
// mirror of White's case would be r - 1.
void passerKingTerm(EndgameLoop& loop, int32_t colour, int32_t s, int32_t ownRank, int32_t v) {
  ThreadBoard* board = loop.board;
  const EndgameWeights& w = loop.w;
  int32_t r = rankOf(s), f = fileOf(s);
  int32_t escort = loop.pawnsOnly ? 2 * w.passerEscort : w.passerEscort;
  bool defenderToMove = loop.ctx.side == -colour;
  for (int32_t q = 0; q < 120; ++q) {
    if (!isOnBoard(q)) continue;
    int32_t dr = (rankOf(q) - r) * colour, df = std::abs(fileOf(q) - f);
    if (loop.pawnsOnly) {
      // Behind the pawn (from its side's view): outside its reach?
      int32_t behind = defenderToMove ? -2 : -1;
      int32_t reach;
      if (colour > 0)
        reach = defenderToMove ? 6 - r : 7 - r;
      else
        reach = defenderToMove ? r + 1 : r;
      if (dr <= behind) {
        if (df > reach) {
          addEntry(board, KingBlock, -colour, q, -OutsideReachCost);
          continue;
        }
        if (ownRank <= 3) continue;
      }
    }
    if (ownRank >= 4 && (df > 7 - ownRank || dr <= -2)) {
      addEntry(board, KingBlock, -colour, q, -w.passerKingFar);
    } else if (dr >= 1 && df <= 1) {
      addEntry(board, KingBlock, -colour, q, v);
      addEntry(board, KingBlock, colour, q, escort);
    }
  }
}

// passedPawnTerm of the square loop: a passed pawn of `colour` on s.
void passedPawnTerm(EndgameLoop& loop, int32_t colour, int32_t s) {
  ThreadBoard* board = loop.board;
  const EndgameWeights& w = loop.w;
  int32_t r = rankOf(s), f = fileOf(s);
  int32_t ownRank = colour > 0 ? r : 7 - r;
  int32_t forward = colour > 0 ? 16 : -16;
  int32_t t = loop.block.passedRankTable[ownRank];
  addEntry(board, PawnBlock, colour, s, t);
  if (ownRank >= 3) pawnMark(board, colour, s) |= PassedMark;
  if (pawnMark(board, colour, s) & SupportMark) addEntry(board, PawnBlock, colour, s, w.passedSupported);
  if (f >= 2 && f <= 5) addEntry(board, PawnBlock, colour, s, -w.passedCentreFile);
  int32_t v = (36 * t + 32) >> 6;
  int32_t front = s + forward;
  if (pieceOn(board, s, colour, PawnCode)) {
    passerKingTerm(loop, colour, s, ownRank, v);
    addEntry(board, KnightBlock, -colour, front, v);
    addEntry(board, BishopBlock, -colour, front, v);
  } else if (pieceOn(board, front, -colour, BishopCode) || pieceOn(board, front, -colour, KnightCode) ||
             pieceOn(board, front, -colour, PawnCode)) {
    addEntry(board, PawnBlock, colour, s, -v);
  }
}

void squareStep(EndgameLoop& loop, int32_t s) {
  EvalContext& ctx = loop.ctx;
  ThreadBoard* board = loop.board;
  EvalBlock& block = loop.block;
  const EndgameWeights& w = loop.w;
  const int32_t r = rankOf(s), f = fileOf(s);
  const uint16_t flags = controlFlags(board, s);

  // Step 1. kingCentreTerm: each king drawn to the middle and one rank on.
  addEntry(board, KingBlock, White, s, kingCentreTable[r][f] * w.kingCentre);
  addEntry(board, KingBlock, Black, s, kingCentreTable[r + 2][f] * w.kingCentre);

  // Step 2. promotionEntry: a pawn on the last rank is a queen.
  if (r == 0)
    tableEntry(board, PawnBlock, Black, s) =
        int16_t(tableEntry(board, QueenBlock, Black, s) + kindOf(board, BlackQueen).baseValue);
  if (r == 7)
    tableEntry(board, PawnBlock, White, s) =
        int16_t(tableEntry(board, QueenBlock, White, s) + kindOf(board, WhiteQueen).baseValue);

  if (r >= 1 && r <= 6) {
    // Step 3. Advancement.
    if (r >= 2) addEntry(board, PawnBlock, White, s, ((r - 1) * loop.advancement) >> 2);
    if (r <= 5) addEntry(board, PawnBlock, Black, s, ((6 - r) * loop.advancement) >> 2);
    // Step 4. contestedStopTerm.
    if (block.drawMark == 0) {
      if (pawnMark(board, Black, s + 16) & ContactMark) addEntry(board, PawnBlock, White, s, ContestedStopGain);
      if (pawnMark(board, White, s - 16) & ContactMark) addEntry(board, PawnBlock, Black, s, ContestedStopGain);
    }
    // Step 5. bishopColourTerm.
    if (f >= 1 && f <= 6) {
      int32_t colour = (f + r) & 1;
      if (ctx.bishops[1] == 1) {
        if (colour != block.loneBishopColour[1]) {
          addEntry(board, PawnBlock, White, s, 3);
        } else {
          addEntry(board, PawnBlock, White, s, -4);
          addEntry(board, PawnBlock, Black, s, 1);
        }
      }
      if (ctx.bishops[0] == 1) {
        if (colour == block.loneBishopColour[0]) {
          addEntry(board, PawnBlock, Black, s, -4);
          addEntry(board, PawnBlock, White, s, 1);
        } else {
          addEntry(board, PawnBlock, Black, s, 4);
          addEntry(board, PawnBlock, White, s, -1);
        }
      }
    }
    // Step 6. seventhRankTerm.
    if (r == 6 && rankOf(loop.kingSquare[0]) == 7) addEntry(board, RookBlock, White, s, SeventhRankRook);
    if (r == 1 && rankOf(loop.kingSquare[1]) == 0) addEntry(board, RookBlock, Black, s, SeventhRankRook);
    // Step 7. passedPawnTerm.
    if (r >= pawnFile(board, White, f).passedLimit) passedPawnTerm(loop, White, s);
    if (r <= pawnFile(board, Black, f).passedLimit) passedPawnTerm(loop, Black, s);
  }

  // Step 8. backwardPawnTerm.
  if (!(pawnMark(board, White, s) & SupportMark) &&
      (pawnCountOn(board, White, f - 1) > 0 || pawnCountOn(board, White, f + 1) > 0))
    addEntry(board, PawnBlock, White, s, -block.rookFileTables[0][0][f]);
  if (!(pawnMark(board, Black, s) & SupportMark) &&
      (pawnCountOn(board, Black, f - 1) > 0 || pawnCountOn(board, Black, f + 1) > 0))
    addEntry(board, PawnBlock, Black, s, -block.rookFileTables[1][0][f]);

  bool innerFile = f >= 1 && f <= 6;
  // Step 9. Black's pawn shapes and White's outposts against them.
  if (r <= 5) {
    if (innerFile && r <= 3 && pieceOn(board, s, Black, PawnCode)) {
      int32_t duo = r <= 2 ? DuoStrong : DuoWeak;
      addEntry(board, PawnBlock, Black, s - 1, duo);
      addEntry(board, PawnBlock, Black, s + 1, duo);
    }
    if (innerFile && pieceOn(board, s + 16, Black, PawnCode) && !(pawnMark(board, Black, s) & ReachMark)) {
      addEntry(board, KnightBlock, White, s, BlockadeOutpost);
      addEntry(board, BishopBlock, White, s, BlockadeOutpost);
    }
    if (!(pawnMark(board, White, s) & ReachMark) && (flags & ControlBlackPawnAttack)) {
      if (r <= 4) addEntry(board, KnightBlock, Black, s, OutpostKnight);
      bool shut = (f <= 2 && (controlFlags(board, s + 17) & ControlBlackPawnFree)) ||
                  (f >= 5 && (controlFlags(board, s + 15) & ControlBlackPawnFree));
      if (!shut) addEntry(board, BishopBlock, Black, s, OutpostBishop);
    }
  }
  // Step 10. The mirror image for White.
  if (r >= 2) {
    if (innerFile && r >= 4 && pieceOn(board, s, White, PawnCode)) {
      int32_t duo = r == 4 ? DuoWeak : DuoStrong;
      addEntry(board, PawnBlock, White, s - 1, duo);
      addEntry(board, PawnBlock, White, s + 1, duo);
    }
    if (innerFile && pieceOn(board, s - 16, White, PawnCode) && !(pawnMark(board, White, s) & ReachMark)) {
      addEntry(board, KnightBlock, Black, s, BlockadeOutpost);
      addEntry(board, BishopBlock, Black, s, BlockadeOutpost);
    }
    if (!(pawnMark(board, Black, s) & ReachMark) && (flags & ControlWhitePawnAttack)) {
      if (r >= 3) addEntry(board, KnightBlock, White, s, OutpostKnight);
      bool shut = (f <= 2 && (controlFlags(board, s - 15) & ControlWhitePawnFree)) ||
                  (f >= 5 && (controlFlags(board, s - 17) & ControlWhitePawnFree));
      if (!shut) addEntry(board, BishopBlock, White, s, OutpostBishop);
    }
  }

  // Step 11. rookBehindPasserTerm.
  if (block.openFileCount >= 4) {
    const PawnFileRecord& white = pawnFile(board, White, f);
    int32_t h = white.lowestPawnRank;
    if (h < 7 && h >= white.passedLimit && r < h) addEntry(board, RookBlock, White, s, RookBehindPasser);
    const PawnFileRecord& black = pawnFile(board, Black, f);
    h = black.highestPawnRank;
    if (h > 0 && h <= black.passedLimit && r > h) addEntry(board, RookBlock, Black, s, RookBehindPasser);
  }

  // Step 12. knightEdgeTerm, once per edge.
  int32_t edges = (r == 0 || r == 7 ? 1 : 0) + (f == 0 || f == 7 ? 1 : 0);
  addEntry(board, KnightBlock, White, s, -edges * KnightEdge);
  addEntry(board, KnightBlock, Black, s, -edges * KnightEdge);

  // Step 13. doubledPawnTerm.
  if (pawnCountOn(board, White, f) > 1) addEntry(board, PawnBlock, White, s, -DoubledPawnCost);
  if (pawnCountOn(board, Black, f) > 1) addEntry(board, PawnBlock, Black, s, -DoubledPawnCost);

  // Step 14. centralKnightTerm.
  if (block.openFileCount < 3 && isCentralKnightSquare(s)) {
    addEntry(board, KnightBlock, White, s, CentralKnight);
    addEntry(board, KnightBlock, Black, s, CentralKnight);
  }
}

// kingPawnProximityTerm: a king next to an enemy pawn gains a share of its
// worth, next to its own passed pawn more the further it has gone.
void kingPawnProximityTerm(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  const EndgameWeights& w = endgameWeights;
  for (int32_t colour : {White, Black}) {
    for (PieceRecord* piece = firstPiece(sideRecordOf(board, colour)); piece != boardPiece(board);
         piece = piece->next) {
      if (piece->kindCopy.code != PawnCode) continue;
      int32_t s = piece->square, r = rankOf(s), f = fileOf(s);
      int32_t a = ((tableEntry(board, PawnBlock, colour, s) + piece->kind->baseValue) * w.pawnProximity + 32) >> 6;
      bool passed = colour > 0 ? r >= pawnFile(board, White, f).passedLimit : r <= pawnFile(board, Black, f).passedLimit;
      int32_t c = passed ? w.passerProximity * (colour > 0 ? r : 7 - r) : 0;
      if (a < 1 && c < 1) continue;
      for (int32_t direction = 0; direction < 8; ++direction) {
        int32_t next = s + directionTable[direction];
        if (!isOnBoard(next)) continue;
        addEntry(board, KingBlock, colour, next, c);
        addEntry(board, KingBlock, -colour, next, a);
      }
    }
  }
}

}  // namespace

void endgameSquareTerms(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  EvalBlock& block = board->evalBlock;
  const bool pawnsOnly = board->materialSum == 0;

  // uncoveredSquareTerm: one point per square in front of a side's pawns
  // that an enemy pawn holds and no own pawn can contest.
  if (block.openFileCount <= 4 && !block.oppositeBishopsMark) {
    for (int32_t file = 0; file < 8; ++file) {
      for (int32_t rank = 1; rank <= 3; ++rank) {
        int32_t s = makeSquare(file, rank);
        if ((controlFlags(board, s) & ControlBlackPawnAttack) && pawnFile(board, White, file).highestPawnRank < rank &&
            !(pawnMark(board, White, s) & ReachMark))
          ctx.score -= UncoveredSquareCost;
      }
      for (int32_t rank = 6; rank >= 4; --rank) {
        int32_t s = makeSquare(file, rank);
        if ((controlFlags(board, s) & ControlWhitePawnAttack) && pawnFile(board, Black, file).lowestPawnRank > rank &&
            !(pawnMark(board, Black, s) & ReachMark))
          ctx.score += UncoveredSquareCost;
      }
    }
  }

  // The square loop.
  int32_t k = pawnsOnly || block.oppositeBishopsMark ? 5 : 11;
  EndgameLoop loop{ctx, board, block, endgameWeights, pawnsOnly, engineWord(ParamPawnAdvance) * k / 100, {}};
  loop.kingSquare[1] = board->slots[WhiteKingSlot].square;
  loop.kingSquare[0] = board->slots[BlackKingSlot].square;
  for (int32_t s = 0; s < 120; ++s)
    if (isOnBoard(s)) squareStep(loop, s);

  if (!pawnsOnly && ctx.pawns[0] + ctx.pawns[1] > 0) kingPawnProximityTerm(ctx);
  applyTrappedPieces(board, TrappedCost);
}

}  // namespace engine
