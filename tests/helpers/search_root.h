// The engine core of this process set up for searches driven directly from
// a test: started once with the master alone (no helper) and a small table,
// no hooks; a position from FEN text prepared as the root driver prepares
// the root before its first iteration.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/board/board.h"

namespace testing_search {

// The root as the root driver leaves it before its first iteration: its
// evaluation derived, the table aged and the game's positions marked, the
// root's threat known.
engine::Position* prepareRoot(int32_t depth);
// A cleared table and `fen`, followed by `gameMoves`, prepared as the root
// of a search to `depth`.
engine::Position* rootOf(const std::string& fen, int32_t depth, const std::vector<const char*>& gameMoves = {});

}  // namespace testing_search
