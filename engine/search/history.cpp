// Additions to the history table of quiet moves that failed high
// (engine/board/movegen.h), shared by all search threads without a lock.
#include <atomic>
#include <cstdint>

#include "engine/search/search.h"
#include "engine/control/shared_word.h"

namespace engine {

int32_t historyHalving = 0;

namespace {
// A counter past this halves every counter once.
constexpr int32_t HistoryLimit = 30000;
}  // namespace

void addHistory(int32_t kindIndex, int32_t square, int32_t amount) {
  if (square < 0 || square >= HistorySquares) return;
  int32_t& counter = historyTable[kindIndex][square];
  int32_t value = loadShared(counter) + amount;
  storeShared(counter, value);
  if (value <= HistoryLimit) return;
  // Halve all counters once; a thread that finds the flag set skips it (a
  // concurrent add may be lost or halved twice, which only weakens the order).
  std::atomic_ref<int32_t> halving(historyHalving);
  int32_t expected = 0;
  if (!halving.compare_exchange_strong(expected, 1, std::memory_order_relaxed)) return;
  for (auto& row : historyTable)
    for (int32_t& c : row) storeShared(c, loadShared(c) / 2);
  halving.store(0, std::memory_order_relaxed);
}

}  // namespace engine
