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
  // Processors of the affinity mask.
  cpuCount = std::max(platform::processorCount(), 1);
  // On the first call only: the records and their threads.
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
      rec->token = nullptr;
      rec->started = platform::startThread(searchThreadMain, rec);
      // A helper that cannot start ends the pool: the thread count never
      // counts records without a thread.
      if (!rec->started) break;
      threadsCreated = i + 1;
    }
    // The split waits of the master and of every helper.
    for (int32_t i = 0; i <= MaxThreadRecords; ++i) {
      splitWait[i].helpersDone = platform::createSemaphore(0, 1);
      QL_CHECK(splitWait[i].helpersDone != nullptr);
    }
  }
  // On every call: the helpers beside the master, and the tokens.
  setHelperCount(helpersForThreads(requested, cpuCount));
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
    platform::waitSemaphore(rec->queueFull);

    // Step 2. The giver filled the record and cloned the node before the
    // release; the child template is this record's own copy.
    QL_CHECK(position->board->threadId == index + 2);
    copyPosition(&child, &rec->childTemplate);
    child.board = position->board;
    Position* node = rec->board.splitNode;
    Move remembered[2];
    Move localKillers[2];
    enterSearchLock();
    remembered[0] = localKillers[0] = rec->killers[0];
    remembered[1] = localKillers[1] = rec->killers[1];
    leaveSearchLock();

    // Step 3. Search the move until it stands against the current bounds:
    // again only when it was abandoned (a bound moved under it) and the
    // node still wants it, judged under the lock, so never on a pair of
    // bounds half changed. A root split's move is searched against the
    // root's exclusion list: a move of a later line (or of the easy-move
    // search) is then neither announced nor reported as the first line's.
    Move* excluded = position->excluded;
    ThreadBoard* board = position->board;
    position->searchFlags |= SearchSharedNode;
    // The copy's bound type records only this move's cut or exact score.
    position->boundType = 0;
    const int32_t startSearched = position->movesSearched;
    for (;;) {
      position->movesSearched = startSearched;
      enterSearchLock();
      setBoardGeneration(board, nodeGeneration(node));
      const bool wanted = !stopRequested() && splitNodeOpen(board);
      leaveSearchLock();
      if (!wanted) break;
      if (!searchMove(position, rec->depth, rec->upper, rec->best, localKillers, rec->pv, rec->move, &child,
                      excluded))
        break;
    }

    // Step 4. The helper's nodes count for the master, before the fold, so
    // that the owner's count is whole once its wait ends.
    helperNodeCount.fetch_add(board->nodeCount, std::memory_order_relaxed);
    board->nodeCount = 0;

    // Step 5. Fold the move's count, bound type, killers and best so far
    // into the split node under the lock (the giver and other helpers update
    // it too), so that the node stores what one thread searching every move
    // itself would: a cut here makes its result a lower bound. The last
    // helper out wakes the owner if it waits, once it is free again itself
    // (so that the owner's next hand-off finds it); past the fold the split
    // node may be gone.
    SplitWait& wait = splitWait[node->board->threadId - 1];
    enterSearchLock();
    if (position->movesSearched > startSearched) addShared(node->movesSearched, 1);
    node->boundType = foldBoundType(node->boundType, position->boundType);
    if (rec->killers[0] == remembered[0] && rec->killers[1] == remembered[1]) {
      rec->killers[0] = localKillers[0];
      rec->killers[1] = localKillers[1];
    }
    storeShared(node->bestSoFar, std::max(loadShared(node->bestSoFar), position->bestSoFar));
    const bool wakeOwner = --node->helpersOut == 0 && node->ownerWaiting != 0;
    if (wakeOwner) node->ownerWaiting = 0;
    leaveSearchLock();

    // Step 6. Free again.
    rec->active.store(nullptr, std::memory_order_release);
    QL_CHECK(platform::releaseSemaphore(rec->token));
    QL_CHECK(platform::releaseSemaphore(rec->queueEmpty));
    if (wakeOwner) QL_CHECK(platform::releaseSemaphore(wait.helpersDone));
  }
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
  ThreadBoard* board = node->board;
  ThreadRecord* self = board->threadId == MasterThreadId ? nullptr : &thread[board->threadId - 2];
  if (nThreads.load(std::memory_order_relaxed) <= 0) return false;

  // Step 1. A thread hands off only what it can have at once: a
  // hand-off token and a free helper; when either is missing it searches
  // the move itself, which keeps it working while its helpers do and means
  // that no thread ever waits for a helper (one that did could wait for a
  // helper that waits for it). A helper that becomes the owner of its first
  // split also needs a re-split token, which it then holds in place of its
  // own hand-off token.
  const bool becomesOwner = self != nullptr && board->splitPoint == &noSplitPosition;
  platform::Semaphore* tokens = handOffTokens.load(std::memory_order_relaxed);
  platform::Semaphore* resplits = resplitTokens.load(std::memory_order_relaxed);
  if (becomesOwner && !platform::tryWaitSemaphore(resplits)) return false;
  if (!platform::tryWaitSemaphore(tokens)) {
    if (becomesOwner) QL_CHECK(platform::releaseSemaphore(resplits));
    return false;
  }
  const int32_t h = tryIdleHelper();
  if (h < 0) {
    QL_CHECK(platform::releaseSemaphore(tokens));
    if (becomesOwner) QL_CHECK(platform::releaseSemaphore(resplits));
    return false;
  }
  if (becomesOwner) {
    QL_CHECK(platform::releaseSemaphore(self->token));
    self->token = resplits;
  }
  // The node's first hand-off makes it a split node: the innermost of the
  // board's, inside the one the board may still have helpers out on.
  if (board->splitPoint != node) {
    enterSearchLock();
    node->helpersOut = 0;
    node->ownerWaiting = 0;
    node->splitStopped = 0;
    setNodeGeneration(node, searchGeneration.load(std::memory_order_relaxed));
    leaveSearchLock();
    node->enclosingSplit = board->splitPoint == &noSplitPosition ? nullptr : board->splitPoint;
    board->splitPoint = node;
  }

  // Step 2. Prepare the helper: a clone of the node on its own board, the
  // hand-off fields and a copy of the child template, all before the
  // release, since the giver goes on to reuse its child record.
  ThreadRecord* rec = &thread[h];
  ThreadBoard* helperBoard = &rec->board;
  rec->position->board = helperBoard;
  // Helpers fold into the node under the lock; the copy reads it, so it is
  // made under the lock too, where the helper is also counted out on it.
  enterSearchLock();
  clonePosition(rec->position, node);
  node->helpersOut += 1;
  const int32_t generation = nodeGeneration(node);
  leaveSearchLock();
  helperBoard->threadId = h + 2;
  helperBoard->nodeCount = 0;
  setBoardGeneration(helperBoard, generation);
  helperBoard->splitOwner = board;
  helperBoard->splitNode = node;
  helperBoard->splitPoint = &noSplitPosition;
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
  ThreadBoard* board = node->board;
  QL_CHECK(board->splitPoint != &noSplitPosition);
  board->splitPoint = node->enclosingSplit;
  // Woken by the last of this node's helpers as it folds its move: a
  // helper's own signals may already belong to the next thread it serves.
  SplitWait& wait = splitWait[board->threadId - 1];
  enterSearchLock();
  const bool outstanding = node->helpersOut > 0;
  node->ownerWaiting = outstanding ? 1 : 0;
  leaveSearchLock();
  if (!outstanding) return;
  platform::waitSemaphore(wait.helpersDone);
}

}  // namespace engine
