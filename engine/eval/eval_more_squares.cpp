// Stage 2 of the evaluation with more material, after the influence passes:
// the terms that fill the six piece-square tables square by square (pawn
// structure, passed pawns, king shelter and pawn storm, outposts, piece
// placement), then the trapped pieces, the shield files and the castling
// potential. Every square's entries are filled, occupied or not, because
// make and unmake move pieces between entries without evaluating again.
#include <cstdlib>

#include "engine/board/geometry.h"
#include "engine/eval/eval_terms.h"
#include "engine/control/control.h"

namespace engine {

namespace {

constexpr int32_t UncoveredSquareCost = 3;
constexpr int32_t CoveredStopCost = 3;
constexpr int32_t ContestedStopGain = 3;
constexpr int32_t ShelterPawnGain = 5;
constexpr int32_t SeventhRankRook = 24;
constexpr int32_t BoxedMinorCost = 12;
constexpr int32_t BoxedKingCost = 70;
constexpr int32_t DuoStrong = 28, DuoWeak = 14;
constexpr int32_t BlockadeOutpost = 19;
constexpr int32_t OutpostKnight = 13, OutpostBishopCrowded = 13, OutpostBishop = 27;
constexpr int32_t RookBehindPasser = 2;
constexpr int32_t KnightEdge = 17, KnightEdgeCastling = 8;
constexpr int32_t DoubledPawnCost = 7;
constexpr int32_t CentralKnight = 17;
constexpr int32_t CentrePawn = 5, CentrePawnCastling = 22, CentrePawnSettled = 11;
constexpr int32_t PawnChainCost = 20;
constexpr int32_t StormFree = 10, StormHeavy = 52, StormFar = 0, StormNear = 26;
constexpr int32_t TrappedCost = 130;

constexpr int32_t E1 = 0x04, E8 = 0x74, B1 = 0x01, G1 = 0x06, B8 = 0x71, G8 = 0x76;
constexpr uint32_t WhiteCastling = StateWhiteKingSide | StateWhiteQueenSide;
constexpr uint32_t BlackCastling = StateBlackKingSide | StateBlackQueenSide;

inline int32_t sq(const char* name) { return (name[1] - '1') * 16 + (name[0] - 'a'); }

bool isCentralKnightSquare(int32_t square) {
  int32_t file = fileOf(square), rank = rankOf(square);
  if (rank == 2 || rank == 5) return file == 3 || file == 4;
  if (rank == 3 || rank == 4) return file >= 2 && file <= 5;
  return false;
}

// Is q in the zone around a side's shelter square s? White's zone reaches
// further forward and to the right; Black's is the same turned by half a turn.
bool inShelterZone(int32_t colour, int32_t shelter, int32_t square) {
  int32_t dr = rankOf(square) - rankOf(shelter), df = fileOf(square) - fileOf(shelter);
  if (colour < 0) {
    dr = -dr;
    df = -df;
  }
  int32_t low, high;
  switch (dr) {
    case 0: case 1: low = -5; high = 6; break;
    case 2: case -1: low = -4; high = 5; break;
    case 3: case 4: case -2: case -3: low = -3; high = 4; break;
    case 5: case -4: low = -1; high = 2; break;
    case 6: case -5: low = 0; high = 1; break;
    default: return false;
  }
  return df >= low && df <= high;
}

struct SquareLoop {
  EvalContext& ctx;
  ThreadBoard* board;
  EvalBlock& block;
  const MiddlegameWeights& w;
  const int32_t* rankTable;
  int32_t boxedRook[2][2];  // by side: toward h, toward a
  bool hasRook[2];
  int32_t kingSquare[2];
  int32_t advancement;      // u of the pawn advancement term
  int32_t knightEdge;
  int32_t passerKingFar;    // D
};

// passedPawnTerm of the square loop: a passed pawn of `colour` would stand
// on q (rank counted from White's side). Adds the pawn's value and, with a
// pawn there, the king terms and the blockade.
void passedPawnTerm(SquareLoop& loop, int32_t colour, int32_t q) {
  ThreadBoard* board = loop.board;
  const MiddlegameWeights& w = loop.w;
  int32_t r = rankOf(q), f = fileOf(q);
  int32_t ownRank = colour > 0 ? r : 7 - r;  // rank counted from the pawn's side
  int32_t forward = colour > 0 ? 16 : -16;
  int32_t value = loop.rankTable[ownRank];
  addEntry(board, PawnBlock, colour, q, value);
  if (ownRank >= 3) pawnMark(board, colour, q) |= PassedMark;
  int32_t blockade = (value * 25 + 32) >> 6;
  if (pawnMark(board, colour, q) & SupportMark) addEntry(board, PawnBlock, colour, q, w.passedSupported);
  if (f >= 2 && f <= 5) addEntry(board, PawnBlock, colour, q, -2 * w.passedCentreFile);
  if (loop.ctx.heavy) {
    bool enemyOnFile = pawnCountOn(board, -colour, f) > 0 || (f == 0 && pawnCountOn(board, -colour, 1) > 0) ||
                       (f == 7 && pawnCountOn(board, -colour, 6) > 0);
    if (enemyOnFile) addEntry(board, PawnBlock, colour, q, -((value * 15 + 32) >> 6));
  }
  if (pieceOn(board, q, colour, PawnCode)) {
    // passerKingTerm: the defending king loses outside the pawn's reach
    // and gains in front of it; the own king gains escorting it.
    for (int32_t t = 0; t < 120; ++t) {
      if (!isOnBoard(t)) continue;
      int32_t dr = (rankOf(t) - r) * colour, df = std::abs(fileOf(t) - f);
      if (ownRank >= 4 && (df > 7 - ownRank || dr < -1)) {
        addEntry(board, KingBlock, -colour, t, -loop.passerKingFar);
      } else if (dr >= 1 && df <= 1) {
        addEntry(board, KingBlock, -colour, t, blockade);
        if (!loop.ctx.heavy) addEntry(board, KingBlock, colour, t, w.passerEscort);
      }
    }
    addEntry(board, KnightBlock, -colour, q + forward, blockade);
    addEntry(board, BishopBlock, -colour, q + forward, blockade);
  } else if (ownRank < 7) {
    int32_t front = q + forward;
    if (pieceOn(board, front, -colour, BishopCode) || pieceOn(board, front, -colour, KnightCode) ||
        pieceOn(board, front, -colour, PawnCode))
      addEntry(board, PawnBlock, colour, q, -blockade);
  }
}

// The last-rank terms of the square loop: the first rank of a side with its
// rooks boxed in by the king, then the promotion entry of the other side's
// pawns there.
void homeRankTerms(SquareLoop& loop, int32_t colour, int32_t q) {
  ThreadBoard* board = loop.board;
  int32_t s = sideIndex(colour);
  int32_t kingHome = colour > 0 ? E1 : E8;
  uint32_t castling = colour > 0 ? WhiteCastling : BlackCastling;
  if (loop.hasRook[s]) {
    int32_t towardH = loop.boxedRook[s][0], towardA = loop.boxedRook[s][1];
    bool boxed = (q >= kingHome && q < towardH) || (q <= kingHome && q > towardA);
    if (boxed) {
      addEntry(board, KnightBlock, colour, q, -BoxedMinorCost);
      addEntry(board, BishopBlock, colour, q, -BoxedMinorCost);
      if (!(*loop.ctx.stateFlags & castling)) addEntry(board, KingBlock, colour, q, -BoxedKingCost);
    }
  }
  // A pawn reaching the last rank becomes a queen.
  int32_t promoting = -colour;
  tableEntry(board, PawnBlock, promoting, q) = int16_t(
      tableEntry(board, QueenBlock, promoting, q) + kindOf(board, kindIndexOf(QueenCode, promoting)).baseValue);
}

// shelterStormTerm of a side (shelter s, zone square q at king distance k).
void shelterStormTerm(SquareLoop& loop, int32_t colour, int32_t s, int32_t q, int32_t k) {
  ThreadBoard* board = loop.board;
  int32_t r = rankOf(q), f = fileOf(q);
  int32_t forward = colour > 0 ? 16 : -16;
  // Storm squares one rank ahead, left then right (from White's side).
  int32_t leftStorm = q + forward - 1, rightStorm = q + forward + 1;
  int32_t leftBelow = q - 1, rightBelow = q + 1;
  auto amount = [&](int32_t ownPawnSquare) {
    if (!pieceOn(board, ownPawnSquare, colour, PawnCode)) return StormFree;
    if (k < 2 && loop.ctx.heavy && !loop.block.crowdedBoardMark) return StormHeavy;
    if (k == 2) return StormFar;
    return StormNear;
  };
  bool ahead = colour > 0 ? r >= rankOf(s) : r <= rankOf(s);
  if (ahead) {
    // Storm squares off the board (a shelter square on the far ranks) are
    // skipped.
    if (f != 0 && isOnBoard(leftStorm)) addEntry(board, PawnBlock, -colour, leftStorm, amount(leftBelow));
    bool rightAllowed = f == 0 || (f >= 1 && f <= 6 && !pieceOn(board, leftStorm, -colour, PawnCode));
    bool leftOfShelter = f == fileOf(s) - 1 && f != 6;
    if (rightAllowed && !leftOfShelter && isOnBoard(rightStorm))
      addEntry(board, PawnBlock, -colour, rightStorm, amount(rightBelow));
  }
  int32_t homeRank = colour > 0 ? 0 : 7;
  if (r == homeRank) return;
  uint16_t enemyAttack = colour > 0 ? ControlBlackPawnAttack : ControlWhitePawnAttack;
  int32_t cover = loop.w.shelterCover;
  if (k == 2 && !(controlFlags(board, q) & enemyAttack)) addEntry(board, PawnBlock, colour, q, cover);
  // The two squares diagonally behind q (from the side's view).
  int32_t behindLeft = q - forward - 1, behindRight = q - forward + 1;
  if (f != 0 && !(controlFlags(board, behindLeft) & enemyAttack)) addEntry(board, PawnBlock, colour, behindLeft, cover);
  if (f != 7 && !(controlFlags(board, behindRight) & enemyAttack))
    addEntry(board, PawnBlock, colour, behindRight, cover);
}

void squareStep(SquareLoop& loop, int32_t q) {
  EvalContext& ctx = loop.ctx;
  ThreadBoard* board = loop.board;
  EvalBlock& block = loop.block;
  const MiddlegameWeights& w = loop.w;
  const int32_t r = rankOf(q), f = fileOf(q);
  const uint16_t flags = controlFlags(board, q);
  const bool heavy = ctx.heavy;
  const uint32_t state = *ctx.stateFlags;

  // Step 1. kingCentreTerm.
  int32_t rowW = block.queenlessEndingMark ? r : r + 1, rowB = block.queenlessEndingMark ? r + 2 : r + 1;
  addEntry(board, KingBlock, White, q, kingCentreTable[rowW][f] * ctx.castleCentre);
  addEntry(board, KingBlock, Black, q, kingCentreTable[rowB][f] * ctx.castleCentre);

  // Step 2. coveredStopTerm: a pawn whose stop square its neighbour covers.
  if (r <= 3 && (flags & ControlWhitePawnAttack)) addEntry(board, PawnBlock, White, q - 16, -CoveredStopCost);
  if (r >= 4 && (flags & ControlBlackPawnAttack)) addEntry(board, PawnBlock, Black, q + 16, -CoveredStopCost);

  // Step 3. Ranks 2 to 7.
  if (r >= 1 && r <= 6) {
    // a. Advancement.
    if (r >= 2) addEntry(board, PawnBlock, White, q, ((r - 1) * loop.advancement) >> 2);
    if (r <= 5) addEntry(board, PawnBlock, Black, q, ((6 - r) * loop.advancement) >> 2);
    // b. contestedStopTerm.
    if (block.drawMark == 0) {
      if (pawnMark(board, Black, q + 16) & ContactMark) addEntry(board, PawnBlock, White, q, ContestedStopGain);
      if (pawnMark(board, White, q - 16) & ContactMark) addEntry(board, PawnBlock, Black, q, ContestedStopGain);
    }
    // c. shelterPawnTerm: a pawn that guards the castled king's wing.
    if (heavy) {
      int32_t shelterW = block.kingShelterSquare[1], shelterB = block.kingShelterSquare[0];
      bool whiteSquare = ((q == sq("a3") || q == sq("b3") || q == sq("a4")) && shelterW == B1) ||
                         ((q == sq("g3") || q == sq("h3") || q == sq("h4")) && shelterW == G1);
      if (whiteSquare && (flags & ControlWhitePawnAttack) && !(flags & ControlBlackPawnAttack) &&
          !(state & WhiteCastling))
        addEntry(board, PawnBlock, White, q, ShelterPawnGain);
      bool blackSquare = ((q == sq("a5") || q == sq("a6") || q == sq("b6")) && shelterB == B8) ||
                         ((q == sq("h5") || q == sq("g6") || q == sq("h6")) && shelterB == G8);
      if (blackSquare && (flags & ControlBlackPawnAttack) && !(flags & ControlWhitePawnAttack) &&
          !(state & BlackCastling))
        addEntry(board, PawnBlock, Black, q, ShelterPawnGain);
    }
    // d. bishopColourTerm: pawns belong on the squares the lone bishop
    // does not cover.
    if (f >= 1 && f <= 6) {
      int32_t colour = (r + f) & 1;
      int32_t whiteBishop = block.loneBishopColour[1], blackBishop = block.loneBishopColour[0];
      if (ctx.bishops[1] == 1) {
        if (colour != whiteBishop) {
          addEntry(board, PawnBlock, White, q, 3);
        } else {
          addEntry(board, PawnBlock, White, q, -4);
          addEntry(board, PawnBlock, Black, q, 1);
        }
      }
      if (ctx.bishops[0] == 1) {
        if (colour == blackBishop) {
          addEntry(board, PawnBlock, Black, q, -4);
          addEntry(board, PawnBlock, White, q, 1);
        } else {
          addEntry(board, PawnBlock, Black, q, 4);
          addEntry(board, PawnBlock, White, q, -1);
        }
      }
    }
    // e. seventhRankTerm.
    if (r == 1 && rankOf(loop.kingSquare[1]) == 0) addEntry(board, RookBlock, Black, q, SeventhRankRook);
    if (r == 6 && rankOf(loop.kingSquare[0]) == 7) addEntry(board, RookBlock, White, q, SeventhRankRook);
    // f, g. passedPawnTerm.
    if (r >= pawnFile(board, White, f).passedLimit) passedPawnTerm(loop, White, q);
    if (r <= pawnFile(board, Black, f).passedLimit) passedPawnTerm(loop, Black, q);
  }

  // Step 4. The last ranks.
  if (r == 7) homeRankTerms(loop, Black, q);
  if (r == 0) homeRankTerms(loop, White, q);

  // Step 5. backwardPawnTerm: no support from behind beside own pawns.
  if (!(pawnMark(board, White, q) & SupportMark) &&
      (pawnCountOn(board, White, f - 1) > 0 || pawnCountOn(board, White, f + 1) > 0))
    addEntry(board, PawnBlock, White, q, -block.rookFileTables[0][0][f]);
  if (!(pawnMark(board, Black, q) & SupportMark) &&
      (pawnCountOn(board, Black, f - 1) > 0 || pawnCountOn(board, Black, f + 1) > 0))
    addEntry(board, PawnBlock, Black, q, -block.rookFileTables[1][0][f]);

  // Step 6. Pawn-shaped piece terms.
  bool innerFile = f >= 1 && f <= 6;
  bool centreFile = f == 3 || f == 4;
  if (innerFile && r <= 3 && pieceOn(board, q, Black, PawnCode)) {
    int32_t duo = r <= 2 || (heavy && centreFile) ? DuoStrong : DuoWeak;
    addEntry(board, PawnBlock, Black, q - 1, duo);
    addEntry(board, PawnBlock, Black, q + 1, duo);
  }
  if (innerFile && r >= 4 && pieceOn(board, q, White, PawnCode)) {
    int32_t duo = r >= 5 || (heavy && centreFile) ? DuoStrong : DuoWeak;
    addEntry(board, PawnBlock, White, q - 1, duo);
    addEntry(board, PawnBlock, White, q + 1, duo);
  }
  if (innerFile && r <= 5 && pieceOn(board, q + 16, Black, PawnCode) && !(pawnMark(board, Black, q) & ReachMark)) {
    addEntry(board, KnightBlock, White, q, BlockadeOutpost);
    addEntry(board, BishopBlock, White, q, BlockadeOutpost);
  }
  if (innerFile && r >= 2 && pieceOn(board, q - 16, White, PawnCode) && !(pawnMark(board, White, q) & ReachMark)) {
    addEntry(board, KnightBlock, Black, q, BlockadeOutpost);
    addEntry(board, BishopBlock, Black, q, BlockadeOutpost);
  }
  int32_t outpostBishop = block.crowdedBoardMark ? OutpostBishopCrowded : OutpostBishop;
  if (r <= 5 && (flags & ControlBlackPawnAttack) && !(pawnMark(board, White, q) & ReachMark)) {
    if (r <= 4) addEntry(board, KnightBlock, Black, q, OutpostKnight);
    bool shut = (f <= 2 && (controlFlags(board, q + 17) & ControlBlackPawnFree)) ||
                (f >= 5 && (controlFlags(board, q + 15) & ControlBlackPawnFree));
    if (!shut) addEntry(board, BishopBlock, Black, q, outpostBishop);
  }
  if (r >= 2 && (flags & ControlWhitePawnAttack) && !(pawnMark(board, Black, q) & ReachMark)) {
    if (r >= 3) addEntry(board, KnightBlock, White, q, OutpostKnight);
    bool shut = (f <= 2 && (controlFlags(board, q - 15) & ControlWhitePawnFree)) ||
                (f >= 5 && (controlFlags(board, q - 17) & ControlWhitePawnFree));
    if (!shut) addEntry(board, BishopBlock, White, q, outpostBishop);
  }

  // Step 7. rookBehindPasserTerm.
  if (board->materialSum < twoBishopsRooksSum) {
    const PawnFileRecord& white = pawnFile(board, White, f);
    if (white.lowestPawnRank < 7 && white.lowestPawnRank >= white.passedLimit && white.lowestPawnRank > r)
      addEntry(board, RookBlock, White, q, RookBehindPasser);
    const PawnFileRecord& black = pawnFile(board, Black, f);
    if (black.highestPawnRank > 0 && black.highestPawnRank <= black.passedLimit && black.highestPawnRank < r)
      addEntry(board, RookBlock, Black, q, RookBehindPasser);
  }

  // Step 8. knightEdgeTerm, once per edge (twice in a corner).
  int32_t edges = (r == 0 || r == 7 ? 1 : 0) + (f == 0 || f == 7 ? 1 : 0);
  addEntry(board, KnightBlock, White, q, -edges * loop.knightEdge);
  addEntry(board, KnightBlock, Black, q, -edges * loop.knightEdge);

  // Step 9. doubledPawnTerm.
  if (!block.heavyMiddlegameMark) {
    if (pawnCountOn(board, White, f) > 1) addEntry(board, PawnBlock, White, q, -DoubledPawnCost);
    if (pawnCountOn(board, Black, f) > 1) addEntry(board, PawnBlock, Black, q, -DoubledPawnCost);
  }

  // Step 10. centralKnightTerm.
  if (block.openFileCount <= 2 && isCentralKnightSquare(q)) {
    addEntry(board, KnightBlock, White, q, CentralKnight);
    addEntry(board, KnightBlock, Black, q, CentralKnight);
  }

  // Step 11. centrePawnTerm: pawns that support a centre square.
  if (flags & ControlCentre) {
    addEntry(board, PawnBlock, White, q - 15, CentrePawn);
    addEntry(board, PawnBlock, White, q - 17, CentrePawn);
    addEntry(board, PawnBlock, Black, q + 15, CentrePawn);
    addEntry(board, PawnBlock, Black, q + 17, CentrePawn);
    if (block.openFileCount == 0) {
      uint16_t below = controlFlags(board, q - 16), above = controlFlags(board, q + 16);
      if ((below & ControlWhitePawnFree) && (below & ControlCentre)) {
        int32_t gain = state & WhiteCastling ? CentrePawnCastling : CentrePawnSettled;
        addEntry(board, PawnBlock, White, q - 15, gain);
        addEntry(board, PawnBlock, White, q - 17, gain);
      }
      if ((above & ControlBlackPawnFree) && (above & ControlCentre)) {
        int32_t gain = state & BlackCastling ? CentrePawnCastling : CentrePawnSettled;
        addEntry(board, PawnBlock, Black, q + 15, gain);
        addEntry(board, PawnBlock, Black, q + 17, gain);
      }
    }
  }

  // Step 12. Shelter, storm and king zone of each side.
  if (block.queensOnBoardMark) {
    for (int32_t colour : {White, Black}) {
      int32_t shelter = block.kingShelterSquare[sideIndex(colour)];
      if (shelter == NoShelterSquare || !inShelterZone(colour, shelter, q)) continue;
      int32_t distance = squareDistance(shelter, q);
      if (!block.queenlessEndingMark && distance <= 2) shelterStormTerm(loop, colour, shelter, q, distance);
      if (std::abs(fileOf(q) - fileOf(shelter)) <= 2) {
        for (int32_t blockIndex : {QueenBlock, RookBlock, KnightBlock, BishopBlock})
          addEntry(board, blockIndex, -colour, q, w.kingZonePiece);
      }
    }
  }
}

// pawnChainTerm: a locked chain pointing at the castled king.
void pawnChainTerm(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  const EvalBlock& block = board->evalBlock;
  int32_t shelterW = block.kingShelterSquare[1], shelterB = block.kingShelterSquare[0];
  auto pawns = [&](int32_t colour, const char* a, const char* b) {
    return pieceOn(board, sq(a), colour, PawnCode) && pieceOn(board, sq(b), colour, PawnCode);
  };
  if (shelterW == G1 && pawns(Black, "f4", "e5")) ctx.score -= PawnChainCost;
  if (shelterB == G8 && pawns(White, "f5", "e4")) ctx.score += PawnChainCost;
  if (shelterW == B1 && pawns(Black, "c4", "d5")) ctx.score -= PawnChainCost;
  if (shelterB == B8 && pawns(White, "c5", "d4")) ctx.score += PawnChainCost;
}

// kingPawnProximityTerm: kings gain next to enemy pawns (a share of the
// pawn's worth) and next to their own passed pawns.
void kingPawnProximityTerm(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  const MiddlegameWeights& w = middlegameWeights;
  for (int32_t colour : {White, Black}) {
    for (PieceRecord* piece = firstPiece(sideRecordOf(board, colour)); piece != boardPiece(board);
         piece = piece->next) {
      if (piece->kindCopy.code != PawnCode) continue;
      int32_t square = piece->square, r = rankOf(square), f = fileOf(square);
      int32_t worth = tableEntry(board, PawnBlock, colour, square) + piece->kind->baseValue;
      int32_t enemyGain = (worth * w.pawnProximity + 32) >> 6;
      bool passed = colour > 0 ? r >= pawnFile(board, White, f).passedLimit : r <= pawnFile(board, Black, f).passedLimit;
      int32_t ownGain = passed ? (colour > 0 ? r : 7 - r) * w.passerProximity : 0;
      if (enemyGain <= 0 && ownGain <= 0) continue;
      for (int32_t direction = 0; direction < 8; ++direction) {
        int32_t next = square + directionTable[direction];
        if (!isOnBoard(next)) continue;
        addEntry(board, KingBlock, -colour, next, enemyGain);
        addEntry(board, KingBlock, colour, next, ownGain);
      }
    }
  }
}

// shieldFileTerm: pawns in front of the own king's files, and those pushed
// toward the enemy king on a closed board.
void shieldFileTerm(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  const EvalBlock& block = board->evalBlock;
  const MiddlegameWeights& w = middlegameWeights;
  int32_t fileW = fileOf(block.kingShelterSquare[1]), fileB = fileOf(block.kingShelterSquare[0]);
  for (int32_t x = fileW - 1; x <= fileW + 1; ++x) {
    if (x < 0 || x > 7) continue;
    for (int32_t k = 1; k <= 6; ++k)
      if (pawnFile(board, White, x).highestPawnRank <= k) addEntry(board, PawnBlock, White, makeSquare(x, k), w.shieldPawn);
  }
  for (int32_t x = fileB - 1; x <= fileB + 1; ++x) {
    if (x < 0 || x > 7) continue;
    for (int32_t k = 6; k >= 1; --k)
      if (pawnFile(board, Black, x).lowestPawnRank >= k) addEntry(board, PawnBlock, Black, makeSquare(x, k), w.shieldPawn);
  }
  if (block.openFileCount != 0) return;
  for (int32_t x = fileB - 1; x <= fileB + 1; ++x) {
    if (x < 0 || x > 7) continue;
    for (int32_t k = 1; k <= 6; ++k)
      if (pawnFile(board, White, x).highestPawnRank <= k) addEntry(board, PawnBlock, White, makeSquare(x, k), -w.shieldLoss);
  }
  for (int32_t x = fileW - 1; x <= fileW + 1; ++x) {
    if (x < 0 || x > 7) continue;
    for (int32_t k = 6; k >= 1; --k)
      if (pawnFile(board, Black, x).lowestPawnRank >= k) addEntry(board, PawnBlock, Black, makeSquare(x, k), -w.shieldLoss);
  }
}

// The castling potential: the king at home gains what castling is worth.
void castlingPotential(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  const EvalBlock& block = board->evalBlock;
  for (int32_t colour : {White, Black}) {
    uint32_t castling = colour > 0 ? WhiteCastling : BlackCastling;
    int32_t shelter = block.kingShelterSquare[sideIndex(colour)];
    if (!(*ctx.stateFlags & castling) || shelter == NoShelterSquare) continue;
    int32_t centre = kingCentreTable[rankOf(shelter) + 1][fileOf(shelter)];
    addEntry(board, KingBlock, colour, colour > 0 ? E1 : E8, ctx.castleCentre * (centre - 4) - ctx.castleAway);
  }
}

}  // namespace

void middlegameSquareTerms(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  EvalBlock& block = board->evalBlock;

  // Step 1. uncoveredSquareTerm: squares in front of a side's pawns that an
  // enemy pawn holds and no own pawn can contest.
  if (block.openFileCount <= 2 && !block.oppositeBishopsMark) {
    for (int32_t file = 0; file < 8; ++file) {
      for (int32_t rank = 1; rank <= 3; ++rank) {
        int32_t q = makeSquare(file, rank);
        if ((controlFlags(board, q) & ControlBlackPawnAttack) && pawnFile(board, White, file).highestPawnRank < rank &&
            !(pawnMark(board, White, q) & ReachMark))
          ctx.score -= UncoveredSquareCost;
      }
      for (int32_t rank = 6; rank >= 4; --rank) {
        int32_t q = makeSquare(file, rank);
        if ((controlFlags(board, q) & ControlWhitePawnAttack) && pawnFile(board, Black, file).lowestPawnRank > rank &&
            !(pawnMark(board, Black, q) & ReachMark))
          ctx.score += UncoveredSquareCost;
      }
    }
  }

  // Step 2. Rooks boxed in at the corners by their own king.
  SquareLoop loop{ctx, board, block, middlegameWeights, block.passedRankTable, {{E1, E1}, {E1, E1}}, {}, {}, 0, 0, 0};
  loop.hasRook[1] = ctx.rooks[1] > 0;
  loop.hasRook[0] = ctx.rooks[0] > 0;
  if (loop.hasRook[1]) {
    loop.boxedRook[1][0] = findBoxedRook(board, sq("h1"), E1, White);
    loop.boxedRook[1][1] = findBoxedRook(board, sq("a1"), E1, White);
  }
  if (loop.hasRook[0]) {
    loop.boxedRook[0][0] = findBoxedRook(board, sq("h8"), E8, Black);
    loop.boxedRook[0][1] = findBoxedRook(board, sq("a8"), E8, Black);
  }

  // Step 3. Draw marks off when the engine parameters say so.
  if (engineWord(ParamDrawScaling) == 0) block.drawMark = 0;

  // Step 4. The square loop.
  loop.kingSquare[1] = board->slots[WhiteKingSlot].square;
  loop.kingSquare[0] = board->slots[BlackKingSlot].square;
  int32_t k = block.queenlessEndingMark ? (block.oppositeBishopsMark ? 9 : 18) : 8;
  loop.advancement = engineWord(ParamPawnAdvance) * k / 100;
  loop.knightEdge = *ctx.stateFlags & StateCastlingMask ? KnightEdgeCastling : KnightEdge;
  loop.passerKingFar = ctx.heavy ? middlegameWeights.passerKingFar / 2 : middlegameWeights.passerKingFar;
  for (int32_t q = 0; q < 120; ++q)
    if (isOnBoard(q)) squareStep(loop, q);

  // Step 5. The terms that need the whole board's entries: pawn chains,
  // king-pawn proximity, trapped pieces, the shield files and castling.
  if (ctx.heavy && block.openFileCount == 0) pawnChainTerm(ctx);
  if (!ctx.heavy && ctx.pawns[0] + ctx.pawns[1] > 0) kingPawnProximityTerm(ctx);
  applyTrappedPieces(board, TrappedCost);
  if (block.kingShelterSquare[0] != NoShelterSquare && block.kingShelterSquare[1] != NoShelterSquare &&
      block.heavyMiddlegameMark)
    shieldFileTerm(ctx);
  if (!block.queenlessEndingMark) castlingPotential(ctx);
}

}  // namespace engine
