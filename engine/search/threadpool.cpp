// The pool of helper threads, the hand-off of moves and the wait for them.
#include <algorithm>

#include "engine/board/check.h"
#include "engine/control/control.h"
#include "engine/search/search.h"
#include "engine/control/shared_word.h"
#include "engine/search/threads.h"
#include "platform/processors.h"
#include "platform/thread.h"

namespace engine {

constexpr int32_t MasterThreadId = 1;

static void searchThreadMain(void* argument);

void createThreadPool(int32_t requested) {
  // Step 1. Processors of the affinity mask.
  cpuCount = std::max(platform::processorCount(), 1);
  // Steps 3 and 4, on the first call only: the records and their threads.
  if (thread == nullptr) {
    int32_t records = std::min(2 * cpuCount, MaxThreadRecords);
    thread = new ThreadRecord[records];
    for (int32_t i = 0; i < records; ++i) {
      ThreadRecord* rec = &thread[i];
      initBoard(&rec->board);
      rec->board.threadId = i + 2;
      rec->position = new Position{};
      initPosition(rec->position, &rec->board);
      rec->position->killers[0] = rec->position->killers[1] = noMove;
      rec->queueEmpty = platform::createSemaphore(1, 1);
      rec->queueFull = platform::createSemaphore(0, 1);
      QL_CHECK(rec->queueEmpty != nullptr && rec->queueFull != nullptr);
      rec->active.store(nullptr, std::memory_order_relaxed);
      rec->busy.store(0, std::memory_order_relaxed);
      rec->resplitFlag = 0;
      rec->token = nullptr;
      rec->started = platform::startThread(searchThreadMain, rec);
      // A helper that cannot start ends the pool: the thread count never
      // counts records without a thread.
      if (!rec->started) break;
      threadsCreated = i + 1;
    }
    // Step 5.
    for (int32_t i = 0; i <= MaxThreadRecords; ++i) {
      threadWaiting[i].store(0, std::memory_order_relaxed);
      waitingCount[i].store(-1, std::memory_order_relaxed);
    }
  }
  // Step 2 (and later calls): the thread count and the tokens.
  setThreadCount(requested > 0 && requested <= cpuCount ? requested : cpuCount);
}

// The helper's loop: wait for a move, search it against the shared bounds
// of the split node, fold the result back and become free again.
static void searchThreadMain(void* argument) {
  ThreadRecord* rec = static_cast<ThreadRecord*>(argument);
  const int32_t index = int32_t(rec - thread);
  Position* position = rec->position;
  Position& child = rec->child;
  for (;;) {
    // Step 1. Idle until a move is handed over.
    rec->busy.store(0, std::memory_order_relaxed);
    rec->resplitFlag = 0;
    platform::waitSemaphore(rec->queueFull);

    // Step 2. The giver filled the record and cloned the node before the
    // release; the child template is this record's own copy.
    rec->busy.store(1, std::memory_order_relaxed);
    QL_CHECK(position->pg->threadId == index + 2);
    copyPosition(&child, &rec->childTemplate);
    child.pg = position->pg;
    Position* node = rec->splitNode;
    Move remembered[2];
    Move localKillers[2];
    enterSearchLock();
    remembered[0] = localKillers[0] = rec->killers[0];
    remembered[1] = localKillers[1] = rec->killers[1];
    leaveSearchLock();

    // Step 3. Search the move until it stands against the current bounds.
    // A root split passes an empty exclusion list (root moves that are
    // excluded are never handed over).
    Move emptyExclusion[1] = {noMove};
    Move* excluded = node->parent == nullptr ? emptyExclusion : nullptr;
    ThreadBoard* board = position->pg;
    position->searchFlags |= SearchSharedNode;
    // The copy's bound type records only this move's cut or exact score.
    position->boundType = 0;
    const int32_t startSearched = position->movesSearched;
    for (;;) {
      position->movesSearched = startSearched;
      setBoardGeneration(board, boardGeneration(board->splitOwner));
      std::atomic_ref<int32_t> best(*rec->best);
      std::atomic_ref<int32_t> upper(*rec->upper);
      if (best.load(std::memory_order_relaxed) < upper.load(std::memory_order_relaxed))
        searchMove(position, rec->depth, rec->upper, rec->best, localKillers, rec->pv, rec->move, &child,
                   excluded);
      if (boardGeneration(board) >= boardGeneration(board->splitOwner) || stopRequested()) break;
    }

    // Step 4. Fold the move's count, bound type, killers and best so far
    // into the split node under the lock (the giver and other helpers update
    // it too), so that the node stores what one thread searching every move
    // itself would: a cut here makes its result a lower bound.
    enterSearchLock();
    if (position->movesSearched > startSearched) addShared(node->movesSearched, 1);
    node->boundType = foldBoundType(node->boundType, position->boundType);
    if (rec->killers[0] == remembered[0] && rec->killers[1] == remembered[1]) {
      rec->killers[0] = localKillers[0];
      rec->killers[1] = localKillers[1];
    }
    storeShared(node->bestSoFar, std::max(loadShared(node->bestSoFar), position->bestSoFar));
    leaveSearchLock();

    // Step 5. The helper's nodes count for the master.
    helperNodeCount.fetch_add(board->nodeCount, std::memory_order_relaxed);
    board->nodeCount = 0;

    // Step 6. Free again. The token goes home before queueEmpty, so a giver
    // whose wait is over knows every token of its helpers is back.
    rec->active.store(nullptr, std::memory_order_release);
    QL_CHECK(platform::releaseSemaphore(rec->token));
    QL_CHECK(platform::releaseSemaphore(rec->queueEmpty));
  }
}

static bool anyThreadWaiting() {
  for (int32_t i = 0; i <= threadRecordCount && i <= MaxThreadRecords; ++i)
    if (threadWaiting[i].load(std::memory_order_relaxed)) return true;
  return false;
}

int32_t findIdleHelper() {
  platform::Semaphore* empties[MaxThreadRecords];
  const int32_t count = nThreads.load(std::memory_order_relaxed);
  for (int32_t i = 0; i < count; ++i) empties[i] = thread[i].queueEmpty;
  int32_t status = platform::waitAnySemaphore(empties, count);
  QL_CHECK(status >= 0 && status < count);
  QL_CHECK(thread[status].active.load(std::memory_order_acquire) == nullptr);
  return status;
}

// A helper free right now, its queue-empty signal taken; -1 when none is.
static int32_t tryIdleHelper() {
  const int32_t count = nThreads.load(std::memory_order_relaxed);
  for (int32_t i = 0; i < count; ++i)
    if (platform::tryWaitSemaphore(thread[i].queueEmpty)) {
      QL_CHECK(thread[i].active.load(std::memory_order_acquire) == nullptr);
      return i;
    }
  return -1;
}

bool handOff(Position* node, int32_t depth, int32_t* upper, int32_t* best, Move* killers, Move* pv, Move move,
             Position* child) {
  ThreadBoard* board = node->pg;
  const int32_t t = board->threadId - 1;
  ThreadRecord* self = board->threadId == MasterThreadId ? nullptr : &thread[board->threadId - 2];
  if (nThreads.load(std::memory_order_relaxed) <= 0) return false;

  int32_t h = -1;
  if (self == nullptr) {
    // Step 1. The master starts a split when it owns none.
    if (board->splitPoint == &noSplitPosition) {
      for (int32_t i = 0; i <= MaxThreadRecords; ++i) QL_CHECK(!threadWaiting[i].load(std::memory_order_relaxed));
    }
    board->splitPoint = node;
    // Step 3. A hand-off token, then a free helper: the master may wait for
    // them, since helpers never wait here and so always come back.
    threadWaiting[t].store(1, std::memory_order_relaxed);
    waitingCount[t].store(loadShared(node->movesSearched), std::memory_order_relaxed);
    platform::waitSemaphore(handOffTokens.load(std::memory_order_relaxed));
    h = findIdleHelper();
    threadWaiting[t].store(0, std::memory_order_relaxed);
    waitingCount[t].store(-1, std::memory_order_relaxed);
  } else {
    // Step 2. A helper hands off only what it can have at once: a hand-off
    // token and a free helper (and, to become the owner of its first split,
    // nobody waiting for a helper and a re-split token, which it then holds
    // in place of its own hand-off token). A helper that waited here could
    // wait for another helper that waits for it.
    const bool becomesOwner = board->splitPoint == &noSplitPosition;
    platform::Semaphore* tokens = handOffTokens.load(std::memory_order_relaxed);
    platform::Semaphore* resplits = resplitTokens.load(std::memory_order_relaxed);
    if (becomesOwner && (anyThreadWaiting() || !platform::tryWaitSemaphore(resplits))) return false;
    if (!platform::tryWaitSemaphore(tokens)) {
      if (becomesOwner) QL_CHECK(platform::releaseSemaphore(resplits));
      return false;
    }
    h = tryIdleHelper();
    if (h < 0) {
      QL_CHECK(platform::releaseSemaphore(tokens));
      if (becomesOwner) QL_CHECK(platform::releaseSemaphore(resplits));
      return false;
    }
    if (becomesOwner) {
      self->resplitFlag = 1;
      QL_CHECK(platform::releaseSemaphore(self->token));
      self->token = resplits;
    }
    board->splitPoint = node;
  }

  // Step 4. Prepare the helper: a clone of the node on its own board, the
  // hand-off fields and a copy of the child template, all before the
  // release, since the giver goes on to reuse its child record.
  ThreadRecord* rec = &thread[h];
  ThreadBoard* helperBoard = &rec->board;
  rec->position->pg = helperBoard;
  // Helpers of this board's split nodes write its generation under the
  // lock; the copy reads it, so it is made under the lock too.
  enterSearchLock();
  clonePosition(rec->position, node);
  leaveSearchLock();
  helperBoard->threadId = h + 2;
  helperBoard->nodeCount = 0;
  setBoardGeneration(helperBoard, searchGeneration.load(std::memory_order_relaxed));
  helperBoard->splitOwner = board;
  helperBoard->splitPoint = &noSplitPosition;
  rec->splitNode = node;
  rec->depth = depth;
  rec->upper = upper;
  rec->best = best;
  rec->killers = killers;
  rec->pv = pv;
  rec->move = move;
  copyPosition(&rec->childTemplate, child);
  rec->token = handOffTokens.load(std::memory_order_relaxed);
  rec->active.store(node, std::memory_order_release);
  QL_CHECK(platform::releaseSemaphore(rec->queueFull));
  QL_CHECK(board->splitPoint == node);
  return true;
}

void waitForHelpers(Position* node) {
  ThreadBoard* board = node->pg;
  ThreadRecord* self = board->threadId == MasterThreadId ? nullptr : &thread[board->threadId - 2];
  QL_CHECK(board->splitPoint != &noSplitPosition);
  board->splitPoint = nullptr;
  for (;;) {
    platform::Semaphore* empties[MaxThreadRecords];
    int32_t threadsToWaitFor = 0;
    const int32_t count = nThreads.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < count; ++i)
      if (thread[i].active.load(std::memory_order_acquire) == node) empties[threadsToWaitFor++] = thread[i].queueEmpty;
    if (threadsToWaitFor == 0) return;
    if (self != nullptr) self->busy.store(0, std::memory_order_relaxed);
    int32_t status = platform::waitAnySemaphore(empties, threadsToWaitFor);
    QL_CHECK(status >= 0 && status < threadsToWaitFor);
    if (self != nullptr) self->busy.store(1, std::memory_order_relaxed);
    // Only a sign that one of them finished: the helper stays free.
    QL_CHECK(platform::releaseSemaphore(empties[status]));
  }
}

}  // namespace engine
