#include "frontend/book.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/file.h"

namespace frontend {

Book book = {nullptr, 0, {}};

namespace {

// One entry as read from the file.
struct BookEntry {
  uint8_t key[BookKeyBytes];
  engine::Move move;
  int16_t weight;
};

// Reads entry `position` (1-based); false when the read fails.
bool readEntry(Book* source, int32_t position, BookEntry* entry) {
  uint8_t bytes[BookEntryBytes];
  if (!platform::seekFile(source->file, uint64_t(position - 1) * BookEntryBytes)) return false;
  if (std::fread(bytes, 1, sizeof(bytes), source->file) != sizeof(bytes)) return false;
  std::memcpy(entry->key, bytes, BookKeyBytes);
  entry->move = static_cast<engine::Move>(bytes[8] | (bytes[9] << 8));
  entry->weight = static_cast<int16_t>(static_cast<uint16_t>(bytes[10] | (bytes[11] << 8)));
  return true;
}

}  // namespace

int32_t openBook(Book* target, const char* path) {
  if (target->file != nullptr) std::fclose(target->file);
  target->file = nullptr;
  // A directory opens for reading here, and reads then fail: refuse it.
  errno = 0;
  if (!platform::isRegularFile(path)) return errno != 0 ? errno : EISDIR;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return errno != 0 ? errno : ENOENT;
  int64_t size = platform::fileSize(file);
  target->file = file;
  target->count = size > 0 ? static_cast<int32_t>(size / BookEntryBytes) : 0;
  engine::seedRandom(target->seed, static_cast<uint32_t>(std::time(nullptr)));
  return 0;
}

void makeBookKey(uint8_t* out, uint32_t key, uint16_t lock) {
  for (int32_t i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(key >> (8 * i));
  out[4] = static_cast<uint8_t>(lock);
  out[5] = static_cast<uint8_t>(lock >> 8);
}

int32_t compareBookKey(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, BookKeyBytes); }

engine::Move probeBookKey(Book* source, uint32_t key, uint16_t lock, int32_t selectivity) {
  // Step 1. No book open, no move.
  if (source->file == nullptr) return engine::noMove;
  // Step 2. The key as the file stores it, to compare bytes with.
  uint8_t searchKey[BookKeyBytes];
  makeBookKey(searchKey, key, lock);
  // Step 3. Binary search over the entry positions 1..count.
  int32_t lo = 1;
  int32_t hi = source->count;
  int32_t mid = 0;
  BookEntry entry;
  bool found = false;
  while (lo <= hi) {
    mid = lo + (hi - lo) / 2;
    if (!readEntry(source, mid, &entry)) return engine::noMove;
    int32_t c = compareBookKey(searchKey, entry.key);
    if (c < 0) {
      hi = mid - 1;
    } else if (c > 0) {
      lo = mid + 1;
    } else {
      found = true;
      break;
    }
  }
  if (!found) return engine::noMove;
  // Step 4. The run: the found entry, the ones before it nearest first,
  // then the ones after it; at most MaxBookRun in all.
  engine::Move moves[MaxBookRun];
  int16_t weights[MaxBookRun];
  int32_t n = 0;
  moves[n] = entry.move;
  weights[n++] = entry.weight;
  for (int32_t p = mid - 1; p >= 1 && n < MaxBookRun; --p) {
    if (!readEntry(source, p, &entry) || compareBookKey(searchKey, entry.key) != 0) break;
    moves[n] = entry.move;
    weights[n++] = entry.weight;
  }
  if (mid < hi) {
    for (int32_t p = mid + 1; p <= source->count && n < MaxBookRun; ++p) {
      if (!readEntry(source, p, &entry) || compareBookKey(searchKey, entry.key) != 0) break;
      moves[n] = entry.move;
      weights[n++] = entry.weight;
    }
  }
  // Step 5. Weights sum as signed 16-bit values.
  int16_t total = 0;
  for (int32_t i = 0; i < n; ++i) total = static_cast<int16_t>(total + weights[i]);
  if (total == 0) return engine::noMove;
  // Step 6. The threshold: a share of the total, at most the largest weight.
  int16_t maxWeight = 0;
  for (int32_t i = 0; i < n; ++i)
    if (weights[i] > maxWeight) maxWeight = weights[i];
  int32_t share = (int32_t(total) * selectivity) / 100;
  int32_t threshold = share < maxWeight ? share : maxWeight;
  // Step 7. Weak moves leave the draw.
  for (int32_t i = 0; i < n; ++i)
    if (weights[i] < threshold) {
      total = static_cast<int16_t>(total - weights[i]);
      weights[i] = 0;
    }
  // Step 8. One draw of the book's own generator.
  int32_t r = engine::drawRandom(source->seed);
  int32_t target = (r * int32_t(total)) >> 15;
  // Step 9. The first entry whose running sum passes the target.
  int16_t sum = 0;
  for (int32_t i = 0; i < n; ++i) {
    sum = static_cast<int16_t>(sum + weights[i]);
    if (sum > target) return moves[i];
  }
  return engine::noMove;
}

engine::Move* probeBook(Book* source, engine::Move* out, const engine::Position* position, int32_t selectivity) {
  *out = probeBookKey(source, position->key, position->lock, selectivity);
  return out;
}

}  // namespace frontend
