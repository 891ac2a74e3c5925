#include "frontend/worker.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/board/setup.h"
#include "frontend/book.h"
#include "frontend/console.h"
#include "frontend/engine_link.h"
#include "frontend/game_position.h"
#include "frontend/options.h"
#include "frontend/position_command.h"
#include "frontend/search_control.h"
#include "frontend/search_output.h"
#include "frontend/setoption.h"
#include "frontend/uci_loop.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "tablebases/block_cache.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

namespace frontend {

namespace {

// Tokens of a worker command: "think" and its eight numbers.
constexpr int32_t WorkerMaxTokens = 16;
// How often a held-back reply looks for "ponderhit" or "stop".
constexpr uint32_t ReleasePollMs = 2;
// The unit of the think line's clocks.
constexpr int32_t MillisecondsPerSecond = 1000;

char commandBuffer[CommandBufferBytes];
platform::Event* commandPosted = nullptr;
platform::Event* workerIdle = nullptr;
std::atomic<bool> workerStarted{false};

const CommandEntry workerCommandTable[] = {
    {"waitforidle", 1, 1, handleWaitForIdle},
    {"think", 9, 9, handleThink},
    {nullptr, 0, 0, nullptr},
};

void workerMain(void* /*argument*/) {
  platform::setEvent(workerIdle);
  for (;;) dispatchCommand();
}

// In ponder and analysis modes the controller expects no "bestmove" before
// "ponderhit" or "stop": a reply found without searching waits for them.
void holdUntilReleased(int32_t mode) {
  if (mode == ModeNormal) return;
  while (!searchReleased.load(std::memory_order_relaxed)) platform::sleepMilliseconds(ReleasePollMs);
}

// The request is over once its move is known: a command read from now on
// has no search to stop, whether or not the "bestmove" line is out yet.
void endSearchWith(engine::Move best, engine::Move ponder) {
  searchRunning.store(false, std::memory_order_relaxed);
  printBestMove(best, ponder);
}

// The engine parameters as the options set them ("go" keeps the shown
// contempt in the record, the engine has the option's), with the depth word
// capped when a limit is given.
void sendEngineParameters(int32_t depthLimit) {
  engine::EngineParameters parameters;
  {
    std::lock_guard<std::mutex> guard(searchOutputLock);
    parameters = frontParameters;
  }
  parameters.words[engine::ParamContempt] = optionSpinNumber("Contempt");
  int32_t& maxDepth = parameters.words[engine::ParamMaxDepth];
  if (depthLimit > 0 && depthLimit < maxDepth) maxDepth = depthLimit;
  engineEntries.setEngineParameters(&parameters);
}

}  // namespace

bool startEngine() {
  // The channel's events, both not signalled.
  commandPosted = platform::createEvent();
  workerIdle = platform::createEvent();
  // Every option takes effect; the mirror and the engine start from
  // the start position, so a "go" before any "position" searches a game.
  initMirror();
  applyAllOptions();
  setStartPosition();
  // The worker; without it the engine cannot search.
  bool started = platform::startThread(workerMain, nullptr);
  workerStarted.store(started, std::memory_order_relaxed);
  return started;
}

bool workerAvailable() { return workerStarted.load(std::memory_order_relaxed); }

bool postCommand(const char* format, ...) {
  if (!workerAvailable()) return false;
  // The worker must have finished its previous command.
  platform::waitEvent(workerIdle);
  // Format, cut at the first newline, copy into the buffer.
  char text[CommandBufferBytes];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof(text), format, arguments);
  va_end(arguments);
  stripNewline(text);
  std::memcpy(commandBuffer, text, sizeof(commandBuffer));
  platform::setEvent(commandPosted);
  return true;
}

void waitForWorkerIdle() { postCommand("waitforidle"); }

