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
constexpr int32_t PercentScale = 100;

// The futility margin of a search, and the opening randomisation that may
// move it: up to this move number, by -2..+2 up to the wide limit and by
// -1..+1 after it (a draw of RandomBits bits spread over the range).
constexpr int32_t BaseFutilityMargin = 10;
constexpr int32_t OpeningRandomMoves = 32;
constexpr int32_t WideRandomMoves = 16;
constexpr int32_t WideRandomSpread = 5;
constexpr int32_t NarrowRandomSpread = 3;
constexpr int32_t RandomBits = 15;

// The easy-move test: the second best is searched in a window this far
// below the best score. A gap of EasyGap or more multiplies the time ratio
// by EasyFactor, a gap of ClearEasyGap by ClearEasyFactor (in tenths;
// NoEasyFactor leaves it), while the best move keeps its score above the
// second best plus the gap.
constexpr int32_t EasyWindowTop = 70;
constexpr int32_t EasyWindowBottom = 151;
constexpr int32_t EasyGap = 71;
constexpr int32_t ClearEasyGap = 150;
constexpr int32_t Tenths = 10;
constexpr int32_t NoEasyFactor = Tenths;
constexpr int32_t EasyFactor = 20;
constexpr int32_t ClearEasyFactor = 30;
// A score this far below the last iteration's (a fail low), or below the
// losing score, gives the search more time.
constexpr int32_t FailLowMargin = 20;
constexpr int32_t LosingScore = -50;

int32_t searchDepth = FirstIterationDepth;
int32_t lineIndex = 0;
int32_t previousScore = -ScoreBound;
std::atomic<int32_t> onFirstRootMove{0};
std::atomic<int32_t> linesReported{0};

// The easy-move test's figures: the factor (in tenths) that a best move
// keeping its score applies to the time ratio, that move and the score it
// must keep. And half the depth of the root's stored result, which the
// next depth never lands on.
static int32_t easyFactor = NoEasyFactor;
static Move easyMove = noMove;
static int32_t easyScore = 0;
static int32_t hashDepthMark = 0;

// Draws of the opening randomisation: they continue the fixed sequence
// (seeded with 0) after the draws that made the key tables, three per key,
// one key per kind and board square.
constexpr int32_t BoardSquares = 64;
constexpr int32_t DrawsPerKey = 3;
constexpr int32_t KeyTableDraws = KindCount * BoardSquares * DrawsPerKey;
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

