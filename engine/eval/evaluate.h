// The evaluation entry and the global evaluation state shared by all search
// threads.
//
// `openingOffset` is written by the root driver before the search threads
// start; the search threads only read it (and the engine's side, which the
// game record owns: engine/board/setup.h). `futilityMargin` is set by the root
// driver and then rewritten by every evaluation on every thread (always to
// the same value within a search): a relaxed atomic.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/board/board.h"

namespace engine {

// Drawn by the root driver at each search: -2..+2, or 0.
extern int32_t openingOffset;
// The futility margin the search reads.
extern std::atomic<int32_t> futilityMargin;

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

// The entry's captured-piece correction: when the piece that has just
// captured (or made a special move) can be taken back with profit, its
// kind's count and the material sum are lowered and the piece is returned;
// null when nothing was removed. `restoreRemovedPiece` undoes it (null is
// allowed).
PieceRecord* removeRecapturablePiece(Position* pos);
void restoreRemovedPiece(ThreadBoard* board, PieceRecord* piece);

// The entry's fifty-move drift: moves a score (side to move's view) toward
// zero by the board's `fiftyMoveDrift`, never across it, and rewrites the
// drift for make to reuse.
int32_t applyFiftyMoveDrift(ThreadBoard* board, int32_t score);

}  // namespace engine
