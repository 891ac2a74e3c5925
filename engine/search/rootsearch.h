// The root driver: one `think` request becomes an iterative search of
// rising depth over the main search node, with one or several principal
// variations, ended by the time rule, the depth limit, a stop or the
// timer.
//
// The driver's state that the search and the hooks read: the current
// iteration depth, the line being searched and the previous iteration's
// score change only between searches of the root and are written by the
// driver alone; `onFirstRootMove` is written by whichever thread searches a
// root move, `linesReported` by the report hook on any thread. The easy-move
// test's figures and the depth of the root's stored result stay inside
// rootsearch.cpp.
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

extern int32_t searchDepth;
extern int32_t lineIndex;
extern int32_t previousScore;
extern std::atomic<int32_t> onFirstRootMove;
// Lines reported to the host during the current search (by any thread).
extern std::atomic<int32_t> linesReported;

// The search entry: lines = principal variations, mode = ThinkNormal,
// ThinkPonder or ThinkInfinite. Returns when the search and any wait for
// ponderhit or stop are over.
void think(int32_t lines, int32_t mode);
// The driver itself; results leave only through the reports.
void rootSearch(Position* position, int32_t lines);

}  // namespace engine
