// Global evaluation setting copied into each board record by initBoard.
#include "engine/eval/eval_block.h"

namespace engine {

uint32_t evaluationSetting = 0;

}  // namespace engine
