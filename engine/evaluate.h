// The evaluation entry and the global evaluation state shared by all search
// threads.
#pragma once
#include <cstdint>

#include "engine/board.h"

namespace engine {

// The side to move at the root when the current search began (+1, -1).
extern int32_t engineSide;
// Drawn by the root driver at each search: -2..+2, or 0.
extern int32_t openingOffset;
// The futility margin the search reads.
extern int32_t futilityMargin;

// Evaluates the position into its static value; full = 1 re-derives the
// weights first (the root driver's call at the start of each search).
void evaluate(Position* pos, int32_t full);

}  // namespace engine
