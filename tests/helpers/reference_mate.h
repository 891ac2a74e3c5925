// Forced mates on the plain 8x8 reference board, found by exhaustive search
// over its legal moves: an outside truth for the mates the engine reports.
// Meant for positions with few pieces (the work grows with the branching to
// the power 2n - 1).
#pragma once
#include <cstdint>

#include "helpers/reference_legal.h"

namespace reference {

// Can the side to move force checkmate within `moves` of its own moves?
bool matesWithin(const Grid& grid, int32_t moves);
// Does `key` force checkmate within `moves` moves (the key counted)?
bool keyMatesWithin(const Grid& grid, engine::Move key, int32_t moves);

}  // namespace reference
