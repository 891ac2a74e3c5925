// Search threads and split points.
#pragma once
#include "engine/board.h"

namespace engine {

// A dummy position whose address means that a board owns no split node.
extern Position noSplitPosition;

}  // namespace engine
