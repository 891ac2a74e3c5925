// The game record of this copy of the engine core and the game moves played
// on the root position.
#include "engine/setup.h"

namespace engine {

GameSetup gameSetup;
int32_t gameState = GameGoesOn;

}  // namespace engine
