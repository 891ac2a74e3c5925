// The id of an endgame row by name, and the table distance and stored byte
// of a solver value, for the tablebase tests.
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

// The table's distance for a solver value. A table counts a loss in the
// loser's turns: "loss in L" is checkmated at its L-th turn, after L - 1
// moves of the winner, so "loss in 1" is checkmated now. The solver's -n
// (mated after the opponent's n-th move) is a loss in n + 1; a win in n is
// the same in both.
inline int tableDistance(int16_t value) {
  if (value == lossNow) return -1;
  return value < 0 ? value - 1 : value;
}

// The 8-bit table byte for a solver value, 127 (unknown) where a byte
// cannot say it: a byte holds wins in 1 to 127 and losses in 2 to 128, so
// a checkmated position is never stored as a loss.
inline int8_t storedByte(int16_t value) {
  int d = tableDistance(value);
  if (d == 0) return 0;
  if (d > 0) return d <= 126 ? int8_t(127 - d) : d == 127 ? int8_t(-128) : int8_t(127);
  int loss = -d;
  return loss >= 2 && loss <= 127 ? int8_t(loss - 128) : loss == 128 ? int8_t(-127) : int8_t(127);
}

}  // namespace testing_tb
