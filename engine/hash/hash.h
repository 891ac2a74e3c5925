// Hash keys and the transposition table.
//
// A position is identified by a `HashKey` (engine/control/hash_key.h): a
// 32-bit key and a 16-bit lock, the XOR of per-kind, per-square values of
// every piece on the board, with key bit 31 set when Black is to move.
// Castling rights, the en-passant square and the move counters are not part
// of it; the board layer keeps the keys up to date (`updateHashKey`). The
// per-square values come from the fixed random generator seeded with 0, so
// they are the same in every run and build (the opening book is keyed by
// them). They are written by `initHashAndKeys` while no search runs and
// only read after.
//
// The transposition table is one block of 16-byte entries in overlapping
// buckets of four, shared by every search thread without a lock. An entry
// is held by at most one thread at a time (the holder byte); only the holder
// writes a result into it. Before a search the positions of the game
// history are marked in it (held by thread 1), which is how the search
// recognises repetitions of the game. The engine module has one table, the
// front end's linked copy of the core its own.
//
// Emptying the table before a search ("Clear_hash") must not cost the
// move's time: zeroing a table of gigabytes takes longer than a short
// move's whole clock. So the table has a generation, and every entry the
// generation it was last claimed in; `emptyHash` starts a new generation,
// and from then on an entry of an older one counts as free, exactly as a
// zeroed entry would, until a probe claims it and writes a free entry's
// contents over it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/control/hash_key.h"
#include "engine/control/move.h"
#include "engine/control/shared_word.h"

