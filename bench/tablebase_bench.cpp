// Tablebase figures: expansion speed of compressed blocks and probes per
// second through the block cache (hits and misses), on tables made here.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tablebases/block_cache.h"
#include "tablebases/compressed_file.h"
#include "tablebases/endgame_table.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"
#include "helpers/datacomp_writer.h"

using namespace tablebases;
namespace fs = std::filesystem;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  // A plain krk table (White to move) of a repeating pattern.
  fs::path dir = fs::temp_directory_path() / "quillon_tb_bench";
  fs::create_directories(dir);
  tbBuildDescriptors();
  int krk = 4;
  std::vector<uint8_t> table(tbDesc[krk].positions[0]);
  for (size_t i = 0; i < table.size(); ++i) table[i] = uint8_t(1 + i % 100);
  {
    std::FILE* f = std::fopen((dir / "krk.nbw").c_str(), "wb");
    std::fwrite(table.data(), 1, table.size(), f);
    std::fclose(f);
  }
  tbInitialize(dir.c_str());
  // Probes of one position: every one a cache hit.
  std::vector<uint8_t> memory(64 * tbCacheSlotBytes);
  tbSetCache(memory.data(), memory.size());
  int8_t board[64];
  std::fill(board, board + 64, int8_t(6));
  board[0] = 12;
  board[63] = 0;
  board[33] = 10;
  const int probes = 2000000;
  auto start = std::chrono::steady_clock::now();
  int found = 0;
  for (int i = 0; i < probes; ++i) {
    int32_t score;
    found += tbProbe(board, 1, 0, &score);
  }
  std::printf("probes, cache hits: %.0f per second (%d found)\n", probes / secondsSince(start), found);
  // One slot and two blocks read in turn: every read a miss from the file.
  tbSetCache(memory.data(), tbCacheSlotBytes);
  const int reads = 20000;
  start = std::chrono::steady_clock::now();
  int64_t sum = 0;
  for (int i = 0; i < reads; ++i) sum += tbCacheGetBlock(krk, 0, (i & 1) ? 3u : 0u, 100);
  double seconds = secondsSince(start);
  std::printf("block reads, cache misses: %.0f per second (%.1f MB/s; check %lld)\n", reads / seconds,
              reads * 8192.0 / seconds / 1e6, (long long)sum);
  // The same table compressed: every read a miss that expands a block.
  fs::remove(dir / "krk.nbw");
  testing_tb::writeFile((dir / "krk.nbw.emd").string(),
                        testing_tb::makeDatacompFile(table, {13, true, testing_tb::MainCode::Skewed}));
  tbInitialize(dir.c_str());
  tbSetCache(memory.data(), tbCacheSlotBytes);
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < reads; ++i) sum += tbCacheGetBlock(krk, 0, (i & 1) ? 3u : 0u, 100);
  seconds = secondsSince(start);
  std::printf("compressed block reads, cache misses: %.0f per second (%.1f MB/s of table data; check %lld)\n",
              reads / seconds, reads * 8192.0 / seconds / 1e6, (long long)sum);
  tbInitialize(nullptr);
  tbSetCache(nullptr, 0);
  fs::remove_all(dir);
  return 0;
}
