#include "frontend/search_control.h"

#include <cstring>
#include <mutex>

#include "frontend/console.h"
#include "frontend/engine_link.h"
#include "frontend/game_position.h"
#include "frontend/options.h"
#include "frontend/search_output.h"
#include "frontend/setoption.h"
#include "frontend/uci_loop.h"
#include "frontend/worker.h"
#include "platform/timer.h"

namespace frontend {

std::atomic<bool> searchReleased{false};
std::atomic<bool> searchRunning{false};

namespace {

// Infinite analysis passes a nominal minute on both clocks.
constexpr int32_t AnalysisSeconds = 60;

// The two one-shot timers and the lock over their handles. The lock is
// never held while a timer is cancelled, because cancelling waits for a
// running callback, which may itself arm the extension timer.
platform::TimerHandle targetTimer = 0;
platform::TimerHandle extensionTimer = 0;
std::mutex timerSlotLock;

platform::TimerHandle takeTimer(platform::TimerHandle* slot) {
  std::lock_guard<std::mutex> guard(timerSlotLock);
  platform::TimerHandle handle = *slot;
  *slot = 0;
  return handle;
}

void armSlot(platform::TimerHandle* slot, uint32_t ms) {
  platform::TimerHandle handle = platform::armTimer(ms, onSearchTimer, nullptr);
  if (handle == 0) {
    reportError("CreateTimerQueueTime", "");
    return;
  }
  platform::TimerHandle previous;
  {
    std::lock_guard<std::mutex> guard(timerSlotLock);
    previous = *slot;
    *slot = handle;
  }
  // A replaced timer is deleted, so an old one never fires into a new search.
  platform::cancelTimer(previous);
}

// A clock value in milliseconds; never negative.
int32_t clockMilliseconds(int32_t ms) { return ms < 0 ? 0 : ms; }

}  // namespace

ThinkRequest parseGoTokens(const char* line, char** tokens, int32_t count, int32_t contempt) {
  // Step 1. Defaults: a normal search on the clock with nothing given.
  ThinkRequest request = {ModeNormal, TypeClock, 0, 0, 0, 0, 0, 0, contempt};
  bool infinite = false;
  bool clockGiven = false;
  int32_t moveTime = 0;  // 0: none given
  int32_t depth = 0;     // 0: none given
  // Step 2. Keywords in any order. The mode follows the last of "ponder"
  // and "infinite"; the kind of search is settled after the walk.
  for (int32_t i = 1; i < count; ++i) {
    const char* word = tokens[i];
    bool takesValue = std::strcmp(word, "wtime") == 0 || std::strcmp(word, "btime") == 0 ||
                      std::strcmp(word, "winc") == 0 || std::strcmp(word, "binc") == 0 ||
                      std::strcmp(word, "movestogo") == 0 || std::strcmp(word, "depth") == 0 ||
                      std::strcmp(word, "movetime") == 0 || std::strcmp(word, "mate") == 0 ||
                      std::strcmp(word, "nodes") == 0;
    if (takesValue && i + 1 >= count) {
      reportError("missing argument", line);
      continue;
    }
    if (std::strcmp(word, "infinite") == 0) {
      request.mode = ModeInfinite;
      infinite = true;
      continue;
    }
    if (std::strcmp(word, "ponder") == 0) {
      request.mode = ModePonder;
      continue;
    }
    if (std::strcmp(word, "searchmoves") == 0) {
      reportError("unsupported option searchmoves", line);
      continue;
    }
    if (!takesValue) continue;
    int32_t value = textToNumber(tokens[++i]);
    if (std::strcmp(word, "wtime") == 0) {
      request.whiteTime = clockMilliseconds(value);
      clockGiven = true;
    } else if (std::strcmp(word, "btime") == 0) {
      request.blackTime = clockMilliseconds(value);
      clockGiven = true;
    } else if (std::strcmp(word, "winc") == 0) {
      request.whiteIncrement = clockMilliseconds(value);
    } else if (std::strcmp(word, "binc") == 0) {
      request.blackIncrement = clockMilliseconds(value);
    } else if (std::strcmp(word, "movestogo") == 0) {
      request.movesToGo = value < 0 ? 0 : value;
    } else if (std::strcmp(word, "depth") == 0) {
      // A depth below one ply is read as one ply.
      depth = value < 1 ? 1 : value;
    } else if (std::strcmp(word, "movetime") == 0) {
      // A move time of nothing or less is read as one millisecond.
      moveTime = value < 1 ? 1 : value;
    } else if (std::strcmp(word, "mate") == 0) {
      reportError("unsupported option mate", line);
    } else {
      reportError("unsupported option nodes", line);
    }
  }
  // The kind of search: analysis runs until "stop", a move time is the
  // move's time whatever clocks come with it, then the clock; a depth with
  // any of them only limits the iterations. A depth alone is one search at
  // that depth.
  if (infinite) {
    request.type = TypeAnalysis;
    request.whiteTime = request.blackTime = AnalysisSeconds;
    request.contempt = 0;
  } else if (moveTime > 0) {
    request.type = TypeMoveTime;
    request.whiteTime = request.blackTime = moveTime;
  } else if (!clockGiven && depth > 0) {
    request.type = TypeDepth;
    request.whiteTime = request.blackTime = depth;
    depth = 0;
  }
  request.depthLimit = depth;
  return request;
}

bool handleGo(const char* line, char** tokens, int32_t count, const char* /*first*/) {
  // "go" may be the first command that needs the engine.
  ensureEngineStarted(line);
  if (!workerAvailable()) {
    reportError("Engine initialization failed", line);
    return true;
  }
  // A search still running (ponder, analysis) would hold this thread in
  // the post: end it first, its "bestmove" goes out before the new search.
  if (searchRunning.load(std::memory_order_relaxed)) endRunningSearch();
  // Contempt for the displayed scores, then the keywords.
  ThinkRequest request = parseGoTokens(line, tokens, count, optionSpinNumber("Contempt"));
  setContemptWord(request.contempt);
  // Reset the control state and hand the request to the worker.
  prepareSearch();
  searchRunning.store(true, std::memory_order_relaxed);
  postCommand("think %d %d %d %d %d %d %d %d", request.mode, request.type, request.whiteTime, request.blackTime,
              request.movesToGo, request.whiteIncrement, request.blackIncrement, request.depthLimit);
  return true;
}

bool handlePonderHit(const char* /*line*/, char** /*tokens*/, int32_t count, const char* /*first*/) {
  FRONTEND_CHECK(count == 1);
  if (!engineStarted) return true;
  searchReleased.store(true, std::memory_order_relaxed);
  engineEntries.ponderHit();
  return true;
}

void prepareSearch() {
  {
    std::lock_guard<std::mutex> guard(searchOutputLock);
    // A new search has searched nothing yet: its first iteration line must
    // not show the last search's count.
    nodeCount = 0;
    bestMove = engine::noMove;
    ponderMove = engine::noMove;
    forgetCurrMoves();
  }
  searchReleased.store(false, std::memory_order_relaxed);
  engineEntries.resetStopFlags();
}

void stopSearch() {
  searchReleased.store(true, std::memory_order_relaxed);
  engineEntries.stopThinking();
}

void endRunningSearch() {
  // Only a search is stopped; an idle worker has nothing to end.
  if (searchRunning.load(std::memory_order_relaxed)) stopSearch();
  waitForWorkerIdle();
}

void setSearchTimer(int32_t ms) {
  if (ms > 0) {
    armSlot(&targetTimer, static_cast<uint32_t>(ms));
  } else if (ms < 0) {
    armSlot(&extensionTimer, ms == INT32_MIN ? uint32_t(INT32_MAX) : static_cast<uint32_t>(-ms));
  } else {
    // Target first, then the extension that its callback may have armed.
    platform::cancelTimer(takeTimer(&targetTimer));
    platform::cancelTimer(takeTimer(&extensionTimer));
  }
}

void onSearchTimer(void* context, bool fired) { engineEntries.onTimer(context, fired); }

}  // namespace frontend
