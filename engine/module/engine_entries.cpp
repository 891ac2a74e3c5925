#include "engine/module/engine_entries.h"

#include "engine/board/setup.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/module/hooks.h"
#include "engine/search/rootsearch.h"
#include "engine/search/threads.h"

namespace engine {

static bool engineInitialised = false;
// The root and its board, kept aside while a re-initialisation builds the
// master board anew. A copy of the position, not a replay of the game, so
// that a game of any length comes back whole.
static ThreadBoard savedBoard;
static Position savedRoot;

void clearEngineHash() { clearHash(&engineHash); }

uint32_t initEngine(uint32_t hashBytes, int32_t tbLimit) {
  tbPieceLimit = tbLimit;
  if (engineInitialised) {
    initPosition(&savedRoot, &savedBoard);
    clonePosition(&savedRoot, &rootPosition);
  }
  uint32_t bytes = initHashAndKeys(hashBytes);
  initPosition(&rootPosition, &masterBoard);
  initPosition(&noSplitPosition, &masterBoard);
  createThreadPool(engineParameters.words[ParamThreads]);
  // The master board was built anew: the game's root goes back on it. The
  // game record, clocks and history were not touched.
  if (engineInitialised) clonePosition(&rootPosition, &savedRoot);
  engineInitialised = true;
  return bytes;
}

void releaseEngineHash() { releaseHash(); }

int32_t setEnginePosition(const char* fenText) {
  // A refused text changes nothing: the game in play stays.
  return setUpGame(&rootPosition, fenText) != 0 ? -1 : 0;
}

int32_t playEngineMove(Move move, int32_t promotionLetter) {
  const PieceRecord* piece = squareAt(rootPosition.board, moveFrom(move));
  move = applyPromotionLetter(move, piece->kind->code, promotionLetter);
  return playGameMove(move);
}

void thinkEntry(int32_t lines, int32_t mode) { think(lines, mode); }

void bindEngine(HostCallbacks* in, EngineEntries* out) {
  rootScoreFloor = -ScoreBound;
  // Slot 8 stays as the host left it.
  out->setEngineParameters = setEngineParameters;
  out->getEngineParameters = getEngineParameters;
  out->clearEngineHash = clearEngineHash;
  out->initEngine = initEngine;
  out->releaseEngineHash = releaseEngineHash;
  out->setEnginePosition = setEnginePosition;
  out->playEngineMove = playEngineMove;
  out->setTimeControl = setTimeControl;
  out->setMoveNumber = setMoveNumber;
  out->resetStopFlags = resetStopFlags;
  out->think = thinkEntry;
  out->ponderHit = ponderHit;
  out->stopThinking = stopThinking;
  out->onTimer = onTimer;
  // The host's callbacks are kept, the live parameters start at the
  // defaults, and the search's hooks go through the callbacks.
  hostCallbacks = *in;
  engineParameters = defaultEngineParameters;
  infoHook.store(reportSearchInfo);
  currMoveHook.store(announceCurrentMove);
  timerHook.store(armSearchTimer);
  tablebaseHook.store(probeEndgameTable);
}

}  // namespace engine
