// A plain lock, held briefly and never nested (the search's `searchLock`).
#pragma once
#include <mutex>

namespace platform {

struct CriticalSection {
  std::mutex mutex;
};

inline void enterCriticalSection(CriticalSection& section) { section.mutex.lock(); }
inline void leaveCriticalSection(CriticalSection& section) { section.mutex.unlock(); }

}  // namespace platform
