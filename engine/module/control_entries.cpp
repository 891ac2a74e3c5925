// The entries that set the search's control words: parameters, time
// control, stop flags, ponderhit and stop.
#include <algorithm>

#include "engine/board/setup.h"
#include "engine/control/control.h"
#include "engine/module/engine_entries.h"
#include "engine/module/hooks.h"
#include "engine/search/threads.h"
#include "engine/search/timecontrol.h"

namespace engine {

// Under-promotion amounts of the to-byte, by letter.
constexpr int32_t RookPromotionStep = 0x10;
constexpr int32_t BishopPromotionStep = 0x20;
constexpr int32_t KnightPromotionStep = 0x30;

void setEngineParameters(const EngineParameters* parameters) {
  const int32_t previousThreads = engineParameters.words[ParamThreads];
  engineParameters = *parameters;
  engineParameters.words[ParamThreatDetection] = 1;
  const int32_t threads = engineParameters.words[ParamThreads];
  // The word counts the master too. The pool exists only after the first
  // initEngine; it then takes the word itself.
  if (threads != previousThreads && threadsCreated > 0) setHelperCount(helpersForThreads(threads, MaxThreadSetting));
}

void getEngineParameters(EngineParameters* out) { *out = defaultEngineParameters; }

Move applyPromotionLetter(Move move, int32_t pieceCode, int32_t letter) {
  if (pieceCode != PawnCode) return move;
  int32_t step;
  switch (letter) {
    case 'R': step = RookPromotionStep; break;
    case 'B': step = BishopPromotionStep; break;
    case 'N': step = KnightPromotionStep; break;
    default: return move;  // the queen, the blank and lower case: a plain move
  }
  int32_t toByte = moveToByte(move);
  if (toByte >= 0x70 && toByte <= 0x77) return makeMove16(moveFrom(move), toByte + step);
  if (toByte < 0x10 || (toByte & 0x80) != 0) return makeMove16(moveFrom(move), (toByte - step) & 0xFF);
  return move;
}

void setTimeControl(int32_t type, int32_t time, int32_t moves, int32_t increment, int32_t extra) {
  timeControl = {type, time, moves, increment, extra};
}

void setMoveNumber(int32_t number) { moveNumber = number; }

void resetStopFlags() {
  stopFlag.store(0);
  timeDecided.store(0);
  iterationDone.store(0);
  ponderHitPending.store(0);
}

void ponderHit() {
  platform::enterCriticalSection(controlLock);
  const int32_t state = thinkState.load();
  const int32_t phase = rootPhase.load();
  if (state == ThinkIdle || (state == ThinkUnlimited && phase == PhasePreparing)) {
    // The search has not reached its pondering state yet: keep the
    // ponderhit for the driver, which honours it once the time is known.
    ponderHitPending.store(1);
  } else if (state == ThinkUnlimited && phase == PhaseTimed) {
    // Pondering with the time known: the time rule may have said stop
    // already; otherwise the clock starts from now. A clock with no time
    // to arm a timer for has nothing to end a long iteration that failed
    // low, so once the time rule has spoken the search stops at once.
    const bool noTimer = timerTime <= 0 && timeControl.type != TimeFixedDepth;
    if (timeDecided.load() && (iterationDone.load() || noTimer)) stopFlag.store(1);
    thinkState.store(ThinkOnClock);
    if (timerTime > 0) callTimerHook(timerTime, maxTime);
  } else if (state == ThinkUnlimited) {
    // The search is over and waits: end the wait, arm nothing.
    thinkState.store(ThinkOnClock);
  }
  platform::leaveCriticalSection(controlLock);
  platform::setEvent(&searchWake);
}

void stopThinking() {
  platform::enterCriticalSection(controlLock);
  // The flag also stops a search posted but not yet begun; the next
  // resetStopFlags clears it. Only a search without limit is put on the
  // clock: an idle engine must stay idle, or a ponderhit that comes before
  // the next ponder search begins would find no state to be kept for.
  stopFlag.store(1);
  if (thinkState.load() == ThinkUnlimited) thinkState.store(ThinkOnClock);
  platform::leaveCriticalSection(controlLock);
  platform::setEvent(&searchWake);
}

}  // namespace engine
