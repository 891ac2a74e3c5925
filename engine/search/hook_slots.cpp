#include "engine/search/hook_slots.h"

namespace engine {

std::atomic<InfoHook> infoHook{nullptr};
std::atomic<CurrMoveHook> currMoveHook{nullptr};
std::atomic<TimerHook> timerHook{nullptr};
std::atomic<TablebaseHook> tablebaseHook{nullptr};

}  // namespace engine
