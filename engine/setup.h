// Position set-up and the game that follows from it.
#pragma once
#include <cstdint>

#include "engine/board.h"

namespace engine {

struct GameSetup;
// The parsed set-up record of this copy of the engine core.
extern GameSetup gameSetup;

// The game's move number (raised by each Black move); the time allocation
// and the opening randomisation read it.
extern int32_t moveNumber;

// Parses a position text (null = the start position); 0 success, -1 failure.
int32_t parseFen(const char* text);
// Builds the root position and its board from the parsed record.
int32_t setupPosition(Position* root, GameSetup* setup);
// Plays a move on `rootPosition` and records it in the game.
int32_t playGameMove(Move move);

}  // namespace engine
