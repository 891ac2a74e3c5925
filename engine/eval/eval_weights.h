// The evaluation weights and thresholds derived from the engine parameters.
//
// One copy for the whole engine: the weight derivation fills these records
// from the evaluation words (word x percent / 100, truncating) at the start
// of a search, before any helper thread runs; every search thread then only
// reads them. They start with the values of default words (100 %), so an
// evaluation before the first derivation already sees real weights.
// The score offset `evalOffset` that the evaluator calls set stands with
// the evaluation block (engine/control/eval_block.h), as make reads it.
#pragma once
#include <cstdint>

#include "engine/board/board.h"

namespace engine {

// Passed-pawn values by the pawn's rank counted from its own side.
constexpr int32_t RankTableEntries = 8;
extern int32_t middlegameRankTable1[RankTableEntries];  // queenless, lighter positions
extern int32_t middlegameRankTable2[RankTableEntries];  // queens on the board
extern int32_t endgameRankTable[RankTableEntries];

// Weights of the evaluation with more material (percent of the word).
struct MiddlegameWeights {
  int32_t shieldPawn;          // ParamKingSafety, 9: pawn in front of the own king's files
  int32_t shelterCover;        // ParamKingSafety, 9: pawn covering the king's zone
  int32_t kingZonePiece;       // ParamKingSafety, 8: piece in the enemy king's zone
  int32_t castleCentreHeavy;   // ParamKingSafety, 8: king centralisation (negated) with heavy material
  int32_t castleAwayLight;     // ParamKingSafety, 8: castling worth without heavy material
  int32_t shieldLoss;          // ParamKingSafety, 10: pawn advanced toward the enemy king on a closed board
  int32_t castleAwayHeavy;     // ParamKingSafety, 48: castling worth with heavy material
  int32_t pawnTargetBonus;     // ParamRookFiles, 6
  int32_t rookFileSecond;      // ParamRookFiles, 6
  int32_t rookFileFirst;       // ParamRookFiles, 3
  int32_t rookFileThird;       // ParamRookFiles, 2
  int32_t rookFileStep;        // ParamRookFiles, 8
  int32_t kingCentre;          // ParamKingPlacement, 7
  int32_t kingCentreQueenless; // ParamKingPlacement, 10
  int32_t pawnProximity;       // ParamKingPlacement, 16
  int32_t passerProximity;     // ParamKingPlacement, 9
  int32_t passerKingFar;       // ParamKingPlacement, 14
  int32_t passerEscort;        // ParamKingPlacement, 23
  int32_t passedCentreFile;    // ParamPassedPawns, 7
  int32_t passedSupported;     // ParamPassedPawns, 3
};

// Weights of the evaluation with reduced material (percent of the word).
struct EndgameWeights {
  int32_t rookFileSecond;   // ParamRookFiles, 4
  int32_t rookFileStep;     // ParamRookFiles, 7
  int32_t pawnTargetBonus;  // ParamRookFiles, 23
  int32_t kingCentre;       // ParamKingPlacement, 12
  int32_t pawnProximity;    // ParamKingPlacement, 12
  int32_t passerProximity;  // ParamKingPlacement, 7
  int32_t passerKingFar;    // ParamKingPlacement, 8
  int32_t passerEscort;     // ParamKingPlacement, 3
  int32_t passedCentreFile; // ParamPassedPawns, 18
  int32_t passedSupported;  // ParamPassedPawns, 5
};

extern MiddlegameWeights middlegameWeights;
extern EndgameWeights endgameWeights;

// Material sums (piece values of the queens, rooks, bishops and knights).
extern int32_t middlegameThreshold;     // bishop + queen: above it the evaluation with more material runs
extern int32_t heavyMaterialThreshold;  // 4 bishops + 2 queens + 1
extern int32_t twoBishopsRooksSum;      // 2 x (bishop + rook)
extern int32_t bishopRookQueenSum;      // bishop + rook + queen

// Piece values of both colours in the board (and a material sum recounted
// with them), the thresholds, the middlegame weights and the two
// middlegame rank tables, from the evaluation words.
void deriveMiddlegameWeights(ThreadBoard* board);
// The endgame weights and the endgame rank table.
void deriveEndgameWeights();

}  // namespace engine
