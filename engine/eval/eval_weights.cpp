// The derived evaluation weights, starting at their default-word values.
#include "engine/eval/eval_weights.h"

namespace engine {

int32_t middlegameRankTable1[RankTableEntries] = {0, 1, 1, 12, 45, 98, 153, 0};
int32_t middlegameRankTable2[RankTableEntries] = {0, 2, 2, 6, 36, 104, 158, 0};
int32_t endgameRankTable[RankTableEntries] = {0, 8, 8, 33, 82, 87, 135, 0};

MiddlegameWeights middlegameWeights = {9, 9, 8, 8, 8, 10, 48, 6, 6, 3, 2, 8, 7, 10, 16, 9, 14, 23, 7, 3};
EndgameWeights endgameWeights = {4, 7, 23, 12, 12, 7, 8, 3, 18, 5};

int32_t middlegameThreshold = 247 + 720;
int32_t heavyMaterialThreshold = 4 * 247 + 2 * 720 + 1;
int32_t twoBishopsRooksSum = 2 * (247 + 350);
int32_t bishopRookQueenSum = 247 + 350 + 720;

}  // namespace engine
