// The id of an endgame row by name, and the stored byte of a solver value,
// for the tablebase tests.
#pragma once
#include <cstdint>
#include <cstring>

#include "helpers/retrograde.h"

#include "tablebases/endgame_table.h"

namespace testing_tb {

inline int rowId(const char* name) {
  tablebases::tbBuildDescriptors();
  for (const tablebases::TbDesc& r : tablebases::tbDesc)
    if (std::strcmp(r.name, name) == 0) return r.id;
  return -1;
}

// The 8-bit table byte for a solver value (+n: the side to move mates with
// its n-th move, -n: it is mated by the opponent's n-th move), 127 where a
// byte cannot say it (checkmated now, mated in one, beyond 128).
inline int8_t storedByte(int16_t value) {
  if (value == lossNow || value == -1) return 127;
  if (value == 0) return 0;
  if (value > 0) return value <= 126 ? int8_t(127 - value) : value == 127 ? int8_t(-128) : int8_t(127);
  int n = -value;
  return n <= 127 ? int8_t(n - 128) : n == 128 ? int8_t(-127) : int8_t(127);
}

}  // namespace testing_tb
