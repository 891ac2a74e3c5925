// The hash key of a position computed from scratch: the XOR of the key-table
// entries of every piece on its square, key bit 31 set when Black is to
// move. Tests compare incrementally updated keys with it.
#pragma once
#include "engine/board/board.h"
#include "engine/hash/hash.h"

namespace testing_hash {

engine::HashKey scratchKey(const engine::ThreadBoard* board, int32_t side);
inline engine::HashKey scratchKey(const engine::Position* pos) { return scratchKey(pos->board, pos->side); }

}  // namespace testing_hash
