#include "platform/memory.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

void allowLockedMemory(size_t bytes) {
  rlimit limit{};
  if (getrlimit(RLIMIT_MEMLOCK, &limit) != 0) return;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < bytes) {
    limit.rlim_cur = (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= bytes) ? bytes : limit.rlim_max;
    setrlimit(RLIMIT_MEMLOCK, &limit);
  }
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
