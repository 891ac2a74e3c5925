// Probes from several threads, serialised by one lock as the engine's search
// does, through a cache far smaller than the table, from a plain and from a
// compressed file: every answer must match the table's byte (run under
// ThreadSanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "helpers/tb_probe_setup.h"
#include "helpers/temp_dir.h"
#include "tablebases/endgame_table.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

using namespace tablebases;
namespace fs = std::filesystem;

class TbProbeThreads : public ::testing::TestWithParam<bool> {};

TEST_P(TbProbeThreads, SerialisedProbesAgreeWithTheFile) {
  ScopedTempDir scratch{"quillon_tb_threads_"};
  const fs::path& dir = scratch.path;
  tbBuildDescriptors();
  const int krk = 4;
  std::vector<int8_t> table(tbDesc[krk].positions[0]);
  for (size_t i = 0; i < table.size(); ++i) table[i] = int8_t(1 + (i * 7) % 120);
  // Compressed, the threads share the one decode block, too.
  testing_tb::writeTable(dir, "krk.nbw", table, GetParam());
  ASSERT_EQ(tbInitialize(dir.string().c_str()), 3);
  testing_tb::CacheMemory cache;
  ASSERT_EQ(cache.give(2), 1);
  tbHits = 0;

  std::mutex probeLock;
  std::atomic<int> mismatches{0}, probes{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      int8_t board[64];
      for (int wk = t; wk < 64; wk += 4)
        for (int rook = 0; rook < 64; rook += 3) {
          int bk = 63 - wk;
          if (rook == wk || rook == bk || std::max(std::abs((wk & 7) - (bk & 7)), std::abs((wk >> 3) - (bk >> 3))) < 2)
            continue;
          std::fill(board, board + 64, int8_t(6));
          board[wk] = 12;
          board[bk] = 0;
          board[rook] = 10;
          uint32_t first[16] = {}, second[16] = {};
          first[9] = uint32_t(rook);
          first[15] = uint32_t(wk);
          second[15] = uint32_t(bk);
          uint64_t index = tbIndexFunction(krk, 0)(first, second, tbNoEnPassant, 0);
          int32_t score = 0, found;
          {
            std::lock_guard<std::mutex> guard(probeLock);
            found = tbProbe(board, 1, 0, &score);
          }
          probes.fetch_add(1);
          bool expectFound = index < table.size();
          if (found != (expectFound ? 1 : 0) || (found && score != 127 - table[index])) mismatches.fetch_add(1);
        }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_GT(probes.load(), 500);
  EXPECT_GT(tbHits.load(), 0u);
  tbInitialize(nullptr);
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompressed, TbProbeThreads, ::testing::Bool());
