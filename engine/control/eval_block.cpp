// The evaluation's globals that the board layer reads.
#include "engine/control/eval_block.h"

namespace engine {

std::atomic<int32_t> evalOffset{1};

}  // namespace engine
