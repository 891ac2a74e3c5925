#include "helpers/retrograde_files.h"

#include <fstream>

#include "helpers/tb_rows.h"
#include "tablebases/endgame_table.h"

namespace testing_tb {

const char* threeManName(Man man) {
  switch (man) {
    case Man::Pawn: return "kpk";
    case Man::Knight: return "knk";
    case Man::Bishop: return "kbk";
    case Man::Rook: return "krk";
    default: return "kqk";
  }
}

std::vector<int8_t> threeManTable(const Solution& s, int side, int* conflicts) {
  const tablebases::TbDesc& row = tablebases::tbDesc[rowId(threeManName(s.man))];
  std::vector<int8_t> table(row.positions[side], 127);
  std::vector<bool> written(table.size(), false);
  *conflicts = 0;
  for (int wk = 0; wk < 64; ++wk)
    for (int bk = 0; bk < 64; ++bk)
      for (int m = 0; m < 64; ++m) {
        int16_t v = s.at(side, wk, bk, m);
        if (v == illegal) continue;
        uint32_t first[16] = {}, second[16] = {};
        first[3 * int(s.man)] = uint32_t(m);  // list kinds: pawn 0 .. queen 4
        first[15] = uint32_t(wk);
        second[15] = uint32_t(bk);
        uint64_t index = row.indexFunction[side](first, second, tablebases::tbNoEnPassant, 0);
        if (index >= table.size()) {
          ++*conflicts;
          continue;
        }
        int8_t byte = storedByte(v);
        if (written[index] && table[index] != byte) ++*conflicts;
        table[index] = byte;
        written[index] = true;
      }
  return table;
}

std::vector<int8_t> kqkrTable(const FourManSolution& s, int side, bool (*keep)(size_t index), int* conflicts,
                              int* outside) {
  const tablebases::TbDesc& row = tablebases::tbDesc[rowId("kqkr")];
  std::vector<int8_t> table(row.positions[side], 127);
  std::vector<int16_t> written(table.size(), illegal);
  *conflicts = *outside = 0;
  for (int wk = 0; wk < 64; ++wk)
    for (int wq = 0; wq < 64; ++wq)
      for (int bk = 0; bk < 64; ++bk)
        for (int br = 0; br < 64; ++br) {
          int16_t v = s.at(side, wk, wq, bk, br);
          if (v == illegal || !keep(FourManSolution::indexOf(side, wk, wq, bk, br))) continue;
          uint32_t first[16] = {}, second[16] = {};
          first[12] = uint32_t(wq);  // list kinds: pawn 0 .. queen 4
          first[15] = uint32_t(wk);
          second[9] = uint32_t(br);
          second[15] = uint32_t(bk);
          uint64_t index = row.indexFunction[side](first, second, tablebases::tbNoEnPassant, 0);
          if (index >= table.size()) {
            ++*outside;
            continue;
          }
          if (written[index] != illegal && written[index] != v) ++*conflicts;
          written[index] = v;
          table[index] = storedByte(v);
        }
  return table;
}

void writeThreeManTables(const std::filesystem::path& directory, Man man) {
  Solution s = solve(man);
  for (int side = 0; side < 2; ++side) {
    int conflicts = 0;
    std::vector<int8_t> table = threeManTable(s, side, &conflicts);
    std::ofstream out(directory / (std::string(threeManName(man)) + (side == 0 ? ".nbw" : ".nbb")),
                      std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(table.data()), std::streamsize(table.size()));
  }
}

}  // namespace testing_tb
