// The game history: the keys of the game's positions since the last capture
// or pawn move, indexed by the half-move clock, the current position last.
//
// The set-up restarts it and every game move adds the new position
// (`addHistoryKey`); the transposition table marks these positions before
// each search and unmarks them after it, which is how the search and the
// front end's result check recognise repetitions of the game. Written and
// read only on the thread that sets up positions and starts searches, never
// while a search runs. Each copy of the engine core has its own.
#pragma once
#include <cstdint>

#include "engine/control/hash_key.h"

namespace engine {

// Room for the set-up position and the 600 moves a game record holds; a
// position whose clock lies beyond it is not recorded.
constexpr int32_t GameHistorySize = 601;

extern HashKey gameHistory[GameHistorySize];
// Entries in use: the current position's half-move clock + 1, at most
// GameHistorySize.
extern int32_t gameHistoryCount;

// Records a key at a half-move clock (-1 empties the history).
void addHistoryKey(const HashKey* key, int32_t index);

}  // namespace engine
