// The "position" and "ucinewgame" commands: the game is handed to the
// engine module and to the front end's mirror, move by move. Both run on
// the main thread and first stop any search and wait for the worker.
#pragma once
#include <cstdint>

#include "engine/control/move.h"

namespace frontend {

// The position text is built in a buffer of this size; longer "fen" texts
// are refused.
constexpr int32_t PositionTextBytes = 256;
// A move text is compared in a copy of at most this many characters.
constexpr int32_t MaxMoveTextChars = 19;

bool handleUciNewGame(const char* line, char** tokens, int32_t count, const char* first);
bool handlePosition(const char* line, char** tokens, int32_t count, const char* first);

// The start position in engine and mirror (the engine's start).
void setStartPosition();

}  // namespace frontend
