// Hash keys and the transposition table: the key tables' known values (the
// opening book's keys depend on them), the side-to-move bit of a null move,
// table sizes and shrinking, the claim, replacement, age and holder
// rules of a probe, and the game-history marks.
#include <gtest/gtest.h>

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
#include "engine/control/control.h"
#include "engine/control/engine_interface.h"
#include "helpers/board_builder.h"
#include "helpers/scratch_key.h"
#include "platform/memory.h"

namespace engine {
namespace {

using testing_board::squareOf;
using testing_hash::scratchKey;

constexpr uint64_t MegaByte = 1024 * 1024;

// ---------------------------------------------------------------- key tables

TEST(HashKeys, KnownValuesOfTheKingTables) {
  initKeyTables();
  const HashKey* blackKing = pieceKindTable[BlackKing].keyTable;
  const HashKey* whiteKing = pieceKindTable[WhiteKing].keyTable;
  EXPECT_EQ(blackKing[0x00].key, 0x00261E27u);
  EXPECT_EQ(blackKing[0x00].lock, 0x52F6u);
  EXPECT_EQ(blackKing[0x77].key, 0x17277606u);
  EXPECT_EQ(blackKing[0x77].lock, 0x5FE7u);
  EXPECT_EQ(whiteKing[0x00].key, 0x1081218Bu);
  EXPECT_EQ(whiteKing[0x00].lock, 0x7B6Du);
}

TEST(HashKeys, SecondInitialisationGivesTheSameTables) {
  initKeyTables();
  std::vector<HashKey> first(&keyTables[0][0], &keyTables[0][0] + KeyTableCount * KeyTableEntries);
  // Something else drawing meanwhile must not matter: the tables have their
  // own seeded state.
  RandomState other;
  seedRandom(other, 1234);
  drawRandom(other);
  initKeyTables();
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ((&keyTables[0][0])[i].key, first[i].key) << i;
    EXPECT_EQ((&keyTables[0][0])[i].lock, first[i].lock) << i;
  }
  EXPECT_EQ(pieceKindTable[BlackKing].keyTable[0].key, 0x00261E27u);
}

TEST(HashKeys, PieceKeysAreTwoFifteenBitHalvesAndLocksFifteenBits) {
  initKeyTables();
  int32_t nonZero = 0;
  for (int32_t kind = 0; kind < KindCount; ++kind)
    for (int32_t square = 0; square < 120; ++square) {
      if (!isOnBoard(square)) continue;
      HashKey k = pieceKindTable[kind].keyTable[square];
      EXPECT_EQ(k.key & 0x80008000u, 0u);
      EXPECT_EQ(k.lock & 0x8000u, 0u);
      if (k.key != 0) ++nonZero;
    }
  EXPECT_GT(nonZero, 13 * 64 - 3);
}

TEST(HashKeys, InitHashAndKeysAllocatesAndBuildsTheMasterBoard) {
  uint32_t bytes = initHashAndKeys(uint32_t(MegaByte));
  EXPECT_EQ(bytes, MegaByte);
  EXPECT_NE(engineHash.entries, nullptr);
  EXPECT_EQ(entryCount, MegaByte / 16);
  EXPECT_EQ(rootPosition.board, &masterBoard);
  EXPECT_EQ(masterBoard.kinds[WhiteKing].keyTable, pieceKindTable[WhiteKing].keyTable);
  EXPECT_EQ(masterBoard.kinds[BlackPawn].keyTable, pieceKindTable[BlackPawn].keyTable);
  for (int16_t value : emptyPieceSquareTable) EXPECT_EQ(value, 0);
  releaseHash();
  EXPECT_EQ(engineHash.entries, nullptr);
}

// ------------------------------------------------------------- side to move

Move moveOf(const char* from, const char* to) { return makeMove16(squareOf(from), squareOf(to)); }

// The engine's keys: a null move changes only bit 31 of the key, which
// gives the key that set-up computes for the same board with the other side
// to move; a move after the pass updates that key like any other.
TEST(HashKeyUpdate, SideToMoveChangesOnlyBitThirtyOne) {
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
  EXPECT_EQ(rootPosition.key & 0x80000000u, 0u);

  auto plies = std::make_unique<std::array<Position, 2>>();
  Position* pass = &(*plies)[0];
  Position* reply = &(*plies)[1];
  makeNullMove(&rootPosition, pass);
  EXPECT_EQ(pass->key, blackKey);
  EXPECT_EQ(pass->lock, blackLock);
  EXPECT_EQ(pass->key ^ rootPosition.key, 0x80000000u);
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

TEST(HashTableSize, SixteenMegabytesAndItsBuckets) {
  ScopedTable t(16 * MegaByte);
  ASSERT_NE(t.table.entries, nullptr);
  EXPECT_EQ(entryCount, 1048576u);
  HashKey last = keyForBucket(1048572, 0x55);
  EXPECT_EQ(bucketStart(&last, entryCount), 1048572u);
  HashKey wrapped = keyForBucket(1048573, 0x55);
  EXPECT_EQ(bucketStart(&wrapped, entryCount), 0u);
  // A claim in the last bucket lands on its entries only.
  for (uint64_t i = 1048572; i < 1048576; ++i) fillEntry(t.at(i), keyForBucket(i + 7, 3), 1, 0);
  uint16_t saved = 0;
  HashEntry* e = hashProbeOrReplace(&t.table, &last, 2, 2, &saved);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e, &t.at(1048572));
}

TEST(HashTableSize, WholeEntriesOnlyAndAFreshTableIsClear) {
  ScopedTable t(1000);
  EXPECT_EQ(entryCount, 62u);
  EXPECT_EQ(t.table.age, 0);
  for (uint64_t i = 0; i < entryCount; ++i) {
    EXPECT_EQ(t.at(i).key, 0u);
    EXPECT_EQ(t.at(i).depth, 0u);
    EXPECT_EQ(t.at(i).flags, 0u);
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

// A refused request of more than 4 MB is retried at three quarters of its
// size (the quarter taken from the request, each block in whole entries);
// one of 4 MB or less is not retried. The table is what the heap grants.
TEST(HashTableShrink, RefusedRequestsShrinkByQuarters) {
  struct Case {
    uint64_t request;
    size_t grantLimit;
    uint32_t granted;
    std::vector<size_t> requests;
  };
  const Case cases[] = {
      {5 * MegaByte, 0, 0, {5242880, 3932160}},                                      // one retry below 4 MB
      {4 * MegaByte, 0, 0, {4194304}},                                               // no retry at 4 MB
      {16 * MegaByte, 8 * MegaByte, 7077888, {16777216, 12582912, 9437184, 7077888}},  // until the heap grants
      {5000001, 0, 0, {5000000, 3750000}},                                           // odd size: (5000001 / 4) * 3
  };
  for (const Case& c : cases) {
    RefusingHeap heap(c.grantLimit);
    HashTable table{nullptr, 3};
    EXPECT_EQ(allocateHash(&table, c.request), c.granted) << c.request;
    EXPECT_EQ(requests, c.requests) << c.request;
    EXPECT_EQ(entryCount, c.granted / 16) << c.request;
    EXPECT_EQ(table.entries == nullptr, c.granted == 0) << c.request;
    EXPECT_EQ(table.age, 0) << c.request;
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

TEST(HashProbe, ClaimsAFreeEntryForThePosition) {
  ScopedTable t(64 * 1024);
  resetClaimedCount();
  HashKey k = keyForBucket(100, 0x0ABC);
  uint16_t saved = 0xFFFF;
  HashEntry* e = hashProbeOrReplace(&t.table, &k, 6, 3, &saved);
  ASSERT_EQ(e, &t.at(100));
  EXPECT_EQ(saved, 0u);
  EXPECT_EQ(e->flags & EntryHolderMask, 3);
  EXPECT_EQ(e->key, k.key);
  EXPECT_EQ(e->lock, k.lock);
  EXPECT_EQ(e->depth, 0u);
  EXPECT_EQ(moveToByte(e->move), NoSquare);
  EXPECT_EQ(claimedCount(), 1u);
  EXPECT_EQ(hashLookup(&t.table, &k), e);
}

TEST(HashProbe, FindsAStoredResultAndReleasingRestoresTheFlags) {
  ScopedTable t(64 * 1024);
  HashKey k = keyForBucket(200, 0x1111);
  fillEntry(t.at(200), k, 12, 0, EntryLowerBound);
  resetClaimedCount();
  uint16_t saved = 0;
  HashEntry* e = hashProbeOrReplace(&t.table, &k, 20, 2, &saved);
  ASSERT_EQ(e, &t.at(200));
  EXPECT_EQ(saved, EntryLowerBound);
  EXPECT_EQ(e->flags, EntryLowerBound | 2);
  EXPECT_EQ(e->depth, 12u);
  EXPECT_EQ(e->score, 77);
  // Same age and a result: nothing newly put to use.
  EXPECT_EQ(claimedCount(), 0u);
  e->flags = saved;
  EXPECT_EQ(hashLookup(&t.table, &k), e);
  EXPECT_EQ(e->flags & EntryHolderMask, 0);
}

TEST(HashProbe, AFoundEntryOfAnOlderAgeIsRefreshedAndCounted) {
  ScopedTable t(64 * 1024);
  t.table.age = 9;
  HashKey k = keyForBucket(250, 0x1212);
  fillEntry(t.at(250), k, 12, 8);
  resetClaimedCount();
  uint16_t saved = 0;
  HashEntry* e = hashProbeOrReplace(&t.table, &k, 2, 2, &saved);
  ASSERT_EQ(e, &t.at(250));
  EXPECT_EQ(e->age, 9u);
  EXPECT_EQ(e->depth, 12u);
  EXPECT_EQ(claimedCount(), 1u);
  e->flags = saved;
  // Found again in the same search: counted once only.
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 2, 2, &saved), e);
  EXPECT_EQ(claimedCount(), 1u);
}

TEST(HashProbe, AFreeEntryBeforeTheMatchIsClaimedInstead) {
  ScopedTable t(64 * 1024);
  HashKey k = keyForBucket(300, 0x2222);
  fillEntry(t.at(300), keyForBucket(901, 1), 10, 0);
  fillEntry(t.at(302), k, 10, 0);
  uint16_t saved = 0;
  HashEntry* e = hashProbeOrReplace(&t.table, &k, 4, 2, &saved);
  EXPECT_EQ(e, &t.at(301));
  EXPECT_EQ(e->key, k.key);
  // The look-up still returns the first match of the bucket.
  e->flags = saved;
  EXPECT_EQ(hashLookup(&t.table, &k), &t.at(301));
}

TEST(HashProbe, CurrentAgeIsReplacedOnlyForALargerDepth) {
  ScopedTable t(64 * 1024);
  t.table.age = 2;
  const uint8_t depths[4] = {10, 4, 8, 6};
  for (int i = 0; i < 4; ++i) fillEntry(t.at(400 + i), keyForBucket(1000 + i, 9), depths[i], 2);
  HashKey k = keyForBucket(400, 0x3333);
  uint16_t saved = 0;
  // Asking for 3: nothing shallower than 3 to give up.
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 3, 2, &saved), nullptr);
  // Asking for 4: still none below 4 (equal depth is kept).
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 4, 2, &saved), nullptr);
  // Asking for 7: the shallowest goes.
  HashEntry* e = hashProbeOrReplace(&t.table, &k, 7, 2, &saved);
  EXPECT_EQ(e, &t.at(401));
  // Take-over keeps score, bounds and the move's from-byte.
  EXPECT_EQ(e->score, 77);
  EXPECT_EQ(moveFrom(e->move), 0x14);
  EXPECT_EQ(moveToByte(e->move), NoSquare);
  EXPECT_EQ(e->depth, 0u);
}

