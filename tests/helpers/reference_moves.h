// A deliberately plain 8x8 reference for the move generators and attack
// tests: it works on a grid of FEN letters, knows nothing of slots, lists or
// difference tables, and gives the moves in the engine's Move encoding.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/control/move.h"

namespace reference {

struct Grid {
  char cell[8][8];  // [rank][file], '.' for empty
  int32_t side;     // +1 White, -1 Black
  uint32_t castling;
  int32_t enPassant;  // 0x88 square or 12
};

Grid gridFromFen(const std::string& boardField, int32_t side, uint32_t castling, int32_t enPassant);
std::string fenOf(const Grid& grid);

// Is the 0x88 square attacked by a piece of `colour`?
bool attackedBy(const Grid& grid, int32_t square, int32_t colour);

// Pseudo-legal moves of the side to move, split as the picker splits them.
std::vector<engine::Move> tacticalMoves(const Grid& grid);
std::vector<engine::Move> quietMoves(const Grid& grid);

}  // namespace reference
