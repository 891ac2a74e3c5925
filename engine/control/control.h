// The engine-wide control words.
//
// The front end's threads write `stopFlag` and `thinkState` (stop,
// ponderhit), the timer thread writes `stopFlag` and `timerExtension`, the
// root driver writes the rest (its own state is in
// engine/search/rootsearch.h, its times in engine/search/timecontrol.h); every search thread polls `stopFlag`. Each is
// a single word written whole and read without a lock, so they are relaxed
// atomics: a reader may see the old value for a moment, never a torn one.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/control/engine_interface.h"
#include "engine/control/move.h"
#include "platform/critical_section.h"
#include "platform/event.h"

namespace engine {

// Values of thinkState.
constexpr int32_t ThinkIdle = 0;
constexpr int32_t ThinkOnClock = 1;
constexpr int32_t ThinkUnlimited = 2;

extern std::atomic<int32_t> stopFlag;
extern std::atomic<int32_t> thinkState;
extern std::atomic<int32_t> iterationDone;
extern std::atomic<int32_t> timeDecided;
extern std::atomic<int32_t> timerExtension;
// A ponderhit that came before the search reached its pondering state; the
// root driver honours it once the time is allocated.
extern std::atomic<int32_t> ponderHitPending;

extern int32_t tbPieceLimit;
extern int32_t rootScoreFloor;

// The time control of the next search, as setTimeControl stores it. With
// the time left and moves to go (type 6) `time` is in whole seconds,
// `extra` adds the milliseconds beyond them and `increment` is in
// milliseconds.
struct TimeControl {
  int32_t type;
  int32_t time;
  int32_t moves;
  int32_t increment;
  int32_t extra;
};
extern TimeControl timeControl;

// Time control types.
constexpr int32_t TimeFixedDepth = 0;
constexpr int32_t TimePerMoveSeconds = 1;
constexpr int32_t TimeWholeGame = 2;
constexpr int32_t TimeWholeGameIncrement = 3;
constexpr int32_t TimePerMoveMs = 4;
constexpr int32_t TimeMovesPerPeriod = 5;
constexpr int32_t TimeLeftMovesToGo = 6;

// The live engine parameters that the search reads.
extern EngineParameters engineParameters;
inline int32_t engineWord(int32_t index) { return engineParameters.words[index]; }

// The host's callbacks as EngineInit copied them (all null in the front
// end's copy of the core).
extern HostCallbacks hostCallbacks;

// What a ponderhit does depends on how far the driver got: before the time
// is allocated it is latched, while the timed search runs it starts the
// clock, after the search it ends the wait. `controlLock` serialises these
// changes of the driver with ponderhit.
enum RootPhase : int32_t { PhasePreparing = 0, PhaseTimed = 1, PhaseFinished = 2 };
extern std::atomic<int32_t> rootPhase;
extern platform::CriticalSection controlLock;
// Set by ponderhit and stop, so that a finished ponder or infinite search
// waiting for them answers at once.
extern platform::Event searchWake;

inline bool stopRequested() { return stopFlag.load(std::memory_order_relaxed) != 0; }

}  // namespace engine