TEST(HashProbe, OldestAgeGoesFirstThenTheSmallestDepth) {
  ScopedTable t(64 * 1024);
  t.table.age = 3;
  fillEntry(t.at(500), keyForBucket(2000, 9), 2, 3);   // current
  fillEntry(t.at(501), keyForBucket(2001, 9), 40, 1);  // two searches old
  fillEntry(t.at(502), keyForBucket(2002, 9), 1, 2);   // one search old
  fillEntry(t.at(503), keyForBucket(2003, 9), 30, 1);  // two old, shallower
  resetClaimedCount();
  HashKey k = keyForBucket(500, 0x4444);
  uint16_t saved = 0;
  HashEntry* e = hashProbeOrReplace(&t.table, &k, 200, 2, &saved);
  EXPECT_EQ(e, &t.at(503));
  EXPECT_EQ(e->age, 3u);
  EXPECT_EQ(claimedCount(), 1u);
}

TEST(HashProbe, AgeDistanceWrapsAroundSixteen) {
  ScopedTable t(64 * 1024);
  t.table.age = 0;
  fillEntry(t.at(600), keyForBucket(3000, 9), 50, 15);  // one search old
  fillEntry(t.at(601), keyForBucket(3001, 9), 50, 1);   // fifteen searches old
  fillEntry(t.at(602), keyForBucket(3002, 9), 50, 0);
  fillEntry(t.at(603), keyForBucket(3003, 9), 50, 0);
  HashKey k = keyForBucket(600, 0x5555);
  uint16_t saved = 0;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 2, 2, &saved), &t.at(601));
}

