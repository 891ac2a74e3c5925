// The engine-wide evaluation state that the root driver and the search set
// around the evaluation entry.
#include "engine/eval/evaluate.h"

namespace engine {

int32_t openingOffset = 0;
std::atomic<int32_t> futilityMargin{10};

}  // namespace engine
