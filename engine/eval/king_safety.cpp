// King safety in the line values: the squares around a side's shelter
// square become worth more to the other side's pieces, most of all the
// king's own square and the squares it crosses to castle, and squares that
// only the king or queen defends.
#include "engine/board/attacks.h"
#include "engine/board/geometry.h"
#include "engine/eval/eval_terms.h"
#include "engine/eval/influence.h"
#include "engine/control/control.h"

namespace engine {

namespace {

// Weight pairs (slider, knight) of a zone square.
constexpr ZoneWeight KingSquareWeight = {40, 23};     // the king's square or its castling path
constexpr ZoneWeight CoveredSquareWeight = {6, 6};    // held by a pawn or a minor piece or rook
constexpr ZoneWeight OpenSquareWeight = {13, 38};     // held by nothing but the king or queen
// An enemy piece close in front of the square.
constexpr int32_t EnemyNearBonus = 11;
// An own piece standing in front of the square shields it: 56/64.
constexpr int32_t ShieldFactor = 56;

// Squares of the castling paths, from White's side (Black's are 0x70 higher).
constexpr int32_t B1 = 0x01, C1 = 0x02, D1 = 0x03, E1 = 0x04, F1 = 0x05, G1 = 0x06;
constexpr int32_t HomeRankOffset[2] = {0x70, 0x00};  // by side index: Black, White

const PieceRecord* pieceAtSquare(const ThreadBoard* board, int32_t square) {
  return isOnBoard(square) ? squareAt(board, square) : nullptr;
}

bool isColour(const PieceRecord* piece, int32_t colour) { return piece != nullptr && piece->colour == colour; }

// A knight, bishop, rook, queen or king of the colour.
bool isShieldPiece(const PieceRecord* piece, int32_t colour) {
  return isColour(piece, colour) && piece->kindCopy.code != PawnCode;
}

int32_t kingSquareOf(const ThreadBoard* board, int32_t colour) {
  return board->slots[colour > 0 ? WhiteKingSlot : BlackKingSlot].square;
}

// The king still on its home square while its shelter lies on a castled
// home: the squares up to and including that home count like the king's.
bool onCastlingPath(int32_t square, int32_t king, int32_t shelter, int32_t colour) {
  const int32_t home = HomeRankOffset[sideIndex(colour)];
  if (king != home + E1) return false;
  if (shelter == home + G1) return square == home + F1 || square == home + G1;
  if (shelter == home + B1) return square == home + B1 || square == home + C1 || square == home + D1;
  return false;
}

// The weight of a square inside the king zone.
ZoneWeight insideWeight(ThreadBoard* board, int32_t defender, int32_t square, int32_t king, int32_t shelter) {
  if (square == king || onCastlingPath(square, king, shelter, defender)) return KingSquareWeight;
  const int32_t homeRank = defender > 0 ? 0 : 7;
  if (rankOf(square) == homeRank && pieceOn(board, square + 16 * defender, defender, PawnCode))
    return CoveredSquareWeight;
  // The defender: its pawn on the square, else its first piece in list
  // order that attacks the square.
  int32_t defenderSquare = pieceOn(board, square, defender, PawnCode)
                               ? square
                               : findAttacker(square, sideRecordOf(board, defender));
  if (defenderSquare == NoSquare) return OpenSquareWeight;
  int32_t code = squareAt(board, defenderSquare)->kindCopy.code;
  return code == QueenCode || code == KingCode ? OpenSquareWeight : CoveredSquareWeight;
}

}  // namespace

ZoneWeight kingZoneWeight(ThreadBoard* board, int32_t defender, int32_t square, uint16_t flags) {
  const EvalBlock& block = board->evalBlock;
  const int32_t attacker = -defender;
  const int32_t shelter = block.kingShelterSquare[sideIndex(defender)];
  const uint16_t pawnCover = defender > 0 ? ControlWhitePawnAttack : ControlBlackPawnAttack;

  // Step 1. A square the defender's pawns cover, or one with an enemy pawn,
  // is no weakness of the king.
  if ((flags & pawnCover) || shelter == NoShelterSquare || pieceOn(board, square, attacker, PawnCode)) return {0, 0};

  // Step 2. Inside the zone by distance; outside only the home square
  // of a king that still means to castle.
  const int32_t king = kingSquareOf(board, defender);
  const int32_t distance = squareDistance(square, shelter);
  ZoneWeight weight;
  if (distance <= 1 || (distance == 2 && pieceOn(board, square, defender, PawnCode))) {
    weight = insideWeight(board, defender, square, king, shelter);
  } else {
    const int32_t homeKing = HomeRankOffset[sideIndex(defender)] + E1;
    if (square != homeKing || king != homeKing || shelter == homeKing) return {0, 0};
    weight = KingSquareWeight;
  }

  // Step 3. What stands in front of the square, seen from the
  // defender (never past the far edge).
  const int32_t lastRank = defender > 0 ? 7 : 0;
  if (rankOf(square) != lastRank) {
    const int32_t ahead = square + 16 * defender, twoAhead = square + 32 * defender;
    bool enemyNear = false;
    for (int32_t target : {ahead, twoAhead, ahead - 1, ahead + 1, ahead - 2, ahead + 2})
      if (isColour(pieceAtSquare(board, target), attacker)) enemyNear = true;
    if (enemyNear) weight.slider += EnemyNearBonus;
    bool shielded = false;
    for (int32_t target : {ahead, twoAhead, twoAhead - 1, twoAhead + 1})
      if (isShieldPiece(pieceAtSquare(board, target), defender)) shielded = true;
    if (shielded) weight.slider = (weight.slider * ShieldFactor + 32) >> 6;
  }

  // Step 4. Half weight unless queens and rooks keep the attack heavy.
  if (!block.heavyMiddlegameMark) {
    weight.slider >>= 1;
    weight.knight >>= 1;
  }

  // Step 5. The king-safety word.
  const int32_t word = engineWord(ParamKingSafety);
  return {weight.slider * word / 100, weight.knight * word / 100};
}

}  // namespace engine