TEST(HashProbe, TiesKeepTheEarlierEntry) {
  ScopedTable t(64 * 1024);
  for (int i = 0; i < 4; ++i) fillEntry(t.at(700 + i), keyForBucket(4000 + i, 9), 5, 0);
  HashKey k = keyForBucket(700, 0x6666);
  uint16_t saved = 0;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 9, 2, &saved), &t.at(700));
}

TEST(HashProbe, HeldEntriesAreNeverReplaced) {
  ScopedTable t(64 * 1024);
  t.table.age = 5;
  for (int i = 0; i < 4; ++i) fillEntry(t.at(800 + i), keyForBucket(5000 + i, 9), 1, 0, uint16_t(4 + i));
  HashKey k = keyForBucket(800, 0x7777);
  uint16_t saved = 0;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 200, 2, &saved), nullptr);
  // An entry of the position held by another thread is found, not claimed.
  HashKey held = keyForBucket(900, 0x99);
  fillEntry(t.at(900), held, 8, 5, EntryOnLine | 6);
  HashEntry* e = hashProbeOrReplace(&t.table, &held, 4, 2, &saved);
  ASSERT_EQ(e, &t.at(900));
  EXPECT_EQ(saved, EntryOnLine | 6);
  EXPECT_EQ(e->flags, EntryOnLine | 6);
}

