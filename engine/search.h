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

namespace engine {

// Set while one thread halves the history counters (the others skip it).
extern int32_t historyHalving;

// Longest principal variation a node hands back: its move, up to 18 below
// it, and the closing noMove.
constexpr int32_t PvLength = 20;

// Searches a node at depth 2 or more; `excluded` is non-null only at the
// root (the last entry of the exclusion list, read back to its noMove).
int32_t searchNode(Position* node, int32_t depth, int32_t upper, int32_t lower, Move* killers, Move* pv,
                   Move* excluded);
// Searches one move of a node and folds its result into *best and *upper.
void searchMove(Position* node, int32_t depth, int32_t* upper, int32_t* best, Move* killers, Move* pv, Move move,
                Position* child, Move* excluded);
// Gives the opponent a free move to find what it threatens.
void detectThreat(Position* node, int32_t bound, int32_t depth);

}  // namespace engine
