// Turns the evaluation words of the engine parameters into piece values,
// thresholds, weights and passed-pawn rank tables: every entry is the word
// times a fixed percentage, divided by 100 (truncating). The root driver
// asks for it at the start of each search, before any helper thread runs.
#include "engine/eval/eval_weights.h"
#include "engine/control/control.h"

namespace engine {

namespace {

constexpr int32_t KingValue = 14000;

// What each piece code's first and end values are at a word of 100.
struct PieceValuePercent {
  int32_t code;
  int32_t word;
  int32_t value;
  int32_t endValue;
};
constexpr PieceValuePercent pieceValuePercents[] = {
    {PawnCode, ParamPawnValue, 52, 84},       {KnightCode, ParamPieceValues, 225, 308},
    {BishopCode, ParamPieceValues, 247, 319}, {RookCode, ParamPieceValues, 350, 511},
    {QueenCode, ParamPieceValues, 720, 992},
};

// Rank tables at a ParamPassedPawns word of 100; the first and last ranks stay 0.
constexpr int32_t middlegameRankPercent1[RankTableEntries] = {0, 1, 1, 12, 45, 98, 153, 0};
constexpr int32_t middlegameRankPercent2[RankTableEntries] = {0, 2, 2, 6, 36, 104, 158, 0};
constexpr int32_t endgameRankPercent[RankTableEntries] = {0, 8, 8, 33, 82, 87, 135, 0};

inline int32_t percentOf(int32_t wordIndex, int32_t percent) { return engineWord(wordIndex) * percent / 100; }

void fillRankTable(int32_t* table, const int32_t* percents) {
  for (int32_t rank = 0; rank < RankTableEntries; ++rank) table[rank] = percentOf(ParamPassedPawns, percents[rank]);
}

// Both colours' kinds of a code get the same values; every piece keeps a
// copy of its kind, so the copies follow.
void setPieceValues(ThreadBoard* board, int32_t code, int32_t value, int32_t endValue) {
  for (PieceKind& kind : board->kinds) {
    if (kind.code != code) continue;
    kind.value = value;
    kind.endValue = endValue;
  }
  for (PieceRecord& piece : board->slots)
    if (piece.kind != nullptr && piece.kind->code == code) refreshKindCopy(&piece);
}

// The sum of the queens, rooks, bishops and knights on the board at the
// values just derived, so that a changed word does not leave it stale.
int32_t recountMaterialSum(const ThreadBoard* board) {
  int32_t sum = 0;
  for (const PieceKind& kind : board->kinds)
    if (kind.code >= KnightCode && kind.code <= QueenCode) sum += kind.count * kind.value;
  return sum;
}

}  // namespace

void deriveMiddlegameWeights(ThreadBoard* board) {
  // Step 1. Piece values, the same for both colours; the king's is fixed.
  for (const PieceValuePercent& entry : pieceValuePercents)
    setPieceValues(board, entry.code, percentOf(entry.word, entry.value), percentOf(entry.word, entry.endValue));
  setPieceValues(board, KingCode, KingValue, KingValue);
  board->materialSum = recountMaterialSum(board);

  // Step 2. The middlegame weights, word by word.
  MiddlegameWeights& w = middlegameWeights;
  w.shieldPawn = percentOf(ParamKingSafety, 9);
  w.shelterCover = percentOf(ParamKingSafety, 9);
  w.kingZonePiece = percentOf(ParamKingSafety, 8);
  w.castleCentreHeavy = percentOf(ParamKingSafety, 8);
  w.castleAwayLight = percentOf(ParamKingSafety, 8);
  w.shieldLoss = percentOf(ParamKingSafety, 10);
  w.castleAwayHeavy = percentOf(ParamKingSafety, 48);
  w.pawnTargetBonus = percentOf(ParamRookFiles, 6);
  w.rookFileSecond = percentOf(ParamRookFiles, 6);
  w.rookFileFirst = percentOf(ParamRookFiles, 3);
  w.rookFileThird = percentOf(ParamRookFiles, 2);
  w.rookFileStep = percentOf(ParamRookFiles, 8);
  w.kingCentre = percentOf(ParamKingPlacement, 7);
  w.kingCentreQueenless = percentOf(ParamKingPlacement, 10);
  w.pawnProximity = percentOf(ParamKingPlacement, 16);
  w.passerProximity = percentOf(ParamKingPlacement, 9);
  w.passerKingFar = percentOf(ParamKingPlacement, 14);
  w.passerEscort = percentOf(ParamKingPlacement, 23);
  w.passedCentreFile = percentOf(ParamPassedPawns, 7);
  w.passedSupported = percentOf(ParamPassedPawns, 3);
  fillRankTable(middlegameRankTable1, middlegameRankPercent1);
  fillRankTable(middlegameRankTable2, middlegameRankPercent2);

  // Step 3. The material thresholds from the new values.
  const int32_t bishop = board->kinds[WhiteBishop].value;
  const int32_t rook = board->kinds[WhiteRook].value;
  const int32_t queen = board->kinds[WhiteQueen].value;
  middlegameThreshold = bishop + queen;
  heavyMaterialThreshold = 4 * bishop + 2 * queen + 1;
  twoBishopsRooksSum = 2 * (bishop + rook);
  bishopRookQueenSum = bishop + rook + queen;
}

void deriveEndgameWeights() {
  EndgameWeights& w = endgameWeights;
  w.rookFileSecond = percentOf(ParamRookFiles, 4);
  w.rookFileStep = percentOf(ParamRookFiles, 7);
  w.pawnTargetBonus = percentOf(ParamRookFiles, 23);
  w.kingCentre = percentOf(ParamKingPlacement, 12);
  w.pawnProximity = percentOf(ParamKingPlacement, 12);
  w.passerProximity = percentOf(ParamKingPlacement, 7);
  w.passerKingFar = percentOf(ParamKingPlacement, 8);
  w.passerEscort = percentOf(ParamKingPlacement, 3);
  w.passedCentreFile = percentOf(ParamPassedPawns, 18);
  w.passedSupported = percentOf(ParamPassedPawns, 5);
  fillRankTable(endgameRankTable, endgameRankPercent);
}

}  // namespace engine
