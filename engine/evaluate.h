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

// The two evaluators: the score of the board from White's point of view;
// they set or clear flag 0x400 in *stateFlags with the board's
// fiftyMoveDrift. More material: the material sum is above
// middlegameThreshold; reduced material: at or below it.
int32_t evaluateMiddlegame(ThreadBoard* board, uint32_t* stateFlags, int32_t clock, int32_t side);
int32_t evaluateEndgame(ThreadBoard* board, uint32_t* stateFlags, int32_t clock, int32_t side);

// The influence passes of stage 2: control flags, line and knight influence
// (with king safety when there is more material) into the piece-square
// tables, then the line pressure of the sliders and kings.
enum PressureAmountSet : int32_t { MoreMaterialAmounts = 0, ReducedMaterialAmounts = 1 };
void computeLineInfluence(ThreadBoard* board);
void computeEndgameInfluence(ThreadBoard* board);
void applyLinePressure(ThreadBoard* board, PressureAmountSet amounts);

// Evaluates the position into its static value; full = 1 re-derives the
// weights first (the root driver's call at the start of each search).
void evaluate(Position* pos, int32_t full);

}  // namespace engine
