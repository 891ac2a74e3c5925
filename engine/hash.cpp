#include "engine/hash.h"

namespace engine {

HashTable engineHash = {nullptr, 0};
uint64_t entryCount = 0;
uint64_t claimedCount = 0;

}  // namespace engine
