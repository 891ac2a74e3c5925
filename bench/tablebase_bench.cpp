// Tablebase figures on KQKR tables made by the retrograde solver: probes per
// second through the block cache when every block is cached (hits) and when
// almost every probe needs a block the small cache no longer holds (misses),
// from plain and from compressed files; and raw block reads per second.
// First, the memory the compressed files' block offsets would take for the
// complete set of 3- to 6-man tables, from the lengths in the row table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "helpers/datacomp_writer.h"
#include "helpers/retrograde_files.h"
#include "helpers/retrograde_four.h"
#include "helpers/tb_rows.h"
#include "helpers/temp_dir.h"
#include "tablebases/block_cache.h"
#include "tablebases/compressed_file.h"
#include "tablebases/endgame_table.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

using namespace tablebases;
using testing_tb::FourManSolution;
using testing_tb::Man;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct ProbeCase {
  int8_t board[64];
  int32_t side;
};

// Writes both sides of kqkr, plain or compressed.
void writeTables(const FourManSolution& s, const std::string& dir, bool compressed) {
  for (int side = 0; side < 2; ++side) {
    int conflicts = 0, outside = 0;
    std::vector<int8_t> signedTable =
        testing_tb::kqkrTable(s, side, [](size_t) { return true; }, &conflicts, &outside);
    std::vector<uint8_t> table(signedTable.begin(), signedTable.end());
    std::string name = dir + (side == 0 ? "/kqkr.nbw" : "/kqkr.nbb");
    if (compressed) testing_tb::writeFile(name + ".emd", testing_tb::makeDatacompFile(table, {}));
    else testing_tb::writeFile(name, table);
  }
}

// Probes per second over the cases, and how many were found.
double probeRate(const std::vector<ProbeCase>& cases, int rounds, int* found) {
  *found = 0;
  auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r)
    for (const ProbeCase& c : cases) {
      int32_t score;
      *found += tbProbe(c.board, c.side, 0, &score);
    }
  return double(cases.size()) * rounds / secondsSince(start);
}

// Every side's table as compressed files of 8192-byte blocks, one file per
// extent of 2^31 bytes: the bytes of their block offsets per block.
void printFullSetIndexMemory() {
  const uint64_t extentBytes = uint64_t(1) << 31, blockBytes = 8192;
  uint64_t blocks = 0, indexBytes = 0, files = 0;
  for (int32_t id = 1; id < tbRowCount; ++id) {
    const TbDesc& row = tbDesc[id];
    for (int32_t side = 0; side < 2; ++side) {
      if (side == 1 && (row.flags & tbSymmetric)) continue;
      uint64_t bytes = row.positions[side] * ((row.flags & tbSixteenBit) ? 2 : 1);
      for (int32_t e = 0; e < tbExtentCount(row, side); ++e) {
        uint64_t inFile = (row.flags & tbSplit) ? std::min(extentBytes, bytes - uint64_t(e) * extentBytes) : bytes;
        uint64_t n = (inFile + blockBytes - 1) / blockBytes;
        blocks += n;
        indexBytes += dcOffsetIndexBytes(n);
        ++files;
      }
    }
  }
  std::printf("index bytes per block %.2f, full set %.0f MB (%llu blocks in %llu files)\n",
              double(indexBytes) / double(blocks), double(indexBytes) / 1e6, (unsigned long long)blocks,
              (unsigned long long)files);
}

}  // namespace

int main() {
  tbBuildDescriptors();
  printFullSetIndexMemory();
  auto start = std::chrono::steady_clock::now();
  const FourManSolution& kqkr = testing_tb::solveFourMen(Man::Queen, Man::Rook);
  std::printf("KQKR solved in %.1f s\n", secondsSince(start));
  const TbDesc& row = tbDesc[testing_tb::rowId("kqkr")];
  uint64_t blocks = (row.positions[0] + 8191) / 8192 + (row.positions[1] + 8191) / 8192;

  // Legal positions in random order, both sides to move.
  std::mt19937 random(12345);
  std::vector<ProbeCase> cases;
  while (cases.size() < 1000000) {
    int side = int(random() & 1), wk = int(random() & 63), wq = int(random() & 63), bk = int(random() & 63),
        br = int(random() & 63);
    if (kqkr.at(side, wk, wq, bk, br) == testing_tb::illegal) continue;
    ProbeCase c;
    std::fill(c.board, c.board + 64, int8_t(6));
    c.board[wk] = 12, c.board[wq] = 11, c.board[bk] = 0, c.board[br] = 2;
    c.side = side == 0 ? 1 : -1;
    cases.push_back(c);
  }

  for (bool compressed : {false, true}) {
    ScopedTempDir dir{"quillon_tb_bench_"};
    writeTables(kqkr, dir.path.string(), compressed);
    tbInitialize(dir.path.string().c_str());
    const char* kind = compressed ? "compressed" : "plain";
    // Every block cached: after one warm-up round, every probe is a hit.
    std::vector<uint8_t> memory((blocks + 8) * tbCacheSlotBytes);
    tbSetCache(memory.data(), memory.size());
    int found;
    probeRate(cases, 1, &found);
    double hits = probeRate(cases, 5, &found);
    std::printf("%s, cache holds all %llu blocks: %.0f probes/s (hits; %d of %zu found)\n", kind,
                (unsigned long long)blocks, hits, found / 5, cases.size());
    // Sixteen slots for the whole table: nearly every random probe misses.
    tbSetCache(memory.data(), 16 * tbCacheSlotBytes);
    std::vector<ProbeCase> some(cases.begin(), cases.begin() + (compressed ? 20000 : 100000));
    double misses = probeRate(some, 1, &found);
    std::printf("%s, 16 slots: %.0f probes/s (mostly misses, each reads %s 8192-byte block)\n", kind, misses,
                compressed ? "and expands an" : "an");
    tbInitialize(nullptr);
    tbSetCache(nullptr, 0);
  }
  return 0;
}
