#include "platform/memory.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "platform/processors.h"

namespace platform {

void allowLockedMemory(size_t bytes) {
  rlimit limit{};
  if (getrlimit(RLIMIT_MEMLOCK, &limit) != 0) return;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < bytes) {
    limit.rlim_cur = (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= bytes) ? bytes : limit.rlim_max;
    setrlimit(RLIMIT_MEMLOCK, &limit);
  }
}

namespace {

// Below this size one thread zeroes the block faster than threads start.
constexpr size_t ParallelZeroFrom = size_t(64) << 20;
// The large page; parts of a block to zero are cut on its boundaries, so
// that no page (of either size) is first written, and faulted in, by two
// threads.
constexpr uintptr_t ZeroPartAlign = uintptr_t(2) << 20;
constexpr int MaxZeroThreads = 64;

struct ZeroPart {
  char* start;
  size_t bytes;
};

void* zeroPart(void* raw) {
  ZeroPart* part = static_cast<ZeroPart*>(raw);
  std::memset(part->start, 0, part->bytes);
  return nullptr;
}

}  // namespace

void zeroMemory(void* address, size_t bytes) {
  if (address == nullptr || bytes == 0) return;
  int threads = processorCount();
  if (threads > MaxZeroThreads) threads = MaxZeroThreads;
  if (bytes < ParallelZeroFrom || threads < 2) {
    std::memset(address, 0, bytes);
    return;
  }
  // Equal shares, each cut moved up to a large-page boundary; the last part
  // ends with the block.
  const uintptr_t begin = uintptr_t(address);
  const uintptr_t end = begin + bytes;
  const uintptr_t share = bytes / size_t(threads);
  ZeroPart parts[MaxZeroThreads];
  uintptr_t from = begin;
  for (int i = 0; i < threads; ++i) {
    uintptr_t to = end;
    if (i < threads - 1) {
      to = (begin + uintptr_t(i + 1) * share + ZeroPartAlign - 1) / ZeroPartAlign * ZeroPartAlign;
      if (to > end) to = end;
      if (to < from) to = from;
    }
    parts[i] = {reinterpret_cast<char*>(from), size_t(to - from)};
    from = to;
  }
  // Part 0 is this thread's, done once the others have been started.
  pthread_t handles[MaxZeroThreads];
  bool started[MaxZeroThreads] = {};
  for (int i = 1; i < threads; ++i)
    started[i] = parts[i].bytes != 0 && pthread_create(&handles[i], nullptr, zeroPart, &parts[i]) == 0;
  zeroPart(&parts[0]);
  for (int i = 1; i < threads; ++i) {
    if (started[i])
      pthread_join(handles[i], nullptr);
    else
      zeroPart(&parts[i]);
  }
}

void adviseLargePages(void* address, size_t bytes) {
  // Only whole large pages inside the range can be given.
  const uintptr_t first = (uintptr_t(address) + ZeroPartAlign - 1) / ZeroPartAlign * ZeroPartAlign;
  const uintptr_t end = (uintptr_t(address) + bytes) / ZeroPartAlign * ZeroPartAlign;
  if (address != nullptr && end > first) (void)madvise(reinterpret_cast<void*>(first), size_t(end - first), MADV_HUGEPAGE);
}

void lockMemory(void* address, size_t bytes) {
  if (address != nullptr && bytes != 0) (void)mlock(address, bytes);
}

void unlockMemory(void* address, size_t bytes) {
  if (address != nullptr && bytes != 0) (void)munlock(address, bytes);
}

uint64_t physicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return uint64_t(pages) * uint64_t(pageSize);
}

}  // namespace platform
