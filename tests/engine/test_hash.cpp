// Hash keys and the transposition table: the same key tables on every
// initialisation, the key after a null move, table sizes and shrinking, the
// claim, store, find and replacement rules of a probe, the game-history
// marks, and emptying against zeroing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/board/board.h"
#include "engine/board/game_history.h"
#include "engine/board/makemove.h"
#include "engine/board/random.h"
#include "engine/board/setup.h"
#include "engine/hash/hash.h"
#include "helpers/board_builder.h"
#include "helpers/scratch_key.h"
#include "platform/memory.h"

namespace engine {
namespace {

using testing_board::squareOf;
using testing_hash::scratchKey;

constexpr uint64_t MegaByte = 1024 * 1024;

// ---------------------------------------------------------------- key tables

// The book files hold keys made from these tables: every initialisation
// must give the same ones, whatever drew random numbers in between. (Their
// values are pinned by the book test over pipes, whose file holds the start
// position's key.)
TEST(HashKeys, EveryInitialisationGivesTheSameTables) {
  initKeyTables();
  std::vector<HashKey> first(&keyTables[0][0], &keyTables[0][0] + KeyTableCount * KeyTableEntries);
  RandomState other;
  seedRandom(other, 1234);
  drawRandom(other);
  initKeyTables();
  for (size_t i = 0; i < first.size(); ++i) {
    ASSERT_EQ((&keyTables[0][0])[i].key, first[i].key) << i;
    ASSERT_EQ((&keyTables[0][0])[i].lock, first[i].lock) << i;
  }
}

// ------------------------------------------------------------- side to move

Move moveOf(const char* from, const char* to) { return makeMove16(squareOf(from), squareOf(to)); }

// A null move gives the key that set-up computes for the same board with
// the other side to move; a move after the pass updates that key like any
// other. (The perft walk checks every other move's key against one built
// from scratch.)
TEST(HashKeyUpdate, NullMoveGivesTheKeyOfTheOtherSideToMove) {
  initKeyTables();
  initBoard(&masterBoard);
  initPosition(&rootPosition, &masterBoard);
  const std::string field = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R";
  ASSERT_EQ(parseFen((field + " b KQkq -").c_str()), 0);
  ASSERT_EQ(setupPosition(&rootPosition, &gameSetup), 0);
  const uint32_t blackKey = rootPosition.key;
  const uint16_t blackLock = rootPosition.lock;
  ASSERT_EQ(parseFen((field + " w KQkq -").c_str()), 0);
  ASSERT_EQ(setupPosition(&rootPosition, &gameSetup), 0);
  ASSERT_NE(rootPosition.key, blackKey);

  auto plies = std::make_unique<std::array<Position, 2>>();
  Position* pass = &(*plies)[0];
  Position* reply = &(*plies)[1];
  makeNullMove(&rootPosition, pass);
  EXPECT_EQ(pass->key, blackKey);
  EXPECT_EQ(pass->lock, blackLock);
  makeMove(pass, moveOf("g8", "f6"), reply);
  updateHashKey(reply);
  const HashKey expected = scratchKey(reply);
  EXPECT_EQ(reply->key, expected.key);
  EXPECT_EQ(reply->lock, expected.lock);
  unmakeMove(reply);
}

// ------------------------------------------------------------------ tables

// A table for one test, released at its end.
struct ScopedTable {
  HashTable table{nullptr, 0};
  explicit ScopedTable(uint64_t bytes) { allocateHash(&table, bytes); }
  ~ScopedTable() { freeHash(&table); }
  HashEntry& at(uint64_t index) { return table.entries[index]; }
};

// A key whose bucket starts at `index`: key ^ lock = index.
HashKey keyForBucket(uint64_t index, uint16_t lock) {
  return HashKey{uint32_t(index) ^ lock, lock, 0};
}

void fillEntry(HashEntry& entry, const HashKey& key, uint8_t depth, uint8_t age, uint16_t flags = 0) {
  entry.key = key.key;
  entry.lock = key.lock;
  entry.depth = depth;
  entry.age = age;
  entry.flags = flags;
  entry.score = 77;
  entry.move = makeMove16(0x14, 0x34);
}

// Whatever the size asked for, the table holds whole entries and every
// key's bucket (four entries from its start) lies inside it: a claim never
// writes past the table's end.
TEST(HashTableSize, EveryBucketLiesInsideTheTable) {
  for (uint64_t bytes : {uint64_t(64), uint64_t(1000), 16 * MegaByte}) {
    ScopedTable t(bytes);
    ASSERT_NE(t.table.entries, nullptr) << bytes;
    EXPECT_LE(entryCount * sizeof(HashEntry), bytes);
    EXPECT_GT((entryCount + 1) * sizeof(HashEntry), bytes);
    std::vector<HashKey> keys = {{0x12345678, 0x4321, 0}, {0xFFFFFFFF, 0x7FFF, 0}};
    for (uint64_t near = entryCount - std::min<uint64_t>(entryCount, 5); near < entryCount + 5; ++near)
      keys.push_back(keyForBucket(near, 0x55));
    for (const HashKey& k : keys) {
      ASSERT_LE(bucketStart(&k, entryCount) + EntriesPerBucket, entryCount) << bytes << " " << k.key;
      uint16_t saved = 0;
      HashEntry* e = hashProbeOrReplace(&t.table, &k, 2, 2, &saved);
      ASSERT_NE(e, nullptr) << bytes;
      EXPECT_LT(uint64_t(e - t.table.entries), entryCount) << bytes;
      e->flags = saved;
    }
  }
}

TEST(HashTableSize, LessThanOneBucketIsNoTableAndNothingTouchesIt) {
  HashTable table{nullptr, 5};
  EXPECT_EQ(allocateHash(&table, 63), 0u);
  EXPECT_EQ(table.entries, nullptr);
  EXPECT_EQ(table.age, 0);
  EXPECT_EQ(entryCount, 0u);
  HashKey k{1, 2, 0};
  uint16_t saved = 0;
  EXPECT_EQ(hashProbeOrReplace(&table, &k, 4, 1, &saved), nullptr);
  EXPECT_EQ(hashLookup(&table, &k), nullptr);
  clearHash(&table);
  addHistoryKey(&k, 0);
  prepareHashForSearch(&table, 1);
  unmarkGameHistory(&table);
  freeHash(&table);
  addHistoryKey(&k, -1);
  EXPECT_EQ(table.entries, nullptr);
}

TEST(HashTableSize, ReleaseAndAllocateAgain) {
  HashTable table{nullptr, 0};
  EXPECT_EQ(allocateHash(&table, 2 * MegaByte), 2 * MegaByte);
  table.entries[5].depth = 9;
  table.age = 7;
  // Allocating over a live table gives the old block back first.
  EXPECT_EQ(allocateHash(&table, MegaByte), MegaByte);
  EXPECT_EQ(entryCount, MegaByte / 16);
  EXPECT_EQ(table.age, 0);
  EXPECT_EQ(table.entries[5].depth, 0u);
  freeHash(&table);
  EXPECT_EQ(table.entries, nullptr);
  freeHash(&table);
  EXPECT_EQ(allocateHash(&table, MegaByte), MegaByte);
  freeHash(&table);
}

// Allocation refusals: every request is recorded; blocks up to the limit are
// granted.
std::vector<size_t> requests;
size_t grantLimit = 0;
void* refusingAllocator(size_t bytes) {
  requests.push_back(bytes);
  return bytes <= grantLimit ? std::malloc(bytes) : nullptr;
}

struct RefusingHeap {
  explicit RefusingHeap(size_t limit) {
    requests.clear();
    grantLimit = limit;
    setHashAllocator(refusingAllocator);
  }
  ~RefusingHeap() { setHashAllocator(nullptr); }
};

// A request the heap refuses is retried smaller, each try below the one
// before, until the heap grants one; the table is then what was granted
// (not less than half of what the heap could give) and is usable. Small
// requests that are refused leave no table.
TEST(HashTableShrink, RefusedRequestsAreRetriedSmaller) {
  struct Case {
    uint64_t request;
    size_t heapLimit;
    bool granted;
  };
  const Case cases[] = {
      {16 * MegaByte, 8 * MegaByte, true},
      {100 * MegaByte, 10 * MegaByte, true},
      {5000001, 4 * MegaByte, true},
      {5 * MegaByte, 0, false},
      {4 * MegaByte, 0, false},
  };
  for (const Case& c : cases) {
    RefusingHeap heap(c.heapLimit);
    HashTable table{nullptr, 3};
    const uint32_t bytes = allocateHash(&table, c.request);
    ASSERT_FALSE(requests.empty()) << c.request;
    for (size_t i = 1; i < requests.size(); ++i) EXPECT_LT(requests[i], requests[i - 1]) << c.request;
    EXPECT_EQ(table.entries != nullptr, c.granted) << c.request;
    if (c.granted) {
      EXPECT_EQ(bytes, requests.back()) << c.request;
      EXPECT_LE(bytes, c.heapLimit) << c.request;
      EXPECT_GE(bytes, c.heapLimit / 2) << c.request;
      EXPECT_EQ(entryCount, bytes / sizeof(HashEntry)) << c.request;
      EXPECT_EQ(table.age, 0) << c.request;
      HashKey k{0x1234, 0x77, 0};
      uint16_t saved = 0;
      EXPECT_NE(hashProbeOrReplace(&table, &k, 2, 2, &saved), nullptr) << c.request;
    } else {
      EXPECT_EQ(bytes, 0u) << c.request;
      EXPECT_EQ(entryCount, 0u) << c.request;
    }
    freeHash(&table);
  }
}

TEST(HashTableShrink, RequestsBeyondWhatTheMachineCanBackShrinkFirst) {
  uint64_t physical = platform::physicalMemoryBytes();
  if (physical == 0) GTEST_SKIP() << "physical memory unknown";
  RefusingHeap heap(0);
  HashTable table{nullptr, 0};
  EXPECT_EQ(allocateHash(&table, physical * 4), 0u);
  ASSERT_FALSE(requests.empty());
  for (size_t bytes : requests) EXPECT_LE(bytes, physical / 2);
  EXPECT_LE(requests.back(), 4 * MegaByte);
}

// ------------------------------------------------------------ probe rules

// A position's entry through a search: claimed free for its thread, found
// by a look-up, its result found again by another thread with the flags it
// was released with, found (not claimed) while another thread holds it,
// and refreshed to the table's age when a later search finds it. The fill
// counts each entry once per search.
TEST(HashProbe, ClaimStoreAndFindAgain) {
  ScopedTable t(64 * 1024);
  resetClaimedCount();
  const HashKey k = keyForBucket(100, 0x0ABC);
  uint16_t saved = 0xFFFF;
  HashEntry* e = hashProbeOrReplace(&t.table, &k, 6, 3, &saved);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(saved, 0u);
  EXPECT_EQ(e->flags & EntryHolderMask, 3);
  EXPECT_EQ(e->depth, 0u);
  EXPECT_EQ(moveToByte(e->move), NoSquare);
  EXPECT_EQ(hashLookup(&t.table, &k), e);
  EXPECT_EQ(claimedCount(), 1u);

  // Thread 3 stores a result and releases the entry.
  e->depth = 12;
  e->score = 77;
  e->flags = EntryLowerBound;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 20, 2, &saved), e);
  EXPECT_EQ(saved, EntryLowerBound);
  EXPECT_EQ(e->flags, EntryLowerBound | 2);
  EXPECT_EQ(e->depth, 12u);
  EXPECT_EQ(e->score, 77);
  EXPECT_EQ(claimedCount(), 1u);

