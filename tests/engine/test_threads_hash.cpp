// Concurrent probes of the transposition table: several threads claim,
// fill and release entries of a small table at once. At no time may two
// threads hold one entry, a held entry keeps the key of its holder's
// position, and every probe stays inside the table. After the table is
// emptied (a new generation, nothing zeroed), no thread ever sees a result
// stored before, while all of them claim the older entries at once.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "engine/board/random.h"
#include "engine/hash/hash.h"
#include "engine/control/shared_word.h"

namespace engine {
namespace {

constexpr int32_t ThreadCount = 6;
constexpr int32_t FirstHelperId = 2;

struct Shared {
  HashTable table{nullptr, 0};
  std::unique_ptr<std::atomic<int32_t>[]> holders;  // threads holding each entry, by index
  std::atomic<int64_t> claims{0};
  std::atomic<int64_t> foundHeldByOthers{0};
  std::atomic<int64_t> misses{0};
  std::atomic<int64_t> violations{0};
};

HashKey keyOf(int32_t n) { return HashKey{uint32_t(n) * 0x9E3779B1u & 0x7FFFFFFF, uint16_t(n * 37 + 5), 0}; }

// Scores the probes store: the thread's id plus the round's base. An
// entry of an earlier round must never show its score in a later one.
constexpr int16_t RoundScoreStep = 100;

// One search thread's probes: claim, hold a moment, store a result, release.
void probeLoop(Shared* shared, int32_t id, int32_t iterations, int32_t keyCount, int16_t scoreBase) {
  RandomState random;
  seedRandom(random, uint32_t(id));
  HashEntry* const first = shared->table.entries;
  HashEntry* const end = first + entryCount;
  for (int32_t n = 0; n < iterations; ++n) {
    const HashKey key = keyOf(drawRandom(random) % keyCount);
    const int32_t depth = 1 + drawRandom(random) % 40;
    uint16_t saved = 0;
    HashEntry* entry = hashProbeOrReplace(&shared->table, &key, depth, id, &saved);
    if (entry == nullptr) {
      shared->misses.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    if (entry < first || entry >= end) {
      shared->violations.fetch_add(1);
      continue;
    }
    // A found entry holds nothing, or a result of this round.
    const int16_t score = loadShared(entry->score);
    if (score != 0 && (score < scoreBase || score >= scoreBase + RoundScoreStep)) shared->violations.fetch_add(1);
    const uint16_t flags = loadShared(entry->flags);
    const bool heldBefore = (saved & EntryHolderMask) == id;
    const bool holdsNow = (flags & EntryHolderMask) == id;
    if (heldBefore) shared->violations.fetch_add(1);  // nothing is held across probes here
    if (!holdsNow) {
      // Found, held by another thread (which may have let it go since).
      shared->foundHeldByOthers.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    std::atomic<int32_t>& holders = shared->holders[entry - first];
    if (holders.fetch_add(1) != 0) shared->violations.fetch_add(1);
    shared->claims.fetch_add(1, std::memory_order_relaxed);
    // Only the holder changes key and lock: they stay this position's.
    for (int32_t spin = 0; spin < 20; ++spin) {
      if (loadShared(entry->key) != key.key || loadShared(entry->lock) != key.lock) shared->violations.fetch_add(1);
      if ((loadShared(entry->flags) & EntryHolderMask) != id) shared->violations.fetch_add(1);
    }
    storeShared(entry->score, int16_t(scoreBase + id));
    storeShared(entry->depth, uint8_t(depth));
    holders.fetch_sub(1);
    // Release: the flags from before the claim, with a bound.
    storeShared(entry->flags, uint16_t((saved & ~EntryHolderMask) | EntryLowerBound));
  }
}

// Rounds of probes by all threads at once. Between rounds every thread
// waits while the first empties the table, then all of them start probing
// together, so the claims of the older entries meet.
void runProbes(uint64_t tableBytes, int32_t keyCount, int32_t iterations, int32_t rounds, Shared* shared) {
  ASSERT_EQ(allocateHash(&shared->table, tableBytes), tableBytes);
  shared->holders = std::make_unique<std::atomic<int32_t>[]>(entryCount);
  for (uint64_t i = 0; i < entryCount; ++i) shared->holders[i] = 0;
  std::barrier<> roundStart(ThreadCount);
  auto work = [&](int32_t id) {
    for (int32_t round = 0; round < rounds; ++round) {
      roundStart.arrive_and_wait();
      if (round > 0 && id == FirstHelperId) emptyHash(&shared->table);
      roundStart.arrive_and_wait();
      probeLoop(shared, id, iterations, keyCount, int16_t((round % 2 + 1) * RoundScoreStep));
    }
  };
  std::vector<std::thread> threads;
  for (int32_t t = 0; t < ThreadCount; ++t) threads.emplace_back(work, FirstHelperId + t);
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(shared->violations.load(), 0);
  EXPECT_GT(shared->claims.load(), 0);
  // Everything was released.
  for (uint64_t i = 0; i < entryCount; ++i) EXPECT_EQ(shared->table.entries[i].flags & EntryHolderMask, 0) << i;
  freeHash(&shared->table);
}

struct ProbeCase {
  const char* name;
  uint64_t tableBytes;
  int32_t keyCount;
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

class ThreadsHash : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ThreadsHash, NoEntryIsEverHeldByTwoThreads) {
  Shared shared;
  runProbes(GetParam().tableBytes, GetParam().keyCount, 200000, 1, &shared);
}

TEST_P(ThreadsHash, AfterEmptyingNoThreadSeesAnEarlierResult) {
  Shared shared;
  runProbes(GetParam().tableBytes, GetParam().keyCount, 40, 5000, &shared);
}

// Many positions over a small table; a single position that every thread
// keeps meeting held by another; one bucket only, where every rescan runs
// into the table's end.
INSTANTIATE_TEST_SUITE_P(Tables, ThreadsHash,
                         ::testing::Values(ProbeCase{"ManyKeys", 64 * 16, 200}, ProbeCase{"OneKey", 64 * 16, 1},
                                           ProbeCase{"OneBucket", 4 * 16, 50}),
                         [](const ::testing::TestParamInfo<ProbeCase>& testCase) {
                           return std::string(testCase.param.name);
                         });

}  // namespace
}  // namespace engine
