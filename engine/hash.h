// Hash keys and the transposition table.
#pragma once
#include <cstdint>

#include "engine/move.h"

namespace engine {

struct HashKey {
  uint32_t key;
  uint16_t lock;
  uint16_t spare;
};

struct HashEntry {
  uint32_t key;
  uint16_t lock;
  int16_t score;
  uint16_t flags;
  Move move;
  uint8_t depth;
  uint8_t age;
};

struct HashTable {
  HashEntry* entries;
  int8_t age;
};

// The table of this copy of the engine core, its entry count and the
// entries claimed since the search began.
extern HashTable engineHash;
extern uint64_t entryCount;
extern uint64_t claimedCount;

// Builds the key tables, allocates the table and initialises the master
// board record; returns the bytes allocated.
uint32_t initHashAndKeys(uint32_t bytes);
void clearHash(HashTable* table);
void releaseHash();
void prepareHashForSearch(HashTable* table, int32_t newSearch);
HashEntry* hashLookup(HashTable* table, const HashKey* key);
void unmarkGameHistory(HashTable* table);
// Finds the position's entry or claims one for it, held by `holderId`;
// `savedFlags` receives the entry's flags from before the call (restoring
// them releases the entry). Null when every entry of the bucket is held.
HashEntry* hashProbeOrReplace(HashTable* table, const HashKey* key, int32_t depth, int32_t holderId,
                              uint16_t* savedFlags);
// The child's key and lock from its parent's and the move just made.
struct Position;
void updateHashKey(Position* child);

}  // namespace engine
