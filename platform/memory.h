// Memory locked into the working set, for the hash tables, and zeroed fast.
// Locking is a request: where the system refuses it (limits, no privilege)
// the memory is used unlocked, which only costs speed.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// Raises the process's lockable-memory limit as far as it is allowed to go.
void allowLockedMemory(size_t bytes);

// Asks that a range be backed by large pages where the system can; a
// request only, failures are ignored.
void adviseLargePages(void* address, size_t bytes);

// Locks or unlocks a range; failures are ignored.
void lockMemory(void* address, size_t bytes);
void unlockMemory(void* address, size_t bytes);

// Zeroes a block. A large block is split among several threads (one per
// processor): the first write of each page costs a page fault, and those
// are served in parallel. A thread that cannot be started leaves its part
// to the calling thread.
void zeroMemory(void* address, size_t bytes);

// Bytes of physical memory on the machine (0 when unknown). Linux grants
// allocations it cannot back, so a hash request is capped by this first.
uint64_t physicalMemoryBytes();

}  // namespace platform
