// The main search: its search flags and the history table that the move
// picker reads.
#pragma once
#include <cstdint>

#include "engine/board.h"

namespace engine {

// Search flags of a node that the move picker honours.
constexpr uint32_t SearchThreatKnown = 0x8;     // threat move and threatened piece valid
constexpr uint32_t SearchTacticalOnly = 0x40;   // the picker ends after the tactical moves
constexpr uint32_t SearchHistoryOrder = 0x800;  // quiet moves all at once, by history

// Counters of quiet moves that failed high, by the mover's kind index and
// the 0x88 to-square; shared by all search threads.
constexpr int32_t HistorySquares = 120;
extern int32_t historyTable[KindCount][HistorySquares];

}  // namespace engine