void dispatchCommand() {
  platform::waitEvent(commandPosted);
  // One whole copy for messages, one cut into tokens.
  char whole[WorkerCopyBytes];
  char split[WorkerCopyBytes];
  std::memcpy(whole, commandBuffer, sizeof(whole) - 1);
  whole[sizeof(whole) - 1] = '\0';
  std::memcpy(split, whole, sizeof(split));
  char* tokens[WorkerMaxTokens];
  int32_t count = splitTokens(split, tokens, WorkerMaxTokens);
  if (count > 0) {
    const CommandEntry* row = workerCommandTable;
    while (row->name != nullptr && std::strcmp(row->name, tokens[0]) != 0) ++row;
    if (row->name != nullptr && count >= row->minTokens && count <= row->maxTokens)
      row->handler(whole, tokens, count, tokens[0]);
    else
      reportError("internal error", whole);
  }
  platform::setEvent(workerIdle);
}

bool handleWaitForIdle(const char* /*line*/, char** /*tokens*/, int32_t /*count*/, const char* /*first*/) {
  return true;
}

bool handleThink(const char* /*line*/, char** tokens, int32_t count, const char* /*first*/) {
  FRONTEND_CHECK(count == 9);
  // The side to move picks the clock and increment; the linked
  // core, which has no think entry of its own, learns it too.
  int32_t side = mirrorSideToMove();
  engine::setEngineSide(side);
  int32_t numbers[8];
  for (int32_t i = 0; i < 8; ++i) numbers[i] = textToNumber(tokens[i + 1]);
  runThink(numbers[0], numbers[1], side > 0 ? numbers[2] : numbers[3], numbers[4], side > 0 ? numbers[5] : numbers[6],
           numbers[7]);
  return true;
}

void runThink(int32_t mode, int32_t type, int32_t ownTime, int32_t movesToGo, int32_t ownIncrement,
              int32_t depthLimit) {
  // Step 1. The engine takes a clock in whole seconds and the milliseconds
  // beyond them in its extra word, the increment in milliseconds: an
  // increment under a second still pays the lag of each move.
  if (type == TypeClock)
    engineEntries.setTimeControl(type, ownTime / MillisecondsPerSecond, movesToGo, ownIncrement,
                                 ownTime % MillisecondsPerSecond);
  else
    engineEntries.setTimeControl(type, ownTime, movesToGo, ownIncrement, 0);
  // Step 2. The tablebase hits shown are this search's.
  tablebases::tbHits.store(0, std::memory_order_relaxed);
  // A position without a legal move has nothing to search.
  if (!mirrorHasLegalMove()) {
    holdUntilReleased(mode);
    endSearchWith(engine::noMove, engine::noMove);
    return;
  }
  // Step 3. The book answers without a search, when it knows the position
  // and its move is legal here.
  if (optionIsTrue("OwnBook") && mode != ModeInfinite) {
    engine::Move move = engine::noMove;
    probeBook(&book, &move, &gamePosition, optionSpinNumber("Book_selectivity"));
    if (move != engine::noMove && isLegalMirrorMove(move)) {
      engine::Move variation[2] = {move, engine::noMove};
      setNodeCount(0);
      engine::SearchInfo info = {0, 0, 0, 0, 0, variation, 0};
      reportPv(&info);
      holdUntilReleased(mode);
      endSearchWith(move, engine::noMove);
      return;
    }
  }
  // Step 4. Several lines only in infinite analysis.
  int32_t lines = mode == ModeInfinite ? optionSpinNumber("MultiPV") : 1;
  // Step 5. Blocks until the search, and any wait for "ponderhit" or "stop",
  // is over. A depth limit holds for this search only.
  if (depthLimit > 0) sendEngineParameters(depthLimit);
  engineEntries.think(lines, mode);
  if (depthLimit > 0) sendEngineParameters(0);
  // Step 6. A stop before the first line, or an engine that named no legal
  // move, still gets a legal reply when the position has one.
  engine::Move best;
  engine::Move ponder;
  {
    std::lock_guard<std::mutex> guard(searchOutputLock);
    best = bestMove;
    ponder = ponderMove;
  }
  if (best == engine::noMove || !isLegalMirrorMove(best)) {
    best = firstLegalMirrorMove();
    ponder = engine::noMove;
  }
  endSearchWith(best, ponder);
}

}  // namespace frontend
