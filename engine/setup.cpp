#include "engine/setup.h"

namespace engine {

int32_t moveNumber = 1;

}  // namespace engine
