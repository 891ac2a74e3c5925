#include "engine/module/engine_entries.h"

#include <cstring>

#include "engine/board/setup.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/module/hooks.h"
#include "engine/search/rootsearch.h"
#include "engine/search/threads.h"

namespace engine {

// The game as the host gave it, kept so that a re-initialisation (which
// rebuilds the master board) can rebuild the root position.
constexpr int32_t MaxStoredText = SetupTextSize;
constexpr int32_t MaxStoredMoves = MaxGameMoves;
static char storedText[MaxStoredText];
static bool storedIsStart = true;
static bool storedValid = false;
static Move storedMoves[MaxStoredMoves];
static int32_t storedMoveCount = 0;
static bool engineInitialised = false;

void clearEngineHash() { clearHash(&engineHash); }

// Rebuilds the root on the new master board by setting the stored game up
// again and replaying its moves; the record, clocks and history then go back
// exactly as they were (the replay would have restarted the clocks).
static void restoreRootPosition() {
  if (!storedValid) return;
  static GameSnapshot game;
  saveGame(&game);
  const bool rebuilt = setUpGame(&rootPosition, storedIsStart ? nullptr : storedText) == 0;
  QL_CHECK(rebuilt);
  for (int32_t i = 0; i < storedMoveCount; ++i) playGameMove(storedMoves[i]);
  restoreGame(&game);
}

uint32_t initEngine(uint32_t hashBytes, int32_t tbLimit) {
  tbPieceLimit = tbLimit;
  uint32_t bytes = initHashAndKeys(hashBytes);
  initPosition(&rootPosition, &masterBoard);
  initPosition(&noSplitPosition, &masterBoard);
  createThreadPool(engineParameters.words[ParamThreads]);
  // The master board was built anew: the game's root goes back on it.
  if (engineInitialised) restoreRootPosition();
  engineInitialised = true;
  return bytes;
}

void releaseEngineHash() { releaseHash(); }

int32_t setEnginePosition(const char* fenText) {
  // A refused text changes nothing: the game in play and the stored copy
  // stay, so a later re-initialisation rebuilds that game.
  if (setUpGame(&rootPosition, fenText) != 0) return -1;
  storedMoveCount = 0;
  storedIsStart = fenText == nullptr;
  storedValid = storedIsStart || std::strlen(fenText) < size_t(MaxStoredText);
  if (storedValid && !storedIsStart) std::strcpy(storedText, fenText);
  return 0;
}

int32_t playEngineMove(Move move, int32_t promotionLetter) {
  const PieceRecord* piece = squareAt(rootPosition.pg, moveFrom(move));
  move = applyPromotionLetter(move, piece->kind->code, promotionLetter);
  if (storedMoveCount < MaxStoredMoves) {
    storedMoves[storedMoveCount++] = move;
  } else {
    storedValid = false;  // too long to replay
  }
  return playGameMove(move);
}

void thinkEntry(int32_t lines, int32_t mode) { think(lines, mode); }

void bindEngine(HostCallbacks* in, EngineEntries* out) {
  // Step 1.
  rootScoreFloor = -ScoreBound;
  // Step 2. Slot 8 stays as the host left it.
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
  // Step 3.
  hostCallbacks = *in;
  // Step 4.
  engineParameters = defaultEngineParameters;
  // Step 5.
  infoHook.store(reportSearchInfo);
  currMoveHook.store(announceCurrentMove);
  timerHook.store(armSearchTimer);
  tablebaseHook.store(probeEndgameTable);
}

}  // namespace engine
