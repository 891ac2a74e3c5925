#include "engine/threads.h"

namespace engine {

Position noSplitPosition{};

}  // namespace engine
