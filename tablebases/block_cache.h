// The block cache of the tablebase probe: fixed-size slots of 8192-byte
// table blocks in memory the front end gives, replaced least recently used
// first, found through 32 chains per endgame side (block number modulo 32).
// Table files are opened on demand and kept open; compressed blocks are
// expanded straight into a slot through the one process-wide decode block.
//
// Probes come from the engine's search threads, serialised by the engine's
// probe lock; `tbSetCache`, `tbResetCache` and registration run on the
// front end while no search probes.
#pragma once
#include <cstdint>

namespace tablebases {

struct DecodeBlock;

constexpr int32_t tbBlockBytes = 8192;
constexpr int32_t tbBlockDataBytes = 8228;  // a block and its margin
constexpr int32_t tbCacheSlotBytes = 8284;  // record and data area
constexpr int32_t tbCacheBlockMissing = 32767;

struct TbCacheBlock {
  int32_t id;
  int32_t side;
  uint32_t block;          // within the side's whole table (extent bits included)
  uint32_t validBytes;     // bytes the read really gave
  TbCacheBlock* older;     // towards the tail; the next free record on the free list
  TbCacheBlock* newer;     // towards the head
  TbCacheBlock* chainNext;
  TbCacheBlock* chainPrev;
  uint8_t* data;
};
static_assert(sizeof(TbCacheBlock) <= tbCacheSlotBytes - tbBlockDataBytes,
              "a cache record must fit its slot beside the data area");

extern DecodeBlock* tbDecodeBlock;

// Gives the cache its memory (owned by the caller); 1 when the cache is on.
int32_t tbSetCache(void* memory, uint64_t bytes);
void tbResetCache();
void tbCloseAllFiles();
// The signed byte at offset in a block of a row's side, or 32767.
int32_t tbCacheGetBlock(int32_t id, int32_t side, uint32_t block, uint32_t offset);
// Slots in use for the given size (0 = off).
uint32_t tbCacheSlots();

}  // namespace tablebases