  // Held on the line by thread 2: thread 4 finds it and leaves it so.
  e->flags = EntryOnLine | 2;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 4, 4, &saved), e);
  EXPECT_EQ(saved, EntryOnLine | 2);
  EXPECT_EQ(e->flags, EntryOnLine | 2);
  e->flags = EntryLowerBound;

  // A later search finds the result and keeps it from ageing out.
  t.table.age = 1;
  resetClaimedCount();
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 2, 2, &saved), e);
  EXPECT_EQ(e->age, 1u);
  EXPECT_EQ(e->depth, 12u);
  EXPECT_EQ(claimedCount(), 1u);
  e->flags = saved;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 2, 2, &saved), e);
  EXPECT_EQ(claimedCount(), 1u);
}

// Which entry of a full bucket a new position takes: the oldest search's
// first (ages wrap at sixteen), then the shallowest; of the current
// search's only one shallower than the depth asked for; never a held one;
// among equals the first.
TEST(HashProbe, ReplacementTakesOldThenShallowNeverHeld) {
  struct Case {
    int8_t tableAge;
    uint8_t depths[4];
    uint8_t ages[4];
    uint16_t flags[4];
    int32_t asked;
    int32_t taken;  // -1: none
    const char* why;
  };
  const Case cases[] = {
      {2, {10, 4, 8, 6}, {2, 2, 2, 2}, {}, 3, -1, "current search: none shallower than asked"},
      {2, {10, 4, 8, 6}, {2, 2, 2, 2}, {}, 4, -1, "current search: equal depth stays"},
      {2, {10, 4, 8, 6}, {2, 2, 2, 2}, {}, 7, 1, "current search: the shallowest"},
      {3, {2, 40, 1, 30}, {3, 1, 2, 1}, {}, 200, 3, "oldest search first, then the shallowest"},
      {0, {50, 50, 50, 50}, {15, 1, 0, 0}, {}, 2, 1, "fifteen searches old beats one (age wraps)"},
      {0, {5, 5, 5, 5}, {0, 0, 0, 0}, {}, 9, 0, "ties keep the earlier entry"},
      {5, {1, 1, 1, 1}, {0, 0, 0, 0}, {4, 5, 6, 7}, 200, -1, "held entries are never taken"},
  };
  for (const Case& c : cases) {
    ScopedTable t(64 * 1024);
    t.table.age = c.tableAge;
    for (int i = 0; i < 4; ++i) fillEntry(t.at(400 + i), keyForBucket(1000 + i, 9), c.depths[i], c.ages[i], c.flags[i]);
    const HashKey k = keyForBucket(400, 0x3333);
    uint16_t saved = 0;
    HashEntry* e = hashProbeOrReplace(&t.table, &k, c.asked, 2, &saved);
    EXPECT_EQ(e == nullptr ? -1 : int32_t(e - &t.at(400)), c.taken) << c.why;
    if (e != nullptr) {
      EXPECT_EQ(e->key, k.key) << c.why;
      EXPECT_EQ(e->depth, 0u) << c.why;
      EXPECT_EQ(hashLookup(&t.table, &k), e) << c.why;
    }
  }
}

