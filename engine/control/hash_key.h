// The key that identifies a position: a 32-bit key and a 16-bit lock, the
// XOR of per-kind, per-square values of every piece on the board, with key
// bit 31 set when Black is to move.
//
// The board record's kinds point at their key tables, make's caller and the
// set-up keep a position's key, and the game history records keys: so the
// key type stands below the board layer. The hash layer draws the tables
// and keeps the transposition table (engine/hash/hash.h).
#pragma once
#include <cstdint>

namespace engine {

struct HashKey {
  uint32_t key;
  uint16_t lock;
  uint16_t spare;
};
static_assert(sizeof(HashKey) == 8);
// The key bit of the side to move: set when Black is to move.
constexpr uint32_t BlackToMove = 0x80000000u;

}  // namespace engine