namespace engine {

// One table entry; all zero is a free entry.
//
//   bytes  0..3   key
//          4..5   lock
//          6..7   score (i16; 0 for a game-history mark)
//          8..9   flags:  15      14      13      12  11    10..8   7..0
//                        lower   upper   on line  history   unused  holder
//                        bound   bound            count
//         10..11  move (a to-byte of 12: none)
//         12      depth (twice the search depth, + 1 with a known threat;
//                 0 no result, 255 a game-history mark)
//         13      age (the table's age when last claimed or refreshed)
//         14..15  generation (the table's generation when last claimed; an
//                 entry of another one is free, whatever it holds)
struct HashEntry {
  uint32_t key;
  uint16_t lock;
  int16_t score;
  uint16_t flags;
  Move move;
  uint8_t depth;
  uint8_t age;
  uint16_t generation;
};
static_assert(sizeof(HashEntry) == 16);

// Flag bits of an entry.
constexpr uint16_t EntryHolderMask = 0x00FF;
constexpr uint16_t EntryHistoryTwice = 0x1000;  // with EntryHistoryMore: three times or more
constexpr uint16_t EntryHistoryMore = 0x0800;
constexpr uint16_t EntryOnLine = 0x2000;
constexpr uint16_t EntryUpperBound = 0x4000;
constexpr uint16_t EntryLowerBound = 0x8000;

// The holder of the game-history marks (the master thread's id) and their
// depth, and the flags of a position standing once, twice, three times or
// more in the game history.
constexpr int32_t MarkHolder = 1;
constexpr uint8_t MarkDepth = 255;
constexpr uint16_t MarkOnce = EntryOnLine | MarkHolder;
constexpr uint16_t MarkTwice = MarkOnce | EntryHistoryTwice;
constexpr uint16_t MarkThrice = MarkTwice | EntryHistoryMore;
// Does an entry's flags mark a position standing three times or more in
// the game history (whoever holds it now)?
inline bool markedThrice(uint16_t flags) {
  return (flags & MarkThrice & ~EntryHolderMask) == (MarkThrice & ~EntryHolderMask);
}

constexpr uint64_t EntriesPerBucket = 4;
constexpr int32_t EntryBytes = 16;
// Ages run 0..15 and wrap.
constexpr int32_t AgeCount = 16;

// An entry's generation while the thread that claimed it from an older
// generation writes a free entry's contents over it: it counts as held.
// A table's own generation never takes this value.
constexpr uint16_t GenerationBeingCleared = 0xFFFF;
// Generations a table can tell apart: after this many emptyings without a
// zeroing in between, the next emptying zeroes the table, so that an old
// entry never comes back as current.
constexpr uint32_t GenerationCount = 0xFFFF;

struct HashTable {
  HashEntry* entries;  // null before the first allocation and after release
  int8_t age;
  uint16_t generation = 0;          // entries of another one count as free
  uint32_t emptiedSinceZeroed = 0;  // new generations since every entry was zero
};

// The table of this copy of the engine core and its entry count.
extern HashTable engineHash;
extern uint64_t entryCount;

// The entries claimed since the search began (the hash fill), counted by
// holder id, each count on a cache line of its own: every search thread
// claims entries all the time, and one shared counter would move between
// the cores at each claim (and, beside the table's pointer and size, slow
// every probe down). Relaxed atomic increments; the fill is their sum.
constexpr int32_t ClaimCounterCount = EntryHolderMask + 1;
struct alignas(64) ClaimCounter {
  uint64_t count;
};
extern ClaimCounter claimedCounts[ClaimCounterCount];
uint64_t claimedCount();
void resetClaimedCount();

// Key tables: 7 tables of 128 keys by 0x88 square. The Black kinds and the
// empty kind use tables 0..6, the White kinds the spare columns (square + 8)
// of tables 0..5.
constexpr int32_t KeyTableCount = 7;
constexpr int32_t KeyTableEntries = 128;
extern HashKey keyTables[KeyTableCount][KeyTableEntries];

// Builds the key tables, allocates the table of at most `bytes` and
// initialises the master board record; returns the bytes allocated (0 when
// none).
uint32_t initHashAndKeys(uint32_t bytes);
// Draws the key tables and hangs them on the static piece kinds (the first
// steps of initHashAndKeys).
void initKeyTables();

// Allocates the table of at most `bytes`, shrinking the request to three
// quarters while the memory is refused; returns the bytes obtained (a
// multiple of 16) or 0.
uint64_t allocateHash(HashTable* table, uint64_t bytes);
// The bytes a table of at most `bytes` would get (the same shrinking as
// allocateHash), found by asking for the block and giving it back at once,
// without touching it; 0 when none.
uint64_t measureHash(uint64_t bytes);
void clearHash(HashTable* table);
// Empties the table at once (a new generation): afterwards every probe,
// claim and look-up finds what a zeroed table gives it. Only while no
// search runs.
void emptyHash(HashTable* table);
void freeHash(HashTable* table);
void releaseHash();

// The allocation function the table is taken from (malloc unless a test
// replaces it to see how refusals are handled); null restores malloc.
using HashAllocator = void* (*)(size_t bytes);
void setHashAllocator(HashAllocator allocator);

// Index of the first entry of a key's bucket (the table must hold at least
// one bucket).
inline uint64_t bucketStart(const HashKey* key, uint64_t entries) {
  return uint64_t(key->key ^ key->lock) % (entries - (EntriesPerBucket - 1));
}

// Age step and the game-history marks (newSearch nonzero before a search;
// zero for the front end's result check).
void prepareHashForSearch(HashTable* table, int32_t newSearch);
// The position's entry, without claiming or changing anything; null when
// the bucket does not hold it.
HashEntry* hashLookup(HashTable* table, const HashKey* key);
// Removes the game-history marks after a search.
void unmarkGameHistory(HashTable* table);
// Finds the position's entry or claims one for it, held by `holderId`;
// `savedFlags` receives the entry's flags from before the call (restoring
// them releases the entry). Null when every entry of the bucket is held.
HashEntry* hashProbeOrReplace(HashTable* table, const HashKey* key, int32_t depth, int32_t holderId,
                              uint16_t* savedFlags);

}  // namespace engine