// ------------------------------------------------------ game-history marks

struct HistoryScope {
  HistoryScope() { addHistoryKey(nullptr, -1); }
  ~HistoryScope() { addHistoryKey(nullptr, -1); }
};

// A mark takes any unheld entry of its bucket, however deep and recent,
// also the position's own stored result; unmarking frees only marks, so an
// entry of a history position that was stored during the search stays.
TEST(GameHistoryMarks, MarksTakeTheirBucketAndUnmarkingKeepsResults) {
  ScopedTable t(64 * 1024);
  HistoryScope scope;
  t.table.age = 4;
  for (int i = 0; i < 4; ++i) fillEntry(t.at(1600 + i), keyForBucket(6000 + i, 9), 254, 4);
  const HashKey a = keyForBucket(1600, 0x0F0F), b = keyForBucket(1400, 0x0D0D), c = keyForBucket(1500, 0x0E0E);
  fillEntry(t.at(1400), b, 20, 4, EntryLowerBound | EntryUpperBound);
  addHistoryKey(&a, 0);
  addHistoryKey(&b, 1);
  prepareHashForSearch(&t.table, 0);
  ASSERT_NE(hashLookup(&t.table, &a), nullptr);
  EXPECT_EQ(hashLookup(&t.table, &a)->flags, MarkOnce);
  EXPECT_EQ(t.at(1400).flags, MarkOnce);

  fillEntry(t.at(1500), c, 12, 4, EntryLowerBound);
  addHistoryKey(&c, 2);
  unmarkGameHistory(&t.table);
  EXPECT_EQ(hashLookup(&t.table, &a), nullptr);
  EXPECT_EQ(hashLookup(&t.table, &b), nullptr);
  ASSERT_EQ(hashLookup(&t.table, &c), &t.at(1500));
  EXPECT_EQ(t.at(1500).depth, 12u);
  EXPECT_EQ(t.at(1500).flags, EntryLowerBound);
}

