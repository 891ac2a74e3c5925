#include "engine/threads.h"

#include <algorithm>

#include "engine/check.h"

namespace engine {

Position noSplitPosition{};

int32_t cpuCount = 1;
std::atomic<int32_t> nThreads{0};
int32_t threadRecordCount = 0;
int32_t threadsCreated = 0;
ThreadRecord* thread = nullptr;
std::atomic<platform::Semaphore*> handOffTokens{nullptr};
std::atomic<platform::Semaphore*> resplitTokens{nullptr};
std::atomic<int32_t> threadWaiting[MaxThreadRecords + 1];
std::atomic<int32_t> waitingCount[MaxThreadRecords + 1];
platform::CriticalSection searchLock;
std::atomic<int32_t> searchGeneration{1};
std::atomic<uint64_t> helperNodeCount{0};

static int32_t resplitCount(int32_t count) {
  return std::min(count, count <= SmallPoolLimit ? SmallPoolResplits : LargePoolResplits);
}

void setThreadCount(int32_t count) {
  count = std::clamp(count, 0, threadsCreated);
  nThreads.store(count, std::memory_order_relaxed);
  threadRecordCount = std::min(2 * count, MaxThreadRecords);
  // Every token is home while no search runs, so fresh semaphores with full
  // counts are exact. The old ones are left open: a helper that has just
  // released its token may still hold the pointer.
  handOffTokens.store(platform::createSemaphore(count, std::max(count, 1)), std::memory_order_relaxed);
  int32_t k = resplitCount(count);
  resplitTokens.store(platform::createSemaphore(k, std::max(k, 1)), std::memory_order_relaxed);
  QL_CHECK(handOffTokens.load() != nullptr && resplitTokens.load() != nullptr);
}

void enterSearchLock() { platform::enterCriticalSection(searchLock); }
void leaveSearchLock() { platform::leaveCriticalSection(searchLock); }

}  // namespace engine
