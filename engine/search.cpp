#include "engine/search.h"

namespace engine {

int32_t historyTable[KindCount][HistorySquares] = {};

}  // namespace engine