TEST(HashProbe, OwnHeldEntryIsFoundWithItsFlags) {
  ScopedTable t(64 * 1024);
  HashKey k = keyForBucket(1000, 0x0101);
  uint16_t first = 0, second = 0;
  HashEntry* e = hashProbeOrReplace(&t.table, &k, 4, 3, &first);
  ASSERT_NE(e, nullptr);
  e->flags |= EntryOnLine;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 4, 3, &second), e);
  EXPECT_EQ(second, EntryOnLine | 3);
  EXPECT_EQ(e->flags, EntryOnLine | 3);
}

TEST(HashProbe, TinyTableStaysInside) {
  ScopedTable t(64);
  ASSERT_EQ(entryCount, 4u);
  HashKey k{0x12345678, 0x4321, 0};
  EXPECT_EQ(bucketStart(&k, entryCount), 0u);
  uint16_t saved = 0;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &k, 4, 2, &saved), &t.at(0));
}

// ------------------------------------------------------ game-history marks

struct HistoryScope {
  HistoryScope() { addHistoryKey(nullptr, -1); }
  ~HistoryScope() { addHistoryKey(nullptr, -1); }
};

TEST(GameHistoryMarks, CountsOccurrencesAndUnmarkFreesTheEntries) {
  ScopedTable t(64 * 1024);
  HistoryScope scope;
  const HashKey a = keyForBucket(1100, 0x0A0A), b = keyForBucket(1200, 0x0B0B), c = keyForBucket(1300, 0x0C0C);
  const HashKey sequence[6] = {a, b, a, c, a, b};
  for (int32_t i = 0; i < 6; ++i) addHistoryKey(&sequence[i], i);
  t.table.age = 6;
  prepareHashForSearch(&t.table, 0);
  EXPECT_EQ(t.table.age, 6);

  HashEntry* ea = hashLookup(&t.table, &a);
  HashEntry* eb = hashLookup(&t.table, &b);
  HashEntry* ec = hashLookup(&t.table, &c);
  ASSERT_TRUE(ea != nullptr && eb != nullptr && ec != nullptr);
  EXPECT_EQ(ea->flags, MarkThrice);
  EXPECT_EQ(eb->flags, MarkTwice);
  EXPECT_EQ(ec->flags, MarkOnce);
  for (HashEntry* e : {ea, eb, ec}) {
    EXPECT_EQ(e->depth, 255u);
    EXPECT_EQ(e->score, 0);
    EXPECT_EQ(e->flags & EntryHolderMask, 1);
    EXPECT_EQ(e->age, 6u);
  }

  // A search thread meeting a mark finds it and leaves it held by thread 1.
  uint16_t saved = 0;
  EXPECT_EQ(hashProbeOrReplace(&t.table, &a, 30, 4, &saved), ea);
  EXPECT_EQ(ea->flags, MarkThrice);

  unmarkGameHistory(&t.table);
  for (HashEntry* e : {ea, eb, ec}) {
    EXPECT_EQ(e->key, 0u);
    EXPECT_EQ(e->lock, 0u);
    EXPECT_EQ(e->flags, 0u);
    EXPECT_EQ(e->depth, 0u);
    EXPECT_EQ(e->move, noMove);
    EXPECT_EQ(e->age, 6u);
  }
  EXPECT_EQ(hashLookup(&t.table, &a), nullptr);
}