namespace {

bool isPawnToLastRank(const Position* position, Move move) {
  if (move == noMove) return false;
  const PieceRecord* piece = squareAt(position->board, moveFrom(move));
  int32_t to = moveTo(move);
  return piece->kind->code == PawnCode && (rankOf(to) == Rank1 || rankOf(to) == Rank8);
}

// Appends a line's best move to the exclusion list; the list is read back
// from its last entry to the leading noMove.
Move* appendExclusion(Move* last, Move move) {
  *++last = move;
  return last;
}

// The driver's buffers: each principal variation's line, the easy-move
// test's line, and the exclusion list (a leading noMove, then each line's
// best move).
Move linePv[MaxRootLines][PvLength];
Move easyPv[PvLength];
Move exclusion[MaxRootLines + 2];
bool firstSearch = true;

// One search of the root while the driver runs it: its settings, the
// killers it hands the root node (the previous line's best), and the
// results of the current iteration.
struct RootSearch {
  Position* position;
  int32_t lines;
  TimeControl control;
  int32_t lowerBound;  // of the root window
  int32_t maxDepth;
  Move killers[2];
  Move* lastExcluded;
  int32_t depth;  // of the current iteration
  int32_t score;  // the first line's score
  Move best;      // the first line's move (noMove below the window)
  // The score of the last first line searched to its end, for the line a
  // stopped search falls back on: a stopped search's own result is no score.
  int32_t lastLineScore;
};

// The time of this search and its first timer. A ponderhit that came
// before this point starts the clock now.
void startClock(const Position* position) {
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
}

// The futility margin, moved by the opening randomisation when it is on.
void drawOpeningOffset() {
  futilityMargin = BaseFutilityMargin;
  openingOffset = 0;
  if (engineWord(ParamOpeningRandom) == 0 || moveNumber > OpeningRandomMoves) return;
  const int32_t r = drawOpeningRandom();
  const int32_t spread = moveNumber <= WideRandomMoves ? WideRandomSpread : NarrowRandomSpread;
  openingOffset = ((r * spread) >> RandomBits) - spread / 2;
  futilityMargin = BaseFutilityMargin + openingOffset;
}

// The master board and the root position: no split point, fresh counts,
// the root's search fields; the history and the refutations of threats
// are learnt afresh in every search.
void prepareRoot(Position* position) {
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
  for (SideRecord* side : {&board->white, &board->black})
    std::fill(std::begin(side->refutations), std::end(side->refutations), noMove);
  for (auto& row : historyTable) std::fill(std::begin(row), std::end(row), 0);
  historyHalving = 0;
  resetMoveStack(position);
}

// Everything before the first iteration.
void prepareSearch(RootSearch* rs) {
  Position* position = rs->position;

  // Step 1. The clock, the opening randomisation, the root.
  startClock(position);
  drawOpeningOffset();
  prepareRoot(position);

  // Step 2. Re-derive the evaluation weights.
  evaluate(position, 1);

  // Step 3. Depth of the root's stored result, read before this search's
  // marks go in.
  HashKey rootKey = {position->key, position->lock, 0};
  const HashEntry* rootEntry = hashLookup(&engineHash, &rootKey);
  hashDepthMark = rootEntry != nullptr ? rootEntry->depth / EntryDepthScale : 0;
  prepareHashForSearch(&engineHash, 1);

  // Step 4. First depth and the root's threat.
  searchDepth =
      rs->control.type == TimeFixedDepth ? std::min(rs->maxDepth, rs->control.time) : FirstIterationDepth;
  searchDepth = std::clamp(searchDepth, MinIterationDepth, rs->maxDepth);
  position->threatGrade = 0;
  detectThreat(position, -ScoreBound, 0);

  // Step 5. Nothing searched yet.
  previousScore = -ScoreBound;
  easyFactor = NoEasyFactor;
  position->futilityBase = -ScoreBound;
  timeDecided.store(0);
  iterationDone.store(0);
}

// The lines after the first, each searched below the one before it with
// the moves of the earlier lines excluded, while the root has moves left.
void searchFurtherLines(RootSearch* rs) {
  Position* position = rs->position;
  int32_t lineScore = rs->score;
  rs->lastExcluded = appendExclusion(rs->lastExcluded, rs->best);
  lineIndex += 1;
  while (lineIndex < rs->lines && !stopRequested() && position->movesSearched > 1) {
    resetMoveStack(position);
    rs->killers[0] = noMove;
    Move* line = linePv[lineIndex];
    line[0] = noMove;
    int32_t score =
        searchNode(position, rs->depth, lineScore + LineWindowStep, rs->lowerBound, rs->killers, line, rs->lastExcluded);
    if (!stopRequested()) callInfoHook(rs->depth, score, line, 0);
    // A line without a move ends the list: a noMove would cut the
    // exclusion list short.
    if (line[0] == noMove || score <= rs->lowerBound) break;
    rs->lastExcluded = appendExclusion(rs->lastExcluded, line[0]);
    lineScore = score;
    lineIndex += 1;
  }
}

// One iteration at searchDepth: the threat at depth, the first line, the
// further lines. False when a stop ended it.
bool searchIteration(RootSearch* rs) {
  Position* position = rs->position;
  const int32_t d = rs->depth = searchDepth;

  // Step 1. The front end's new-depth line, and the threat at depth.
  lineIndex = 0;
  if (d > ThreatDepthOffset && engineWord(ParamThreatDetection) != 0) {
    if (currMoveHook.load() != nullptr && hostCallbacks.reportCurrMove != nullptr)
      hostCallbacks.reportCurrMove(d, noMove, 0);
    detectThreat(position, -ScoreBound, d - ThreatDepthOffset);
  }
  if (stopRequested()) return false;

  // Step 2. The first line; a fail low against the window's lower bound
  // has no move.
  exclusion[0] = noMove;
  rs->lastExcluded = &exclusion[0];
  rs->killers[0] = noMove;
  linePv[0][0] = noMove;  // stays so when no move reaches the window
  rs->score = searchNode(position, d, ScoreBound, rs->lowerBound, rs->killers, linePv[0], rs->lastExcluded);
  if (stopRequested()) return false;
  if (rs->score <= rs->lowerBound) linePv[0][0] = noMove;
  rs->best = linePv[0][0];
  if (rs->best != noMove) rs->lastLineScore = rs->score;
  if (rs->lines > 1) callInfoHook(d, rs->score, linePv[0], 0);

  // Step 3. Early promotions are judged without tablebases.
  if (d < TablebaseOffDepth && isPawnToLastRank(position, rs->best)) tablebaseHook.store(nullptr);

  // Step 4. Further lines.
  if (rs->best != noMove) searchFurtherLines(rs);
  return true;
}

// The end tests after an iteration: a fixed depth, no legal move, the
// depth limit, or a single move (after a few iterations, with a score).
bool searchComplete(const RootSearch* rs) {
  if (rs->control.type == TimeFixedDepth) return true;
  if (rs->best == noMove && rs->lowerBound == -ScoreBound) return true;
  if (rs->depth >= rs->maxDepth) return true;
  return rs->position->movesSearched == 1 && rs->score > rootScoreFloor && rs->depth > SingleMoveDepth;
}

// The time ratio: the search's time in percent of its target. The clock
// counts whole milliseconds: a reading of 0 means under one, so it counts
// as one, and an iteration that finished within the first millisecond does
// not look free on a small target and send the next depths leaping ahead.
int32_t timeRatio() {
  const int32_t elapsed = std::max(stopwatchElapsed(&searchStopwatch), 1);
  return int32_t(elapsed * double(PercentScale) / targetTime);
}

// The easy-move test, early in the time and with one line: how far does
// the second best stay below the best? The further, the sooner the search
// may end while the best keeps its score.
void testEasyMove(RootSearch* rs, int32_t ratio) {
  if (ratio >= EasyRatioLimit || rs->score <= rootScoreFloor || rs->control.type == TimePerMoveMs || rs->lines != 1)
    return;
  InfoHook savedInfoHook = infoHook.exchange(nullptr);
  resetMoveStack(rs->position);
  easyMove = rs->best;
  exclusion[0] = noMove;
  exclusion[1] = rs->best;
  rs->killers[0] = noMove;
  easyPv[0] = noMove;
  const int32_t e = rs->score;
  const int32_t e2 =
      searchNode(rs->position, rs->depth, e - EasyWindowTop, e - EasyWindowBottom, rs->killers, easyPv, &exclusion[1]);
  infoHook.store(savedInfoHook);
  const int32_t gap = e - e2;
  if (gap >= ClearEasyGap) {
    easyFactor = ClearEasyFactor;
    easyScore = e2 + ClearEasyGap;
  } else if (gap >= EasyGap) {
    easyFactor = EasyFactor;
    easyScore = e2 + EasyGap;
  } else {
    easyFactor = NoEasyFactor;
  }
}

// The time rule's ratio: an easy move that kept its score shortens it; a
// fail low or a losing score lengthens it (by two thirds, by three
// quarters), except with a fixed time per move.
int32_t adjustRatio(const RootSearch* rs, int32_t ratio) {
  const int32_t e = rs->score;
  const bool fixedTime = rs->control.type == TimePerMoveSeconds || rs->control.type == TimePerMoveMs;
  if (rs->best == easyMove && easyFactor != NoEasyFactor && e >= easyScore) ratio = ratio * easyFactor / Tenths;
  if (e + FailLowMargin < previousScore && !fixedTime) ratio = 2 * ratio / 3;
  if (e < LosingScore && !fixedTime) ratio = 3 * ratio / 4;
  return ratio;
}

// The time rule: past the ratio the time is decided, and the search ends
// unless it thinks without a clock or has a fixed time per move (the timer
// ends those).
bool timeRuleEnds(const RootSearch* rs, int32_t ratio) {
  if (ratio < TimeRuleRatio && rs->depth <= rs->maxDepth) return false;
  timeDecided.store(1);
  return thinkState.load() != ThinkUnlimited && rs->control.type != TimePerMoveMs;
}

// The next depth: skip ahead while time is plentiful, but never onto the
// depth of the stored root result.
int32_t nextDepth(const RootSearch* rs, int32_t ratio) {
  const int32_t d = rs->depth;
  int32_t next = d + 1;
  if (ratio < DoubleStepRatio && next != hashDepthMark && next != hashDepthMark + 1) {
    next = d + 2;
    if (ratio < TripleStepRatio && next != hashDepthMark + 1 && next != hashDepthMark) next = d + 3;
  }
  return std::min(rs->maxDepth, next);
}

// After the last iteration: the final line of a one-line search (the first
// line, not the line after it that the index counted on to), or for a
// search stopped before any line the root's first legal move, so that the
// host is never left without one. Then the game's marks go, the tablebases
// come back and the timers are cancelled.
void finishSearch(const RootSearch* rs, bool normalEnd, TablebaseHook savedTablebaseHook) {
  if (normalEnd && rs->lines == 1) {
    lineIndex = 0;
    callInfoHook(searchDepth, rs->score, linePv[0], 0);
  }
  if (linesReported.load() == 0 && infoHook.load() != nullptr) {
    Move fallback[2] = {firstLegalMove(rs->position), noMove};
    lineIndex = 0;
    if (fallback[0] != noMove) callInfoHook(std::max(searchDepth, 1), rs->lastLineScore, fallback, 0);
  }
  unmarkGameHistory(&engineHash);
  tablebaseHook.store(savedTablebaseHook);
  platform::enterCriticalSection(controlLock);
  rootPhase.store(PhaseFinished);
  callTimerHook(0, 0);
  platform::leaveCriticalSection(controlLock);
}

}  // namespace

