#include "engine/evaluate.h"

namespace engine {

int32_t engineSide = 1;
int32_t openingOffset = 0;
int32_t futilityMargin = 10;

}  // namespace engine