TEST(GameHistoryMarks, AMarkOverAStoredResultAndAnEntryWithAnotherDepth) {
  ScopedTable t(64 * 1024);
  HistoryScope scope;
  const HashKey a = keyForBucket(1400, 0x0D0D), b = keyForBucket(1500, 0x0E0E);
  fillEntry(t.at(1400), a, 20, 0, EntryLowerBound | EntryUpperBound);
  addHistoryKey(&a, 0);
  prepareHashForSearch(&t.table, 0);
  EXPECT_EQ(t.at(1400).flags, MarkOnce);
  EXPECT_EQ(t.at(1400).depth, 255u);
  // An entry of a history position that is no mark stays as it is.
  fillEntry(t.at(1500), b, 12, 0, EntryLowerBound);
  addHistoryKey(&b, 1);
  unmarkGameHistory(&t.table);
  EXPECT_EQ(t.at(1400).key, 0u);
  EXPECT_EQ(t.at(1500).key, b.key);
  EXPECT_EQ(t.at(1500).depth, 12u);
  EXPECT_EQ(t.at(1500).flags, EntryLowerBound);
}

TEST(PrepareForSearch, AgesWrapsAndResetsTheFill) {
  ScopedTable t(64 * 1024);
  HistoryScope scope;
  t.table.age = 15;
  claimedCounts[1].count = 99;
  fillEntry(t.at(10), keyForBucket(10, 1), 8, 15);
  prepareHashForSearch(&t.table, 1);
  EXPECT_EQ(t.table.age, 0);
  EXPECT_EQ(claimedCount(), 0u);
  EXPECT_EQ(t.at(10).depth, 8u);
}

TEST(PrepareForSearch, MarksBeatEntriesOfEveryDepthAndAge) {
  // A mark asks for depth 255: it takes any unheld entry of its bucket.
  ScopedTable t(64 * 1024);
  HistoryScope scope;
  t.table.age = 4;
  for (int i = 0; i < 4; ++i) fillEntry(t.at(1600 + i), keyForBucket(6000 + i, 9), 254, 4);
  const HashKey a = keyForBucket(1600, 0x0F0F);
  addHistoryKey(&a, 0);
  prepareHashForSearch(&t.table, 0);
  EXPECT_EQ(hashLookup(&t.table, &a), &t.at(1600));
  unmarkGameHistory(&t.table);
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
