// The transposition table: allocation with shrinking and memory locking,
// clearing and release, and the two ways of finding a position's entry
// (look-up only, or find-or-claim for a search thread).
//
// Every search thread probes the table at once and without a lock, so the
// fields a probe reads or writes are accessed as relaxed atomics, and the
// holder byte is claimed with a compare-exchange of the flags word: two
// threads can never both believe they hold one entry. An entry of an older
// generation (free since the table was emptied) is claimed instead with a
// compare-exchange of its generation word, which passes through
// GenerationBeingCleared to the current generation and never back: the
// claimer writes a free entry's contents first and publishes the current
// generation last, so no thread ever sees the old contents as current.
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "engine/hash/hash.h"
#include "platform/memory.h"

namespace engine {

namespace {

// The working set asked for around the table.
constexpr uint64_t WorkingSetMaxExtra = 0x2000000;
// A refusal at or below this size ends the attempts.
constexpr uint64_t SmallestRetry = 4194304;
// Linux grants allocations it cannot back and kills the process when the
// table is first written, so a request above this share of the physical
// memory counts as refused and shrinks like one.
constexpr uint64_t BackableShareDivisor = 2;

HashAllocator hashAllocator = nullptr;

bool keyMatches(HashEntry* entry, const HashKey* hk) {
  return loadShared(entry->key) == hk->key && loadShared(entry->lock) == hk->lock;
}

uint16_t generationOf(HashEntry* entry) {
  return std::atomic_ref<uint16_t>(entry->generation).load(std::memory_order_acquire);
}

// The move of a free entry taken over for a position: no move (the
// from-byte of a zeroed entry, a to-byte of 12).
constexpr Move TakenOverFreeMove = Move(NoSquare << 8);

// Claims an entry of an older generation for the position: the state of a
// zeroed entry claimed by `holderId` and taken over. False when another
// thread claimed it first.
bool claimFormerEntry(HashEntry* entry, uint16_t former, const HashKey* hk, int32_t holderId, int32_t tableAge,
                      uint16_t generation) {
  if (!std::atomic_ref<uint16_t>(entry->generation)
           .compare_exchange_strong(former, GenerationBeingCleared, std::memory_order_acq_rel))
    return false;
  storeShared(entry->flags, uint16_t(holderId & EntryHolderMask));
  storeShared(entry->score, int16_t(0));
  storeShared(entry->move, TakenOverFreeMove);
  storeShared(entry->depth, uint8_t(0));
  storeShared(entry->age, uint8_t(tableAge));
  storeShared(entry->key, hk->key);
  storeShared(entry->lock, hk->lock);
  std::atomic_ref<uint16_t>(entry->generation).store(generation, std::memory_order_release);
  return true;
}

bool tableUsable(const HashTable* table) { return table->entries != nullptr && entryCount >= EntriesPerBucket; }

void* allocateBlock(size_t bytes) { return hashAllocator != nullptr ? hashAllocator(bytes) : std::malloc(bytes); }

// Can a block of `bytes` be asked for at all? It must hold one bucket, be
// addressable (the 32-bit build) and fit the memory the machine can back.
bool requestPossible(uint64_t bytes) {
  if (bytes / EntryBytes < EntriesPerBucket) return false;
  if (bytes > uint64_t(SIZE_MAX)) return false;
  uint64_t physical = platform::physicalMemoryBytes();
  return physical == 0 || bytes <= physical / BackableShareDivisor;
}

size_t clampToSize(uint64_t bytes) { return bytes > uint64_t(SIZE_MAX) ? SIZE_MAX : size_t(bytes); }

}  // namespace

void setHashAllocator(HashAllocator allocator) { hashAllocator = allocator; }

ClaimCounter claimedCounts[ClaimCounterCount];

uint64_t claimedCount() {
  uint64_t sum = 0;
  for (ClaimCounter& counter : claimedCounts) sum += loadShared(counter.count);
  return sum;
}

void resetClaimedCount() {
  for (ClaimCounter& counter : claimedCounts) storeShared(counter.count, uint64_t(0));
}

// The block of the allocation: at most `bytes`, shrunk to three quarters
// while it is refused; null when none was had. `bytes`
// receives the size obtained.
static HashEntry* obtainBlock(uint64_t* bytes) {
  uint64_t size = *bytes;
  for (;;) {
    // Room in the locked working set for the table.
    platform::allowLockedMemory(clampToSize(size + WorkingSetMaxExtra));
    // The block, whole entries only.
    const uint64_t count = size / EntryBytes;
    HashEntry* block = nullptr;
    if (requestPossible(count * EntryBytes))
      block = static_cast<HashEntry*>(allocateBlock(size_t(count * EntryBytes)));
    if (block != nullptr) {
      *bytes = count * EntryBytes;
      return block;
    }
    // Refused: three quarters of the size, down to the smallest.
    if (size <= SmallestRetry) return nullptr;
    size = (size / 4) * 3;
  }
}

uint64_t allocateHash(HashTable* table, uint64_t bytes) {
  // A table still allocated is given back first rather than lost.
  freeHash(table);
  HashEntry* block = obtainBlock(&bytes);
  table->age = 0;
  if (block == nullptr) {
    entryCount = 0;
    return 0;
  }
  // Large pages asked for first: the table is probed all over, and
  // clearing a new block faults it in one large page at a time rather than
  // one small page at a time (for a table of gigabytes, tens of times
  // faster). Cleared before it is locked: the clearing threads fault the
  // pages in side by side, where locking first would fault them in one by
  // one on this thread.
  table->entries = block;
  entryCount = bytes / EntryBytes;
  platform::adviseLargePages(block, size_t(bytes));
  clearHash(table);
  platform::lockMemory(block, size_t(bytes));
  return bytes;
}

uint64_t measureHash(uint64_t bytes) {
  HashEntry* block = obtainBlock(&bytes);
  if (block == nullptr) return 0;
  std::free(block);
  return bytes;
}

void clearHash(HashTable* table) {
  if (table->entries == nullptr) return;
  platform::zeroMemory(table->entries, size_t(entryCount * EntryBytes));
  table->emptiedSinceZeroed = 0;
}

void emptyHash(HashTable* table) {
  // Every value the generation takes since the last zeroing marks entries
  // that may still hold something: once they are all used up, zero.
  if (table->emptiedSinceZeroed + 1 >= GenerationCount) {
    clearHash(table);
    return;
  }
  table->generation = uint16_t(table->generation + 1);
  if (table->generation == GenerationBeingCleared) table->generation = 0;
  table->emptiedSinceZeroed += 1;
}

void freeHash(HashTable* table) {
  if (table->entries == nullptr) return;
  platform::unlockMemory(table->entries, size_t(entryCount * EntryBytes));
  // A replacement allocator must hand out blocks that free accepts.
  std::free(table->entries);
  table->entries = nullptr;
}

HashEntry* hashLookup(HashTable* table, const HashKey* hk) {
  if (!tableUsable(table)) return nullptr;
  HashEntry* bucket = table->entries + bucketStart(hk, entryCount);
  for (uint64_t i = 0; i < EntriesPerBucket; ++i)
    if (generationOf(&bucket[i]) == table->generation && keyMatches(&bucket[i], hk)) return &bucket[i];
  return nullptr;
}

HashEntry* hashProbeOrReplace(HashTable* table, const HashKey* hk, int32_t depth, int32_t holderId,
                              uint16_t* savedFlags) {
  if (!tableUsable(table)) return nullptr;
  HashEntry* const entries = table->entries;
  const int32_t tableAge = table->age;
  const uint16_t generation = table->generation;

  // Step 1. Entries of an older age beat any of the current one; among equal
  // ages the shallower result goes first; the current age needs more depth
  // than asked for.
  uint64_t scanStart = bucketStart(hk, entryCount);
  int32_t best = -depth;
  for (;;) {
    // Step 2. Scan four entries. A rescan starts where the last scan
    // stopped and may move past the bucket: it must stay inside the table.
    if (scanStart + EntriesPerBucket > entryCount) return nullptr;
    HashEntry* choice = nullptr;
    uint16_t formerGeneration = generation;
    uint64_t scanStop = scanStart + EntriesPerBucket;
    for (uint64_t i = scanStart; i < scanStart + EntriesPerBucket; ++i) {
      HashEntry* entry = &entries[i];
      // An entry of an older generation is free; one being cleared, held.
      const uint16_t entryGeneration = generationOf(entry);
      if (entryGeneration != generation) {
        if (entryGeneration == GenerationBeingCleared) continue;
        choice = entry;
        formerGeneration = entryGeneration;
        scanStop = i;
        break;
      }
      const uint16_t flags = loadShared(entry->flags);
      const int32_t entryDepth = loadShared(entry->depth);
      const bool unheld = (flags & EntryHolderMask) == 0;
      if ((entryDepth == 0 && unheld) || keyMatches(entry, hk)) {
        choice = entry;
        scanStop = i;
        break;
      }
      int32_t distance = tableAge - int32_t(loadShared(entry->age));
      if (distance < 0) distance += AgeCount;
      const int32_t score = distance * 256 - entryDepth;
      if (score > best && unheld) {
        best = score;
        choice = entry;
      }
    }
    // Step 3. Every entry held by another thread: nothing to take. A
    // rescan after a lost claim starts where this scan stopped.
    if (choice == nullptr) return nullptr;
    scanStart = scanStop;

    // A free entry of an older generation: claimed and taken over as a
    // zeroed one would be, or, when another thread was first, rescanned.
    if (formerGeneration != generation) {
      if (!claimFormerEntry(choice, formerGeneration, hk, holderId, tableAge, generation)) continue;
      *savedFlags = 0;
      addShared(claimedCounts[holderId & EntryHolderMask].count, uint64_t(1));
      return choice;
    }

    // Step 4. Claim a free holder byte in one step; an entry that
    // another thread took meanwhile, for another position, sends us on.
    const uint16_t flags = loadShared(choice->flags);
    int32_t holder = flags & EntryHolderMask;
    if (holder == 0) {
      uint16_t expected = flags;
      const uint16_t claimed = uint16_t(flags | (holderId & EntryHolderMask));
      if (!std::atomic_ref<uint16_t>(choice->flags)
               .compare_exchange_strong(expected, claimed, std::memory_order_relaxed))
        continue;
      holder = holderId;
    } else if (holder != holderId && !keyMatches(choice, hk)) {
      continue;
    }
    *savedFlags = flags;

    // Step 5. Count the entries this search has put to use.
    if (loadShared(choice->depth) == 0 || loadShared(choice->age) != uint8_t(tableAge))
      addShared(claimedCounts[holderId & EntryHolderMask].count, uint64_t(1));
    storeShared(choice->age, uint8_t(tableAge));

    // Step 6. Found.
    if (keyMatches(choice, hk)) return choice;
    // Step 7. Take the entry over for this position: no move and no depth,
    // the old score and bounds stay until a result is stored.
    if (holder == holderId) {
      storeShared(choice->key, hk->key);
      storeShared(choice->lock, hk->lock);
      const Move move = loadShared(choice->move);
      storeShared(choice->move, Move((move & 0x00FF) | (NoSquare << 8)));
      storeShared(choice->depth, uint8_t(0));
      return choice;
    }
  }
}

}  // namespace engine
