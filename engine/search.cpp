#include "engine/search.h"

namespace engine {

int32_t historyTable[KindCount][HistorySquares] = {};
int32_t historyHalving = 0;

}  // namespace engine