void rootSearch(Position* position, int32_t lines) {
  RootSearch rs;
  rs.position = position;
  rs.lines = std::clamp(lines, 1, MaxRootLines);
  rs.control = timeControl;
  rs.lowerBound = engineWord(ParamRootLowerBound);
  rs.maxDepth = std::clamp(engineWord(ParamMaxDepth), MinIterationDepth, MaxIterationDepth);
  rs.killers[0] = rs.killers[1] = noMove;
  rs.lastExcluded = &exclusion[0];
  rs.depth = 0;
  rs.score = -ScoreBound;
  rs.best = noMove;
  rs.lastLineScore = 0;

  // Step 1. The tablebase hook may be switched off for this search.
  const TablebaseHook savedTablebaseHook = tablebaseHook.load(std::memory_order_relaxed);

  // Step 2. The clock, the root and the first depth.
  prepareSearch(&rs);

  // Step 3. Iterations of rising depth until an end test, the time rule or
  // a stop ends the search (a stop without the final line).
  bool normalEnd = false;
  for (;;) {
    if (!searchIteration(&rs)) break;
    if (searchComplete(&rs)) {
      normalEnd = true;
      break;
    }
    int32_t ratio = timeRatio();
    testEasyMove(&rs, ratio);
    if (stopRequested()) break;
    iterationDone.store(1);
    ratio = adjustRatio(&rs, ratio);
    previousScore = rs.score;
    if (timeRuleEnds(&rs, ratio)) {
      normalEnd = true;
      break;
    }
    searchDepth = nextDepth(&rs, ratio);
    resetMoveStack(position);
  }

  // Step 4. The final line, and the search's end.
  finishSearch(&rs, normalEnd, savedTablebaseHook);
}

void think(int32_t lines, int32_t mode) {
  platform::enterCriticalSection(controlLock);
  rootPhase.store(PhasePreparing);
  thinkState.store(mode != ThinkNormal ? ThinkUnlimited : ThinkOnClock);
  platform::leaveCriticalSection(controlLock);
  setEngineSide(rootPosition.side);
  rootSearch(&rootPosition, lines);
  // A ponder or infinite search that ended by itself waits; ponderhit and
  // stop set the event after changing the state, so the wait ends at once
  // (the event stays set until a wait takes it). The time-out is only a
  // backstop.
  while (thinkState.load() == ThinkUnlimited && !stopRequested()) platform::waitEventFor(&searchWake, PonderPollMs);
  platform::enterCriticalSection(controlLock);
  thinkState.store(ThinkIdle);
  ponderHitPending.store(0);
  platform::leaveCriticalSection(controlLock);
}

}  // namespace engine
