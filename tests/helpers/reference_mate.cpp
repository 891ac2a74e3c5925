#include "helpers/reference_mate.h"

#include <vector>

namespace reference {

bool keyMatesWithin(const Grid& grid, engine::Move key, int32_t moves) {
  if (moves < 1) return false;
  Grid after = playOnGrid(grid, key);
  std::vector<engine::Move> replies = legalMoves(after);
  // No reply: checkmate, or stalemate (no mate).
  if (replies.empty()) return isCheckmate(after);
  if (moves == 1) return false;
  for (engine::Move reply : replies)
    if (!matesWithin(playOnGrid(after, reply), moves - 1)) return false;
  return true;
}

bool matesWithin(const Grid& grid, int32_t moves) {
  if (moves < 1) return false;
  for (engine::Move move : legalMoves(grid))
    if (keyMatesWithin(grid, move, moves)) return true;
  return false;
}

}  // namespace reference
