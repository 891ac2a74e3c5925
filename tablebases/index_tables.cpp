#include "tablebases/index_tables.h"

#include <algorithm>
#include <cstdlib>

#include "tablebases/endgame_table.h"

namespace tablebases {

int16_t tbKingPairIndexPawns[64 * 64];
int16_t tbKingPairIndexPawnless[64 * 64];
uint32_t tbFileMirror[64];
const uint32_t tbRankFlip[2] = {0, 56};
uint32_t tbQuadrantFold[64];
uint8_t tbTriangle[64];
uint8_t tbOffDiagonal[64];
uint8_t tbOnOrBelowDiagonal[64];
uint32_t tbDiagonalReflect[64];

uint8_t* tbRankTables[tbRankKinds];
uint8_t tbRankCounts[tbRankKinds][64];
uint32_t* tbPawnOffsets1[tbRankKinds];
uint32_t* tbPawnlessOffsets1[tbRankKinds];
uint32_t tbPawnTotal1[tbRankKinds];
uint32_t tbPawnlessTotal1[tbRankKinds];
uint32_t* tbPawnOffsets2[tbRankKinds][tbRankKinds];
uint32_t* tbPawnlessOffsets2[tbRankKinds][tbRankKinds];
uint32_t tbPawnTotal2[tbRankKinds][tbRankKinds];
uint32_t tbPawnlessTotal2[tbRankKinds][tbRankKinds];
uint32_t* tbPawnOffsets3[tbRankKinds][tbRankKinds][tbRankKinds];
uint32_t* tbPawnlessOffsets3[tbRankKinds][tbRankKinds][tbRankKinds];
uint32_t tbPawnTotal3[tbRankKinds][tbRankKinds][tbRankKinds];
uint32_t tbPawnlessTotal3[tbRankKinds][tbRankKinds][tbRankKinds];

namespace {

bool tablesBuilt = false;

int fileOf(int s) { return s & 7; }
int rankOf(int s) { return s >> 3; }
int kingDistance(int a, int b) {
  return std::max(std::abs(fileOf(a) - fileOf(b)), std::abs(rankOf(a) - rankOf(b)));
}

bool inPawnlessTriangle(int s) {
  // a1 b1 c1 d1 b2 c2 d2 c3 d3 d4: files a-d, rank at most the file.
  return fileOf(s) <= 3 && rankOf(s) <= fileOf(s);
}

void buildStaticTables() {
  int16_t pawnPairs = 0, pawnlessPairs = 0;
  for (int a = 0; a < 64; ++a) {
    for (int b = 0; b < 64; ++b) {
      bool apart = a != b && kingDistance(a, b) >= 2;
      bool pawnLegal = apart && fileOf(a) <= 3;
      bool pawnlessLegal = apart && inPawnlessTriangle(a) &&
                           (fileOf(a) != rankOf(a) || fileOf(b) >= rankOf(b));
      tbKingPairIndexPawns[a * 64 + b] = pawnLegal ? pawnPairs++ : tbIllegalPair;
      tbKingPairIndexPawnless[a * 64 + b] = pawnlessLegal ? pawnlessPairs++ : tbIllegalPair;
    }
  }
  for (int s = 0; s < 64; ++s) {
    tbFileMirror[s] = fileOf(s) >= 4 ? 7 : 0;
    tbQuadrantFold[s] = (fileOf(s) >= 4 ? 7u : 0u) | (rankOf(s) >= 4 ? 56u : 0u);
    tbTriangle[s] = inPawnlessTriangle(s) ? 1 : 0;
    tbOffDiagonal[s] = fileOf(s) != rankOf(s) ? 1 : 0;
    tbOnOrBelowDiagonal[s] = fileOf(s) >= rankOf(s) ? 1 : 0;
    tbDiagonalReflect[s] = uint32_t(fileOf(s) << 3 | rankOf(s));
  }
}

// Is square s, for a man of rank-table kind k, a contact check on king K?
bool excludedForKind(int kind, int king, int s) {
  int df = fileOf(s) - fileOf(king), dr = rankOf(s) - rankOf(king);
  switch (kind) {
    case 1:  // the pawn attacks the king from s: king = s + 7 (not a-file) or s + 9 (not h-file)
      return (king == s + 7 && fileOf(s) != 0) || (king == s + 9 && fileOf(s) != 7);
    case 2:
      return (std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1);
    case 3:
      return std::abs(df) == 1 && std::abs(dr) == 1;
    case 4:
      return std::abs(df) + std::abs(dr) == 1;
    case 5:
      return std::max(std::abs(df), std::abs(dr)) == 1;
    default:
      return false;
  }
}

// The count of one man, or of a group, for a king pair: the squares each
// kind may take, the king to move's square removed. Men of different kinds
// are counted independently, so index values where two of them share a
// square exist and stay unused.
uint32_t groupCount(const uint8_t* countsI, const uint8_t* rankI, const uint8_t* countsJ,
                    const uint8_t* rankJ, const uint8_t* countsL, const uint8_t* rankL, int a, int b) {
  auto n = [a, b](const uint8_t* counts, const uint8_t* rank) {
    return uint64_t(counts[b]) - (rank[b * 64 + a] != tbNoRank ? 1u : 0u);
  };
  uint64_t ni = n(countsI, rankI);
  if (countsJ == nullptr) return uint32_t(ni);
  uint64_t nj = n(countsJ, rankJ);
  if (countsL == nullptr) return uint32_t(rankI == rankJ ? tbPairs(ni) : ni * nj);
  uint64_t nl = n(countsL, rankL);
  if (rankI == rankJ && rankJ == rankL) return uint32_t(tbTriples(ni));
  if (rankI == rankJ) return uint32_t(tbPairs(ni) * nl);
  if (rankJ == rankL) return uint32_t(ni * tbPairs(nj));
  return uint32_t(ni * nj * nl);
}

void buildOffsets(uint32_t* offsets, const int16_t* pairTable, const uint8_t* countsI,
                  const uint8_t* rankI, const uint8_t* countsJ, const uint8_t* rankJ,
                  const uint8_t* countsL, const uint8_t* rankL, uint32_t* total) {
  uint32_t running = 0;
  for (int a = 0; a < 64; ++a) {
    for (int b = 0; b < 64; ++b) {
      int16_t p = pairTable[a * 64 + b];
      if (p == tbIllegalPair) continue;
      offsets[p] = running;
      running += groupCount(countsI, rankI, countsJ, rankJ, countsL, rankL, a, b);
    }
  }
  *total = running;
}

uint32_t* newOffsets(int32_t pairs) {
  return static_cast<uint32_t*>(checkedAlloc(int64_t(pairs) * int64_t(sizeof(uint32_t))));
}

}  // namespace

void tbBuildRankTable(int32_t kind, uint8_t* table, uint8_t* counts) {
  for (int i = 0; i < 64 * 64; ++i) table[i] = tbNoRank;
  int first = kind <= 1 ? 8 : 0, last = kind <= 1 ? 55 : 63;
  for (int king = 0; king < 64; ++king) {
    int r = 0;
    for (int s = first; s <= last; ++s) {
      if (s == king || excludedForKind(kind, king, s)) continue;
      table[king * 64 + s] = uint8_t(r++);
    }
    counts[king] = uint8_t(r);
  }
}

void tbBuildPairOffsets1(uint32_t* offsets, const int16_t* pairTable, const uint8_t* counts,
                         const uint8_t* rankTable, uint32_t* total) {
  buildOffsets(offsets, pairTable, counts, rankTable, nullptr, nullptr, nullptr, nullptr, total);
}

void tbBuildPairOffsets2(uint32_t* offsets, const int16_t* pairTable, const uint8_t* countsI,
                         const uint8_t* rankI, const uint8_t* countsJ, const uint8_t* rankJ,
                         uint32_t* total) {
  buildOffsets(offsets, pairTable, countsI, rankI, countsJ, rankJ, nullptr, nullptr, total);
}

void tbBuildPairOffsets3(uint32_t* offsets, const int16_t* pairTable, const uint8_t* countsI,
                         const uint8_t* rankI, const uint8_t* countsJ, const uint8_t* rankJ,
                         const uint8_t* countsL, const uint8_t* rankL, uint32_t* total) {
  buildOffsets(offsets, pairTable, countsI, rankI, countsJ, rankJ, countsL, rankL, total);
}

void tbBuildIndexTables() {
  if (tablesBuilt) return;
  tablesBuilt = true;
  buildStaticTables();

  // Step 1. Rank tables and counts.
  for (int k = 0; k < tbRankKinds; ++k) {
    tbRankTables[k] = static_cast<uint8_t*>(checkedAlloc(64 * 64));
    tbBuildRankTable(k, tbRankTables[k], tbRankCounts[k]);
  }
  // Step 2. Offsets of every group the endgames use.
  auto rank = [](int k) { return tbRankTables[k]; };
  auto counts = [](int k) { return tbRankCounts[k]; };
  for (int i = 0; i < tbRankKinds; ++i) {
    tbPawnOffsets1[i] = newOffsets(tbPawnPairCount);
    tbBuildPairOffsets1(tbPawnOffsets1[i], tbKingPairIndexPawns, counts(i), rank(i), &tbPawnTotal1[i]);
    if (i >= 2) {
      tbPawnlessOffsets1[i] = newOffsets(tbPawnlessPairCount);
      tbBuildPairOffsets1(tbPawnlessOffsets1[i], tbKingPairIndexPawnless, counts(i), rank(i),
                          &tbPawnlessTotal1[i]);
    }
    for (int j = (i == 0 ? 0 : 1); j <= i; ++j) {
      tbPawnOffsets2[i][j] = newOffsets(tbPawnPairCount);
      tbBuildPairOffsets2(tbPawnOffsets2[i][j], tbKingPairIndexPawns, counts(i), rank(i), counts(j),
                          rank(j), &tbPawnTotal2[i][j]);
      if (j >= 2) {
        tbPawnlessOffsets2[i][j] = newOffsets(tbPawnlessPairCount);
        tbBuildPairOffsets2(tbPawnlessOffsets2[i][j], tbKingPairIndexPawnless, counts(i), rank(i),
                            counts(j), rank(j), &tbPawnlessTotal2[i][j]);
      }
      for (int l = (i == 0 ? 0 : 1); l <= j; ++l) {
        tbPawnOffsets3[i][j][l] = newOffsets(tbPawnPairCount);
        tbBuildPairOffsets3(tbPawnOffsets3[i][j][l], tbKingPairIndexPawns, counts(i), rank(i),
                            counts(j), rank(j), counts(l), rank(l), &tbPawnTotal3[i][j][l]);
        if (l >= 2) {
          tbPawnlessOffsets3[i][j][l] = newOffsets(tbPawnlessPairCount);
          tbBuildPairOffsets3(tbPawnlessOffsets3[i][j][l], tbKingPairIndexPawnless, counts(i), rank(i),
                              counts(j), rank(j), counts(l), rank(l), &tbPawnlessTotal3[i][j][l]);
        }
      }
    }
  }
}

}  // namespace tablebases
