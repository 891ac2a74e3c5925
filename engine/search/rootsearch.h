// The root driver: one `think` request becomes an iterative search of
// rising depth over the main search node, with one or several principal
// variations, ended by the time rule, the depth limit, a stop or the
// timer.
//
// The driver's state is declared with the other control words in
// engine/control/control.h.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/board/board.h"
#include "engine/control/control.h"

namespace engine {

// Most principal variations a search reports (more than any position has
// legal moves).
constexpr int32_t MaxRootLines = 256;
// Deepest iteration, whatever the settings say.
constexpr int32_t MaxIterationDepth = 60;
// The search node needs a depth of at least 2.
constexpr int32_t MinIterationDepth = 2;

// The search entry: lines = principal variations, mode = ThinkNormal,
// ThinkPonder or ThinkInfinite. Returns when the search and any wait for
// ponderhit or stop are over.
void think(int32_t lines, int32_t mode);
// The driver itself; results leave only through the reports.
void rootSearch(Position* position, int32_t lines);

}  // namespace engine
