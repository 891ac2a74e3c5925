// The hook slots: how the search reaches the host's services. Through them
// it reports a search-information line, the move a root search is on, the
// timer it needs, and probes the endgame tables. A null slot means no report
// or no probe. EngineInit fills them with the module's hooks into the host's
// callbacks (engine/module/hooks.h); in the front end's own copy of the core
// they stay null. Read by every search thread.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/board/board.h"

namespace engine {

// Hook slots.
using InfoHook = void (*)(int32_t depth, int32_t score, const Move* pv, int32_t mark);
using CurrMoveHook = void (*)(int32_t depth, Position* child, int32_t flag);
using TimerHook = void (*)(int32_t timerMs, int32_t maxMs);
using TablebaseHook = int32_t (*)(ThreadBoard* board, int32_t side, int32_t epSquare, int32_t* outScore);
extern std::atomic<InfoHook> infoHook;
extern std::atomic<CurrMoveHook> currMoveHook;
extern std::atomic<TimerHook> timerHook;
extern std::atomic<TablebaseHook> tablebaseHook;

// Calls through the hook slots when they are set.
inline void callInfoHook(int32_t depth, int32_t score, const Move* pv, int32_t mark) {
  InfoHook hook = infoHook.load(std::memory_order_relaxed);
  if (hook != nullptr) hook(depth, score, pv, mark);
}
inline void callTimerHook(int32_t t, int32_t m) {
  TimerHook hook = timerHook.load(std::memory_order_relaxed);
  if (hook != nullptr) hook(t, m);
}

}  // namespace engine
