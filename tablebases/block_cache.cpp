#include "tablebases/block_cache.h"

#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "tablebases/compressed_file.h"
#include "tablebases/endgame_table.h"

namespace tablebases {

DecodeBlock* tbDecodeBlock = nullptr;

namespace {

constexpr uint32_t blocksPerExtentLog = 18;  // 2^18 blocks of 8192 bytes = 2^31 bytes
constexpr int32_t firstRow = 1, lastRow = 440;

uint8_t* cacheMemory = nullptr;
uint32_t slotCount = 0;
TbCacheBlock* usedHead = nullptr;  // most recently used
TbCacheBlock* usedTail = nullptr;  // least recently used
TbCacheBlock* freeHead = nullptr;

TbCacheBlock*& chainHead(const TbCacheBlock* record) {
  return tbDesc[record->id].buckets[record->side][record->block & (tbChainsPerSide - 1)];
}

void unlinkUsed(TbCacheBlock* r) {
  if (r->newer) r->newer->older = r->older;
  else usedHead = r->older;
  if (r->older) r->older->newer = r->newer;
  else usedTail = r->newer;
  r->older = r->newer = nullptr;
}

void pushUsedHead(TbCacheBlock* r) {
  r->newer = nullptr;
  r->older = usedHead;
  if (usedHead) usedHead->newer = r;
  usedHead = r;
  if (usedTail == nullptr) usedTail = r;
}

void unlinkChain(TbCacheBlock* r) {
  if (r->chainPrev) r->chainPrev->chainNext = r->chainNext;
  else chainHead(r) = r->chainNext;
  if (r->chainNext) r->chainNext->chainPrev = r->chainPrev;
  r->chainNext = r->chainPrev = nullptr;
}

void pushChainFront(TbCacheBlock* r) {
  TbCacheBlock*& head = chainHead(r);
  r->chainPrev = nullptr;
  r->chainNext = head;
  if (head) head->chainPrev = r;
  head = r;
}

// Reads one block of an extent into the record's data area; the number of
// bytes it gave, or -1.
int32_t readBlock(TbDesc& row, int32_t side, int32_t extent, uint32_t block, uint8_t* data) {
  std::FILE*& file = row.file[side][extent];
  if (file == nullptr) {
    const std::string& name = row.fileName[side][extent];
    if (name.empty()) return -1;
    file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
      // Perhaps too many open files: close them all and try once more.
      tbCloseAllFiles();
      file = std::fopen(name.c_str(), "rb");
      if (file == nullptr) return -1;
    }
  }
  if (CompressedFileIndex* index = row.compressed[side][extent]) {
    if (tbDecodeBlock == nullptr || block >= index->blockCount) return -1;
    dcInitDecodeBlock(tbDecodeBlock, tbBlockBytes, data);
    if (dcReadBlock(tbDecodeBlock, index, file, block) != 0) return -1;
    if (dcDecodeBlock(tbDecodeBlock, index, tbDecodeBlock->blockSize) != 0) return -1;
    return tbDecodeBlock->blockSize;
  }
  if (!platform::seekFile(file, uint64_t(block) * tbBlockBytes)) return -1;
  size_t got = std::fread(data, 1, tbBlockBytes, file);
  if (std::ferror(file)) {
    std::clearerr(file);
    return -1;
  }
  return int32_t(got);
}

}  // namespace

uint32_t tbCacheSlots() { return slotCount; }

void tbCloseAllFiles() {
  if (slotCount == 0) return;  // no file can be open while the cache is off
  for (int32_t id = firstRow; id <= lastRow; ++id)
    for (int32_t side = 0; side < 2; ++side)
      for (int32_t e = 0; e < tbMaxExtents; ++e) {
        std::FILE*& file = tbDesc[id].file[side][e];
        if (file) std::fclose(file);
        file = nullptr;
      }
}

int32_t tbSetCache(void* memory, uint64_t bytes) {
  tbCloseAllFiles();
  usedHead = usedTail = nullptr;
  cacheMemory = static_cast<uint8_t*>(memory);
  uint64_t slots = memory == nullptr ? 0 : bytes / tbCacheSlotBytes;
  slotCount = uint32_t(slots > UINT32_MAX ? UINT32_MAX : slots);
  tbResetCache();
  // On only when at least one block fits (a size below one slot turns it off).
  return slotCount > 0 ? 1 : 0;
}

void tbResetCache() {
  if (slotCount == 0) return;
  tbCloseAllFiles();
  TbCacheBlock* records = reinterpret_cast<TbCacheBlock*>(cacheMemory);
  uint8_t* areas = cacheMemory + uint64_t(slotCount) * sizeof(TbCacheBlock);
  for (uint32_t i = 0; i < slotCount; ++i) {
    TbCacheBlock& r = records[i];
    r = TbCacheBlock{};
    r.data = areas + uint64_t(i) * tbBlockDataBytes;
    r.older = i + 1 < slotCount ? &records[i + 1] : nullptr;
  }
  for (int32_t id = firstRow; id <= lastRow; ++id)
    for (int32_t side = 0; side < 2; ++side)
      if (tbDesc[id].buckets[side])
        std::memset(tbDesc[id].buckets[side], 0, tbChainsPerSide * sizeof(TbCacheBlock*));
  usedHead = usedTail = nullptr;
  freeHead = &records[0];
}

int32_t tbCacheGetBlock(int32_t id, int32_t side, uint32_t block, uint32_t offset) {
  TbDesc& row = tbDesc[id];
  if (slotCount == 0 || row.buckets[side] == nullptr) return tbCacheBlockMissing;

  // Step 1. A hit moves to the front of the used list and of its chain.
  for (TbCacheBlock* r = row.buckets[side][block & (tbChainsPerSide - 1)]; r; r = r->chainNext) {
    if (r->block != block) continue;
    if (usedHead != r) {
      unlinkUsed(r);
      pushUsedHead(r);
    }
    if (r->chainPrev) {
      unlinkChain(r);
      pushChainFront(r);
    }
    return offset < r->validBytes ? int32_t(int8_t(r->data[offset])) : tbCacheBlockMissing;
  }

  // Step 2. A miss takes a free record, or the least recently used one.
  TbCacheBlock* r = freeHead;
  if (r) {
    freeHead = r->older;
    r->older = nullptr;
  } else {
    r = usedTail;
    unlinkUsed(r);
    unlinkChain(r);
  }
  r->id = id;
  r->side = side;
  r->block = block;

  // Step 3. The extent and the block within it.
  int32_t extent = 0;
  uint32_t inExtent = block;
  if (row.flags & tbSplit) {
    extent = int32_t(block >> blocksPerExtentLog);
    inExtent = block & ((1u << blocksPerExtentLog) - 1);
  }
  int32_t got = extent < tbMaxExtents ? readBlock(row, side, extent, inExtent, r->data) : -1;
  if (got < 0) {
    // The extent counts as unregistered until the next initialisation.
    if (extent < tbMaxExtents) row.fileName[side][extent].clear();
    r->chainNext = r->chainPrev = nullptr;
    r->older = freeHead;
    freeHead = r;
    return tbCacheBlockMissing;
  }
  r->validBytes = uint32_t(got);
  pushUsedHead(r);
  pushChainFront(r);
  return offset < r->validBytes ? int32_t(int8_t(r->data[offset])) : tbCacheBlockMissing;
}

}  // namespace tablebases