// ---------------------------------------------------------------- emptying

// What a probe gave and left behind, for comparing two tables.
struct Observed {
  int64_t index;  // -1: no entry
  uint16_t savedFlags;
  uint32_t key;
  uint16_t lock;
  int16_t score;
  uint16_t flags;
  Move move;
  uint8_t depth;
  uint8_t age;
  bool operator==(const Observed&) const = default;
};

// A search thread's work on a table, the same on every table given the
// same seed: probes of positions that crowd into few buckets, results
// stored with bounds, entries released, and now and then one left held
// (as a stopped search's might be) or a search's game-history marks put in
// and taken out. Returns what each probe and look-up saw, and the fill.
std::vector<Observed> searchWork(HashTable* table, uint32_t seed, int32_t probes) {
  std::vector<Observed> seen;
  RandomState random;
  seedRandom(random, seed);
  auto keyOf = [](int32_t n) { return keyForBucket(uint64_t(n % 700) * 5 % 4000, uint16_t(n * 7 + 1)); };
  resetClaimedCount();
  for (int32_t n = 0; n < probes; ++n) {
    if (n % 5000 == 0) {
      // A new search: older, its marks in, its marks out again at the end.
      prepareHashForSearch(table, 1);
      unmarkGameHistory(table);
      addHistoryKey(nullptr, -1);
      for (int32_t i = 0; i < 6; ++i) {
        const HashKey k = keyOf(drawRandom(random) % 1400);
        addHistoryKey(&k, i);
      }
      prepareHashForSearch(table, 0);
    }
    const HashKey key = keyOf(drawRandom(random) % 1400);
    const int32_t depth = 1 + drawRandom(random) % 60;
    const int32_t holder = 2 + drawRandom(random) % 4;
    uint16_t saved = 0;
    HashEntry* e = hashProbeOrReplace(table, &key, depth, holder, &saved);
    Observed o = {-1, saved, 0, 0, 0, 0, 0, 0, 0};
    if (e != nullptr) {
      o = {e - table->entries, saved, e->key, e->lock, e->score, e->flags, e->move, e->depth, e->age};
      if ((e->flags & EntryHolderMask) == holder) {
        const int32_t action = drawRandom(random) % 10;
        if (action < 6) {
          e->score = int16_t(drawRandom(random) % 600 - 300);
          e->depth = uint8_t(depth);
          e->move = makeMove16(0x14 + action, 0x34);
          e->flags = uint16_t((action % 2 == 0 ? EntryLowerBound : EntryUpperBound) | (saved & EntryHolderMask));
        } else if (action < 9) {
          e->flags = saved;
        }  // else left held
      }
    }
    seen.push_back(o);
    // A look-up of another position, as the root driver's before a search.
    const HashKey other = keyOf(drawRandom(random) % 1400);
    HashEntry* found = hashLookup(table, &other);
    seen.push_back({found != nullptr ? found - table->entries : -1, 0, 0, 0, 0, 0, 0, 0, 0});
  }
  unmarkGameHistory(table);
  addHistoryKey(nullptr, -1);
  seen.push_back({int64_t(claimedCount()), 0, 0, 0, 0, 0, 0, 0, 0});
  return seen;
}

