// Random positions for tests: both kings, up to 24 further pieces (now and
// then several queens), pawns on ranks 2-7, castling rights where king and
// rook stand at home, and an en-passant square where a double step could
// just have been played. Every position fits the board record's slots.
#pragma once
#include <cstdint>
#include <random>
#include <string>

namespace testing_board {

struct RandomPosition {
  std::string field;  // FEN board field
  int side;
  uint32_t castling;
  int ep;
};

RandomPosition randomPosition(std::mt19937& rng);

}  // namespace testing_board
