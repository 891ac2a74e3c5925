#include "engine/search/threads.h"

#include <algorithm>

#include "engine/board/check.h"
#include "engine/control/shared_word.h"

namespace engine {

int32_t cpuCount = 1;
std::atomic<int32_t> nThreads{0};
int32_t threadsCreated = 0;
ThreadRecord* thread = nullptr;
std::atomic<platform::Semaphore*> handOffTokens{nullptr};
std::atomic<platform::Semaphore*> resplitTokens{nullptr};
SplitWait splitWait[MaxThreadRecords + 1];
platform::CriticalSection searchLock;
std::atomic<int32_t> searchGeneration{1};
std::atomic<uint64_t> helperNodeCount{0};

static int32_t resplitCount(int32_t count) {
  return std::min(count, count <= SmallPoolLimit ? SmallPoolResplits : LargePoolResplits);
}

// Token semaphores by thread count, each made once. A change of the count
// switches sets while no search runs, when every token is home, so a set
// taken up again is full; a helper that has just released its token into
// the old set still finds it open.
static platform::Semaphore* handOffTokenSets[MaxThreadRecords + 1];
static platform::Semaphore* resplitTokenSets[MaxThreadRecords + 1];

int32_t helpersForThreads(int32_t threads, int32_t limit) {
  return (threads >= 1 && threads <= limit ? threads : cpuCount) - 1;
}

void setHelperCount(int32_t helpers) {
  const int32_t count = std::clamp(helpers, 0, threadsCreated);
  nThreads.store(count, std::memory_order_relaxed);
  if (handOffTokenSets[count] == nullptr) {
    int32_t k = resplitCount(count);
    handOffTokenSets[count] = platform::createSemaphore(count, std::max(count, 1));
    resplitTokenSets[count] = platform::createSemaphore(k, std::max(k, 1));
    QL_CHECK(handOffTokenSets[count] != nullptr && resplitTokenSets[count] != nullptr);
  }
  handOffTokens.store(handOffTokenSets[count], std::memory_order_relaxed);
  resplitTokens.store(resplitTokenSets[count], std::memory_order_relaxed);
}

void enterSearchLock() { platform::enterCriticalSection(searchLock); }
void leaveSearchLock() { platform::leaveCriticalSection(searchLock); }

int32_t bumpNodeGeneration(Position* node) {
  const int32_t generation = searchGeneration.fetch_add(1, std::memory_order_relaxed) + 1;
  setNodeGeneration(node, generation);
  return generation;
}

void resyncGeneration(ThreadBoard* board) {
  if (board->splitNode == nullptr) return;
  setBoardGeneration(board, std::max(boardGeneration(board), nodeGeneration(board->splitNode)));
}

bool splitNodeOpen(const ThreadBoard* board) {
  if (board->splitNode == nullptr) return true;
  // The helper's record holds the pointers to the split node's bounds.
  const ThreadRecord* rec = &thread[board->threadId - 2];
  return board->splitNode->splitStopped == 0 && loadShared(*rec->best) < loadShared(*rec->upper);
}

void stopSplitNode(Position* node) {
  enterSearchLock();
  node->splitStopped = 1;
  bumpNodeGeneration(node);
  leaveSearchLock();
}

}  // namespace engine