// Emptying a table gives every later probe, claim, store, mark and look-up
// exactly what zeroing it gives: the zeroed twin is the truth. Both tables
// first go through the same searches (results, held entries, marks, ages),
// then one is zeroed and the other emptied, and the same searches follow.
TEST(HashEmpty, EmptyingGivesWhatZeroingGives) {
  ScopedTable zeroed(64 * 1024);
  ScopedTable emptied(64 * 1024);
  HistoryScope scope;
  for (int32_t round = 0; round < 3; ++round) {
    const uint32_t seed = 100 + uint32_t(round);
    EXPECT_EQ(searchWork(&zeroed.table, seed, 20000), searchWork(&emptied.table, seed, 20000)) << round;
    clearHash(&zeroed.table);
    emptyHash(&emptied.table);
    // Nothing of the searches before is found any more.
    EXPECT_EQ(searchWork(&zeroed.table, seed + 50, 20000), searchWork(&emptied.table, seed + 50, 20000)) << round;
  }
  // Left alone, the table keeps what was stored: the searches differ.
  ScopedTable kept(64 * 1024);
  searchWork(&kept.table, 7, 20000);
  clearHash(&zeroed.table);
  searchWork(&zeroed.table, 7, 20000);
  EXPECT_NE(searchWork(&zeroed.table, 8, 20000), searchWork(&kept.table, 8, 20000));
}

// An entry of an older generation never comes back: when the generations
// since the last zeroing are used up, emptying zeroes the table.
TEST(HashEmpty, UsedUpGenerationsZeroTheTable) {
  ScopedTable t(64 * 1024);
  const HashKey k = keyForBucket(300, 0x33);
  fillEntry(t.at(300), k, 9, 0, EntryLowerBound);
  t.table.emptiedSinceZeroed = GenerationCount - 2;
  emptyHash(&t.table);
  EXPECT_EQ(t.at(300).depth, 9u);  // still there, if free
  EXPECT_EQ(hashLookup(&t.table, &k), nullptr);
  emptyHash(&t.table);
  EXPECT_EQ(t.table.emptiedSinceZeroed, 0u);
  for (uint64_t i = 0; i < entryCount; ++i) ASSERT_EQ(t.at(i).depth, 0u) << i;
  // The generation that marks an entry being cleared is never the table's.
  t.table.generation = uint16_t(GenerationBeingCleared - 1);
  emptyHash(&t.table);
  EXPECT_NE(t.table.generation, GenerationBeingCleared);
}

}  // namespace
}  // namespace engine
