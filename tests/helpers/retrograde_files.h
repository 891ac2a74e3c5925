// Table files from the retrograde solvers: each side's 8-bit table with the
// solver's values at the indices the index functions give (127 where no
// position lands), for the probe tests and the real program's tests.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

#include "helpers/retrograde.h"
#include "helpers/retrograde_four.h"

namespace testing_tb {

// The row name of a three-man endgame ("krk" for the rook).
const char* threeManName(Man man);

// One side's table; `conflicts` counts indices that two positions (images
// of each other under the board's symmetries) reach with different values.
std::vector<int8_t> threeManTable(const Solution& s, int side, int* conflicts);

// Writes <name>.nbw and <name>.nbb into the directory.
void writeThreeManTables(const std::filesystem::path& directory, Man man);

// One side's KQKR table from the positions that `keep` (solver index of the
// position) accepts; `conflicts` as above, `outside` counts positions whose
// index falls past the table.
std::vector<int8_t> kqkrTable(const FourManSolution& s, int side, bool (*keep)(size_t index), int* conflicts,
                              int* outside);

}  // namespace testing_tb
