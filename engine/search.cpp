#include "engine/search.h"

namespace engine {}  // namespace engine
