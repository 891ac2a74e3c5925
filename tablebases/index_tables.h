// Shared tables of the tablebase index scheme.
//
// Squares here run a1 = 0 .. h8 = 63 (file = square & 7, rank = square >> 3),
// not the engine core's 0x88 squares; the type `TbSquare` marks them.
// Static tables fold a position by symmetry and number the king pairs; the
// runtime tables (rank tables, per-king-pair offsets and their totals) are
// built once by `tbBuildIndexTables`, before any file is registered, and
// only read afterwards, from any thread.
//
// Rank-table kinds: 0 a leading pawn of the side not to move, 1 a pawn of
// the side to move, 2 knight, 3 bishop, 4 rook, 5 queen. (The probe's
// square lists count kinds differently: 0 pawn .. 4 queen.)
#pragma once
#include <cstdint>

namespace tablebases {

using TbSquare = uint32_t;

constexpr int16_t tbIllegalPair = 4000;
constexpr uint8_t tbNoRank = 255;
constexpr int32_t tbPawnPairCount = 1806;
constexpr int32_t tbPawnlessPairCount = 462;
constexpr int32_t tbRankKinds = 6;

// Static tables.
extern int16_t tbKingPairIndexPawns[64 * 64];
extern int16_t tbKingPairIndexPawnless[64 * 64];
extern uint32_t tbFileMirror[64];
extern const uint32_t tbRankFlip[2];
extern uint32_t tbQuadrantFold[64];
extern uint8_t tbTriangle[64];
extern uint8_t tbOffDiagonal[64];
extern uint8_t tbOnOrBelowDiagonal[64];
extern uint32_t tbDiagonalReflect[64];

// Runtime tables.
extern uint8_t* tbRankTables[tbRankKinds];
extern uint8_t tbRankCounts[tbRankKinds][64];
extern uint32_t* tbPawnOffsets1[tbRankKinds];
extern uint32_t* tbPawnlessOffsets1[tbRankKinds];
extern uint32_t tbPawnTotal1[tbRankKinds];
extern uint32_t tbPawnlessTotal1[tbRankKinds];
extern uint32_t* tbPawnOffsets2[tbRankKinds][tbRankKinds];
extern uint32_t* tbPawnlessOffsets2[tbRankKinds][tbRankKinds];
extern uint32_t tbPawnTotal2[tbRankKinds][tbRankKinds];
extern uint32_t tbPawnlessTotal2[tbRankKinds][tbRankKinds];
extern uint32_t* tbPawnOffsets3[tbRankKinds][tbRankKinds][tbRankKinds];
extern uint32_t* tbPawnlessOffsets3[tbRankKinds][tbRankKinds][tbRankKinds];
extern uint32_t tbPawnTotal3[tbRankKinds][tbRankKinds][tbRankKinds];
extern uint32_t tbPawnlessTotal3[tbRankKinds][tbRankKinds][tbRankKinds];

void tbBuildIndexTables();
void tbBuildRankTable(int32_t kind, uint8_t* table, uint8_t* counts);
void tbBuildPairOffsets1(uint32_t* offsets, const int16_t* pairTable, const uint8_t* counts,
                         const uint8_t* rankTable, uint32_t* total);
void tbBuildPairOffsets2(uint32_t* offsets, const int16_t* pairTable, const uint8_t* countsI,
                         const uint8_t* rankI, const uint8_t* countsJ, const uint8_t* rankJ,
                         uint32_t* total);
void tbBuildPairOffsets3(uint32_t* offsets, const int16_t* pairTable, const uint8_t* countsI,
                         const uint8_t* rankI, const uint8_t* countsJ, const uint8_t* rankJ,
                         const uint8_t* countsL, const uint8_t* rankL, uint32_t* total);

// Squares one man of rank-table kind k can take for the king pair
// (toMove, other): the allowed squares less the king to move's own square.
inline uint32_t tbPairCount(int32_t kind, TbSquare kingToMove, TbSquare otherKing) {
  const uint8_t* row = tbRankTables[kind] + otherKing * 64;
  return uint32_t(tbRankCounts[kind][otherKing]) - (row[kingToMove] != tbNoRank ? 1u : 0u);
}

inline uint64_t tbPairs(uint64_t m) { return m * (m - 1) / 2; }
inline uint64_t tbTriples(uint64_t m) { return m * (m - 1) * (m - 2) / 6; }

}  // namespace tablebases
