// Stand-ins until the tablebase code is built: no directory yields tables,
// the cache is not used and every probe misses.
#include "tablebases/tablebases.h"

namespace tablebases {

int32_t tbHits = 0;

int32_t tbInitialize(const char* /*paths*/) { return 0; }

void tbSetCache(void* /*memory*/, size_t /*bytes*/) {}

int32_t tbProbe(const int8_t* /*board*/, int32_t /*side*/, int32_t /*epSquare*/, int32_t* /*outScore*/) { return 0; }

}  // namespace tablebases
