// The engine's hooks into the host's callbacks. The search calls them
// through the hook slots of engine/search/hook_slots.h; EngineInit installs them.
// Each does nothing when the host left its callback slot null.
#pragma once
#include <cstdint>

#include "engine/control/control.h"
#include "engine/search/hook_slots.h"

namespace engine {

// A search-information line: the node count first, then the line unless
// the principal variation is empty.
void reportSearchInfo(int32_t depth, int32_t score, const Move* pv, int32_t mark);
// The move a root search is on (child), or the start of a new depth (null).
void announceCurrentMove(int32_t depth, Position* child, int32_t flag);
// Arms the first timer for t ms with an extension up to m; (0, 0) cancels.
void armSearchTimer(int32_t t, int32_t m);
// Probes the host's tablebases for a board; nonzero when found.
int32_t probeEndgameTable(ThreadBoard* board, int32_t side, int32_t epSquare, int32_t* outScore);

// The flags of a current-move report for a child position.
int32_t currentMoveFlags(const Position* child, int32_t flag);
// The 64-square probe board (a1 first) of a board record.
void buildProbeBoard(const ThreadBoard* board, int8_t out[64]);
// The nodes searched so far in this search: the master board and helpers.
uint64_t searchNodeCount(const ThreadBoard* board);

}  // namespace engine
