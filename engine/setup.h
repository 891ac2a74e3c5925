// Position set-up and the game that follows from it.
#pragma once
#include <cstdint>

namespace engine {

// The game's move number (raised by each Black move); the time allocation
// and the opening randomisation read it.
extern int32_t moveNumber;

}  // namespace engine
