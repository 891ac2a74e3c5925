#include "engine/search/rootsearch.h"

#include <algorithm>

#include "engine/board/legality.h"
#include "engine/board/movegen.h"
#include "engine/board/random.h"
#include "engine/board/setup.h"
#include "engine/eval/evaluate.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/search/hook_slots.h"
#include "engine/search/search.h"
#include "engine/search/threads.h"
#include "engine/search/timecontrol.h"
#include "platform/clock.h"
#include "platform/critical_section.h"
#include "platform/event.h"

namespace engine {

int32_t searchDepth = 3;
int32_t lineIndex = 0;
int32_t previousScore = -ScoreBound;
std::atomic<int32_t> onFirstRootMove{0};
std::atomic<int32_t> linesReported{0};

// The easy-move test's figures: the factor (tenths; 10 = none) that a
// best move keeping its score applies to the time ratio, that move and the
// score it must keep. And half the depth of the root's stored result,
// which the next depth never lands on.
static int32_t easyFactor = 10;
static Move easyMove = noMove;
static int32_t easyScore = 0;
static int32_t hashDepthMark = 0;

// Draws of the opening randomisation: they continue the fixed sequence
// (seeded with 0) after the draws that made the key tables, three per key,
// one key per kind and board square.
constexpr int32_t KeyTableDraws = KindCount * 64 * 3;
static RandomState openingRandom;
static bool openingRandomReady = false;

static int32_t drawOpeningRandom() {
  if (!openingRandomReady) {
    seedRandom(openingRandom, 0);
    for (int32_t i = 0; i < KeyTableDraws; ++i) drawRandom(openingRandom);
    openingRandomReady = true;
  }
  return drawRandom(openingRandom);
}

// Iteration depth to start with, and the time ratio thresholds.
constexpr int32_t FirstIterationDepth = 3;
constexpr int32_t ThreatDepthOffset = 9;
constexpr int32_t LineWindowStep = 10;
constexpr int32_t TablebaseOffDepth = 6;
constexpr int32_t SingleMoveDepth = 6;
constexpr int32_t EasyRatioLimit = 5;
constexpr int32_t TimeRuleRatio = 60;
constexpr int32_t DoubleStepRatio = 35;
constexpr int32_t TripleStepRatio = 4;
constexpr int32_t PonderPollMs = 100;

static bool isPawnToLastRank(const Position* position, Move move) {
  if (move == noMove) return false;
  const PieceRecord* piece = squareAt(position->board, moveFrom(move));
  int32_t to = moveTo(move);
  return piece->kind->code == PawnCode && (rankOf(to) == 0 || rankOf(to) == 7);
}

// Appends a line's best move to the exclusion list; the list is read back
// from its last entry to the leading noMove.
static Move* appendExclusion(Move* last, Move move) {
  *++last = move;
  return last;
}

void rootSearch(Position* position, int32_t lines) {
  static bool firstSearch = true;
  static Move linePv[MaxRootLines][PvLength];
  static Move easyPv[PvLength];
  static Move exclusion[MaxRootLines + 2];
  Move killers[2] = {noMove, noMove};
  lines = std::clamp(lines, 1, MaxRootLines);
  const TimeControl control = timeControl;
  const int32_t lowerBound = engineWord(ParamRootLowerBound);
  const int32_t maxDepth = std::clamp(engineWord(ParamMaxDepth), MinIterationDepth, MaxIterationDepth);

  // Step 1. The tablebase hook may be switched off for this search.
  TablebaseHook savedTablebaseHook = tablebaseHook.load(std::memory_order_relaxed);

  // Steps 2 and 3. The time of this search and the first timer. A ponderhit
  // that came before this point starts the clock now.
  if (firstSearch) clearStopwatch(&searchStopwatch);
  firstSearch = false;
  // A table emptied before each search is emptied at once (a new
  // generation), not zeroed: zeroing a table of gigabytes takes longer
  // than a short move's whole clock, which the GUI started at "go".
  if (engineWord(ParamClearHash) != 0) emptyHash(&engineHash);
  platform::enterCriticalSection(controlLock);
  allocateTime(position->side > 0 ? whiteClock.accumulated : blackClock.accumulated);
  startStopwatch(&searchStopwatch);
  if (ponderHitPending.exchange(0) && thinkState.load() == ThinkUnlimited) thinkState.store(ThinkOnClock);
  rootPhase.store(PhaseTimed);
  if (thinkState.load() != ThinkUnlimited && timerTime > 0) callTimerHook(timerTime, maxTime);
  platform::leaveCriticalSection(controlLock);
  linesReported.store(0);

  // Step 4. Opening randomisation.
  futilityMargin = 10;
  openingOffset = 0;
  if (engineWord(ParamOpeningRandom) != 0 && moveNumber <= 32) {
    int32_t r = drawOpeningRandom();
    openingOffset = moveNumber <= 16 ? ((r * 5) >> 15) - 2 : ((r * 3) >> 15) - 1;
    futilityMargin = 10 + openingOffset;
  }

  // Step 5. The master board and the root position.
  ThreadBoard* board = position->board;
  board->splitPoint = &noSplitPosition;
  board->splitOwner = board;
  board->splitNode = nullptr;
  setBoardGeneration(board, 1);
  searchGeneration.store(1);
  board->nodeCount = 0;
  helperNodeCount.store(0);
  position->firstReply = noMove;
  position->killers[0] = position->killers[1] = noMove;
  position->parent = nullptr;
  position->matedScore = ScoreMatedAtRoot;
  position->stateFlags = (position->stateFlags & ~StateDriftPending) | StateWhiteQuiesce | StateBlackQuiesce;
  // Refutations of threats are learnt afresh in every search.
  for (SideRecord* side : {&board->white, &board->black})
    std::fill(std::begin(side->refutations), std::end(side->refutations), noMove);
  for (auto& row : historyTable) std::fill(std::begin(row), std::end(row), 0);
  historyHalving = 0;
  resetMoveStack(position);

  // Step 6. Re-derive the evaluation weights.
  evaluate(position, 1);

  // Step 7. Depth of the root's stored result, read before this search's
  // marks go in.
  HashKey rootKey = {position->key, position->lock, 0};
  const HashEntry* rootEntry = hashLookup(&engineHash, &rootKey);
  hashDepthMark = rootEntry != nullptr ? rootEntry->depth / 2 : 0;
  prepareHashForSearch(&engineHash, 1);

  // Step 8. First depth and the root's threat.
  searchDepth = control.type == TimeFixedDepth ? std::min(maxDepth, control.time) : FirstIterationDepth;
  searchDepth = std::clamp(searchDepth, MinIterationDepth, maxDepth);
  position->threatGrade = 0;
  detectThreat(position, -ScoreBound, 0);

  // Step 9.
  previousScore = -ScoreBound;
  easyFactor = 10;
  position->futilityBase = -ScoreBound;
  timeDecided.store(0);
  iterationDone.store(0);

  bool normalEnd = false;
  int32_t e = -ScoreBound;
  // The score of the last first line searched to its end, for the line a
  // stopped search falls back on: a stopped search's own result is no score.
  int32_t lastLineScore = 0;
  for (;;) {
    const int32_t d = searchDepth;
    // Step 1.
    lineIndex = 0;
    // Step 2. The front end's new-depth line, and the threat at depth.
    if (d > ThreatDepthOffset && engineWord(ParamThreatDetection) != 0) {
      if (currMoveHook.load() != nullptr && hostCallbacks.reportCurrMove != nullptr)
        hostCallbacks.reportCurrMove(d, noMove, 0);
      detectThreat(position, -ScoreBound, d - ThreatDepthOffset);
    }
    // Step 3.
    if (stopRequested()) break;

    // Step 4. The first line.
    exclusion[0] = noMove;
    Move* lastExcluded = &exclusion[0];
    killers[0] = noMove;
    linePv[0][0] = noMove;  // stays so when no move reaches the window
    e = searchNode(position, d, ScoreBound, lowerBound, killers, linePv[0], lastExcluded);
    if (stopRequested()) break;
    // Step 5. A fail low against the window's lower bound has no move.
    if (e <= lowerBound) linePv[0][0] = noMove;
    const Move best = linePv[0][0];
    if (best != noMove) lastLineScore = e;
    // Step 6.
    if (lines > 1) callInfoHook(d, e, linePv[0], 0);
    // Step 7. Early promotions are judged without tablebases.
    if (d < TablebaseOffDepth && isPawnToLastRank(position, best)) tablebaseHook.store(nullptr);

    // Step 8. Further lines, each below the one before it.
    int32_t lineScore = e;
    if (best != noMove) {
      lastExcluded = appendExclusion(lastExcluded, best);
      lineIndex += 1;
      while (lineIndex < lines && !stopRequested() && position->movesSearched > 1) {
        resetMoveStack(position);
        killers[0] = noMove;
        Move* line = linePv[lineIndex];
        line[0] = noMove;
        int32_t score = searchNode(position, d, lineScore + LineWindowStep, lowerBound, killers, line, lastExcluded);
        if (!stopRequested()) callInfoHook(d, score, line, 0);
        // A line without a move ends the list: a noMove would cut the
        // exclusion list short.
        if (line[0] == noMove || score <= lowerBound) break;
        lastExcluded = appendExclusion(lastExcluded, line[0]);
        lineScore = score;
        lineIndex += 1;
      }
    }

    // Step 9. End tests.
    if (control.type == TimeFixedDepth) { normalEnd = true; break; }
    if (best == noMove && lowerBound == -ScoreBound) { normalEnd = true; break; }
    if (d >= maxDepth) { normalEnd = true; break; }
    if (position->movesSearched == 1 && e > rootScoreFloor && d > SingleMoveDepth) { normalEnd = true; break; }

    // Step 10. Time ratio. The clock counts whole milliseconds: a reading
    // of 0 means under one, so it counts as one, and an iteration that
    // finished within the first millisecond does not look free on a small
    // target and send the next depths leaping ahead.
    const int32_t elapsed = std::max(stopwatchElapsed(&searchStopwatch), 1);
    int32_t ratio = int32_t(elapsed * 100.0 / targetTime);

    // Step 11. Easy move: how far the second best stays below the best.
    if (ratio < EasyRatioLimit && e > rootScoreFloor && control.type != TimePerMoveMs && lines == 1) {
      InfoHook savedInfoHook = infoHook.exchange(nullptr);
      resetMoveStack(position);
      easyMove = best;
      exclusion[0] = noMove;
      exclusion[1] = best;
      killers[0] = noMove;
      easyPv[0] = noMove;
      int32_t e2 = searchNode(position, d, e - 70, e - 151, killers, easyPv, &exclusion[1]);
      infoHook.store(savedInfoHook);
      int32_t gap = e - e2;
      if (gap >= 150) {
        easyFactor = 30;
        easyScore = e2 + 150;
      } else if (gap >= 71) {
        easyFactor = 20;
        easyScore = e2 + 71;
      } else {
        easyFactor = 10;
      }
    }

    // Step 12.
    if (stopRequested()) break;
    iterationDone.store(1);

    // Step 13. Adjust the ratio.
    const bool fixedTime = control.type == TimePerMoveSeconds || control.type == TimePerMoveMs;
    if (best == easyMove && easyFactor != 10 && e >= easyScore) ratio = ratio * easyFactor / 10;
    if (e + 20 < previousScore && !fixedTime) ratio = 2 * ratio / 3;
    if (e < -50 && !fixedTime) ratio = 3 * ratio / 4;
    previousScore = e;

    // Step 14. Time rule.
    if (ratio >= TimeRuleRatio || d > maxDepth) {
      timeDecided.store(1);
      if (thinkState.load() != ThinkUnlimited && control.type != TimePerMoveMs) { normalEnd = true; break; }
    }

    // Step 15. Next depth: skip ahead while time is plentiful, but never
    // onto the depth of the stored root result.
    int32_t next = d + 1;
    if (ratio < DoubleStepRatio && next != hashDepthMark && next != hashDepthMark + 1) {
      next = d + 2;
      if (ratio < TripleStepRatio && next != hashDepthMark + 1 && next != hashDepthMark) next = d + 3;
    }
    searchDepth = std::min(maxDepth, next);
    resetMoveStack(position);
  }

  // End 1. The final line of a one-line search. It is the first line, not
  // the line after it that the index counted on to.
  if (normalEnd && lines == 1) {
    lineIndex = 0;
    callInfoHook(searchDepth, e, linePv[0], 0);
  }
  // A search stopped before any line leaves the host without a move: give
  // it the root's first legal move.
  if (linesReported.load() == 0 && infoHook.load() != nullptr) {
    Move fallback[2] = {firstLegalMove(position), noMove};
    lineIndex = 0;
    if (fallback[0] != noMove) callInfoHook(std::max(searchDepth, 1), lastLineScore, fallback, 0);
  }

  // End 2.
  unmarkGameHistory(&engineHash);
  tablebaseHook.store(savedTablebaseHook);
  platform::enterCriticalSection(controlLock);
  rootPhase.store(PhaseFinished);
  callTimerHook(0, 0);
  platform::leaveCriticalSection(controlLock);
}

void think(int32_t lines, int32_t mode) {
  // Step 1.
  platform::enterCriticalSection(controlLock);
  rootPhase.store(PhasePreparing);
  thinkState.store(mode != ThinkNormal ? ThinkUnlimited : ThinkOnClock);
  platform::leaveCriticalSection(controlLock);
  engineSide = rootPosition.side;
  // Step 2.
  rootSearch(&rootPosition, lines);
  // Step 3. A ponder or infinite search that ended by itself waits; ponderhit
  // and stop set the event after changing the state, so the wait ends at
  // once (the event stays set until a wait takes it). The time-out is only
  // a backstop.
  while (thinkState.load() == ThinkUnlimited && !stopRequested()) platform::waitEventFor(&searchWake, PonderPollMs);
  // Step 4.
  platform::enterCriticalSection(controlLock);
  thinkState.store(ThinkIdle);
  ponderHitPending.store(0);
  platform::leaveCriticalSection(controlLock);
}

}  // namespace engine
