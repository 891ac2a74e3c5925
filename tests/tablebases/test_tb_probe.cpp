// Tablebase registration and probing against tables the tests make: a
// retrograde solver computes exact distances to mate, the tables are written
// at the indices the index functions give (plain and compressed), and the
// probe must give back the solver's answer for every position.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "helpers/retrograde.h"
#include "helpers/retrograde_files.h"
#include "helpers/tb_probe_setup.h"
#include "helpers/tb_rows.h"
#include "helpers/temp_dir.h"
#include "tablebases/block_cache.h"
#include "tablebases/endgame_table.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

using namespace tablebases;
using testing_tb::rowId;
using testing_tb::storedByte;
const auto rowName = testing_tb::threeManName;
namespace fs = std::filesystem;
using testing_tb::Man;
using testing_tb::probeBoard;
using testing_tb::writeBytes;

namespace {

int8_t manCode(Man m) {
  switch (m) {
    case Man::Pawn: return 7;
    case Man::Knight: return 8;
    case Man::Bishop: return 9;
    case Man::Rook: return 10;
    default: return 11;
  }
}

// Rewrites every byte of a registered file in place, so that a block read
// afterwards can be told from one still cached.
void overwrite(const fs::path& path, uint64_t size, int8_t value) {
  testing_tb::putBytes(path, 0, std::vector<int8_t>(size, value));
}

// Both sides' tables of a three-man row from the solver; symmetric images
// must write the same value.
std::vector<int8_t> tableOf(const testing_tb::Solution& s, int side) {
  int conflicts = 0;
  std::vector<int8_t> table = testing_tb::threeManTable(s, side, &conflicts);
  EXPECT_EQ(conflicts, 0) << rowName(s.man);
  return table;
}

// Probes every legal position of the solution, and its colour-swapped twin.
void expectProbesMatch(const testing_tb::Solution& s) {
  int8_t board[64];
  for (int side = 0; side < 2; ++side)
    for (int wk = 0; wk < 64; ++wk)
      for (int bk = 0; bk < 64; ++bk)
        for (int m = 0; m < 64; ++m) {
          int16_t v = s.at(side, wk, bk, m);
          if (v == testing_tb::illegal) continue;
          bool representable = storedByte(v) != 127;
          int expected = testing_tb::tableDistance(v);
          for (int twin = 0; twin < 2; ++twin) {
            std::fill(board, board + 64, int8_t(6));
            int flip = twin ? 56 : 0;
            board[wk ^ flip] = twin ? 0 : 12;
            board[bk ^ flip] = twin ? 12 : 0;
            board[m ^ flip] = twin ? int8_t(12 - manCode(s.man)) : manCode(s.man);
            int32_t score = 99999;
            int32_t mover = (side == 0) != (twin == 1) ? 1 : -1;
            int32_t found = tbProbe(board, mover, 0, &score);
            ASSERT_EQ(found, representable ? 1 : 0) << rowName(s.man) << " side " << side << " " << wk << " " << bk << " " << m;
            if (found) {
              ASSERT_EQ(score, expected) << rowName(s.man) << " side " << side << " " << wk << " " << bk << " " << m;
            } else {
              ASSERT_EQ(score, 99999);
            }
          }
        }
}

}  // namespace

// The solver against the known longest wins of the three-man endgames (in
// moves, White to move): the tables below are only as true as it is.
TEST(TbSolver, KnownLongestWins) {
  EXPECT_EQ(testing_tb::longestWin(testing_tb::solve(Man::Queen)), 10);
  EXPECT_EQ(testing_tb::longestWin(testing_tb::solve(Man::Rook)), 16);
  EXPECT_EQ(testing_tb::longestWin(testing_tb::solve(Man::Pawn)), 28);
  EXPECT_EQ(testing_tb::longestWin(testing_tb::solve(Man::Bishop)), 0);
  EXPECT_EQ(testing_tb::longestWin(testing_tb::solve(Man::Knight)), 0);
}

class TbProbe : public ::testing::Test {
 protected:
  ScopedTempDir dir{"quillon_tb_"};
  testing_tb::CacheMemory cache;
  void TearDown() override { tbInitialize(nullptr); }
  void giveCache(uint64_t slots) { cache.give(slots); }
  void writeRow(Man man, bool compressed) {
    auto s = testing_tb::solve(man);
    for (int side = 0; side < 2; ++side)
      testing_tb::writeTable(dir.path, std::string(rowName(man)) + (side == 0 ? ".nbw" : ".nbb"), tableOf(s, side),
                             compressed);
  }
};

// Plain files through a roomy cache, then compressed ones through a cache of
// far fewer slots than blocks, so blocks are replaced all the time.
TEST_F(TbProbe, PlainAndCompressedTablesAgreeWithTheSolver) {
  const Man men[] = {Man::Queen, Man::Rook, Man::Pawn};
  std::vector<testing_tb::Solution> solutions;
  for (Man m : men) solutions.push_back(testing_tb::solve(m));
  for (bool compressed : {false, true}) {
    fs::remove_all(dir.path);
    fs::create_directories(dir.path);
    for (Man m : men) writeRow(m, compressed);
    ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 3);
    giveCache(compressed ? 3 : 64);
    tbHits = 0;
    for (const auto& s : solutions) expectProbesMatch(s);
    EXPECT_GT(tbHits.load(), 100000u) << compressed;
  }
}

TEST_F(TbProbe, StoredBytesDecode) {
  int id = rowId("kqk");
  auto board = probeBoard("Kc3 Qd5 ka8");
  struct {
    int8_t stored;
    int32_t found, score;
  } cases[] = {{0, 1, 0}, {1, 1, 126}, {126, 1, 1}, {-128, 1, 127}, {-1, 1, -127},
               {-126, 1, -2}, {-127, 1, -128}, {127, 0, 0}};
  for (auto& c : cases) {
    writeBytes(dir.path / "kqk.nbw", std::vector<int8_t>(tbDesc[id].positions[0], c.stored));
    ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 3);
    giveCache(4);
    int32_t score = 4242;
    EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), c.found) << int(c.stored);
    EXPECT_EQ(score, c.found ? c.score : 4242) << int(c.stored);
    // Black to move has no table here.
    EXPECT_EQ(tbProbe(board.data(), -1, 0, &score), 0);
  }
}

TEST_F(TbProbe, SixteenBitEntriesAndTheLongLosses) {
  // A 16-bit row: plain files of 16-bit rows are not size-checked.
  int id = rowId("krnknn");
  std::vector<int8_t> bytes = {int8_t(0x01), int8_t(0x80),   // -32767: loss in 1
                               int8_t(0xFF), int8_t(0x7F),   // 32767: unknown
                               int8_t(0x00), int8_t(0x80),   // -32768: a draw
                               int8_t(0x05), int8_t(0x00)};  // 5
  writeBytes(dir.path / "krnknn.nbw", bytes);
  ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 6);
  giveCache(4);
  EXPECT_EQ(tbReadValue(id, 0, 0), -32767);
  EXPECT_EQ(tbReadValue(id, 0, 1), 32767);
  EXPECT_EQ(tbReadValue(id, 0, 2), -32768);
  EXPECT_EQ(tbReadValue(id, 0, 3), 5);
  EXPECT_EQ(tbReadValue(id, 0, 4), 32767);  // past the bytes the file has
  EXPECT_EQ(tbReadValue(id, 0, tbDesc[id].positions[0]), 32767);  // past the table
  // Through the probe: White Ka1, Rb3, Nc5 against Kh8, Ng2, Ne6. A loss in
  // one and a draw are found; a distance no table holds (32762) is not.
  auto board = probeBoard("Ka1 Rb3 Nc5 kh8 ng2 ne6");
  uint32_t first[16] = {}, second[16] = {};
  first[9] = 17, first[3] = 34, first[15] = 0, second[3] = 14, second[4] = 44, second[15] = 63;
  uint64_t at = tbIndexFunction(id, 0)(first, second, tbNoEnPassant, 0);
  ASSERT_LT(at, tbDesc[id].positions[0]);
  struct {
    uint16_t stored;
    int32_t found, score;
  } entries[] = {{0x8001, 1, -1}, {0x8000, 1, 0}, {0x0005, 0, 4242}, {0x7c17, 1, 1000}};
  for (auto& e : entries) {
    // A sparse file up to the entry.
    testing_tb::zeroFile(dir.path / "krnknn.nbw", 2 * (at + 1));
    testing_tb::putBytes(dir.path / "krnknn.nbw", 2 * at, {int8_t(e.stored & 0xFF), int8_t(e.stored >> 8)});
    ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 6);
    giveCache(4);
    int32_t score = 4242;
    EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), e.found) << e.stored;
    EXPECT_EQ(score, e.score) << e.stored;
  }
  // kppkp, Black to move: seven indices read as a loss in 129 moves
  // without the file being asked (a sparse file of the full size).
  int kppkp = rowId("kppkp");
  testing_tb::zeroFile(dir.path / "kppkp.nbb", tbDesc[kppkp].positions[1]);
  ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 6);
  giveCache(4);
  EXPECT_EQ(tbReadValue(kppkp, 1, 56849992), -32639);
  EXPECT_EQ(tbReadValue(kppkp, 1, 56849993), 0);
}

TEST_F(TbProbe, LeastRecentlyUsedReplacement) {
  // knk, White to move: 26282 entries, so four blocks. Blocks are told
  // apart by rewriting the file in place between probes: a cached block
  // still gives the old byte, a block read again the new one.
  int id = rowId("knk");
  uint64_t size = tbDesc[id].positions[0];
  fs::path file = dir.path / "knk.nbw";
  writeBytes(file, std::vector<int8_t>(size, 10));
  ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 3);
  auto rewrite = [&](int8_t value) { overwrite(file, size, value); };
  auto read = [&](uint32_t block) { return tbCacheGetBlock(id, 0, block, 5); };
  // Two slots: A, B, A, C evicts B (the least recently used).
  giveCache(2);
  EXPECT_EQ(read(0), 10);
  EXPECT_EQ(read(1), 10);
  rewrite(20);
  EXPECT_EQ(read(0), 10);  // hit
  EXPECT_EQ(read(2), 20);  // miss, evicts block 1
  EXPECT_EQ(read(0), 10);  // still cached
  EXPECT_EQ(read(1), 20);  // read again
  // One slot: alternating blocks are read every time.
  giveCache(1);
  rewrite(30);
  EXPECT_EQ(read(0), 30);
  rewrite(31);
  EXPECT_EQ(read(1), 31);
  rewrite(32);
  EXPECT_EQ(read(0), 32);
  // Less than one slot: the cache is off.
  EXPECT_EQ(cache.giveBytes(tbCacheSlotBytes - 1), 0);
  EXPECT_EQ(read(0), tbCacheBlockMissing);
}

TEST_F(TbProbe, OneChainEvictsHeadMiddleAndTail) {
  // kbnk, Black to move: 1747284 entries, blocks 0, 32 and 64 share a chain.
  int id = rowId("kbnk");
  uint64_t size = tbDesc[id].positions[1];
  fs::path file = dir.path / "kbnk.nbb";
  writeBytes(file, std::vector<int8_t>(size, 1));
  ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 4);
  auto rewrite = [&](int8_t value) { overwrite(file, size, value); };
  auto read = [&](uint32_t block) { return tbCacheGetBlock(id, 1, block, 0); };
  for (uint32_t evicted : {0u, 32u, 64u}) {
    giveCache(3);
    rewrite(1);
    // Fill the chain in an order that leaves `evicted` least recently used.
    std::vector<uint32_t> order = {0, 32, 64};
    order.erase(std::find(order.begin(), order.end(), evicted));
    order.insert(order.begin(), evicted);
    for (uint32_t b : order) EXPECT_EQ(read(b), 1);
    rewrite(2);
    EXPECT_EQ(read(96), 2);       // a fourth block of the chain evicts the oldest
    for (uint32_t b : order) {
      if (b != evicted) {
        EXPECT_EQ(read(b), 1) << b;
      }
    }
    EXPECT_EQ(read(evicted), 2) << evicted;
  }
}

TEST_F(TbProbe, AFileGoneBeforeItsFirstReadIsDropped) {
  writeRow(Man::Rook, false);
  ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 3);
  giveCache(4);
  fs::remove(dir.path / "krk.nbw");
  auto board = probeBoard("Kc3 Rd5 ka8");
  int32_t score = 0;
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 0);
  EXPECT_FALSE(tbIsAvailable(rowId("krk"), 0));
  writeRow(Man::Rook, false);  // back again, but the name was dropped
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 0);
  EXPECT_TRUE(tbIsAvailable(rowId("krk"), 1));
}

TEST_F(TbProbe, BadBoardsAreRefused) {
  writeRow(Man::Rook, false);
  ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 3);
  giveCache(4);
  auto board = probeBoard("Kc3 Rd5");
  int32_t score = 0;
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 0);  // no Black king
  board[56] = 0;
  board[57] = 0;
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 0);  // two Black kings
  board[57] = 13;
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 0);  // no such code
  board[57] = 6;
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 1);
  board[57] = 1;
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 0);  // a pawn on the last rank
  board[57] = 6;
  // A new set-up frees what cached blocks point into: the cache is off
  // until it gets new memory, and probes find nothing meanwhile.
  ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 3);
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 0);
  giveCache(4);
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 1);
}

TEST_F(TbProbe, LargeTablesReadPast2GigabytesAndAcrossExtents) {
  // Sparse files with marker bytes: kbnknn, White to move, one file of
  // 2744597400 entries; kqqpkq, White to move, split into extents of 2^31.
  auto sparse = [&](const char* name, uint64_t bytes, uint64_t markerAt, int8_t marker) {
    testing_tb::zeroFile(dir.path / name, bytes);
    testing_tb::putBytes(dir.path / name, markerAt, {marker});
  };
  const uint64_t unit = uint64_t(1) << 31;
  int kbnknn = rowId("kbnknn"), kqqpkq = rowId("kqqpkq");
  uint64_t last = tbDesc[kbnknn].positions[0] - 1;
  sparse("kbnknn.nbw", last + 1, last, 5);
  uint64_t rest = tbDesc[kqqpkq].positions[0] % unit;
  sparse("kqqpkq.0.nbw", unit, 7, 1);
  sparse("kqqpkq.1.nbw", unit, 7, 2);
  sparse("kqqpkq.2.nbw", unit, 7, 3);
  sparse("kqqpkq.3.nbw", rest, rest - 1, 4);
  struct stat info {};
  if (::stat((dir.path / "kbnknn.nbw").c_str(), &info) != 0 || uint64_t(info.st_blocks) * 512 > unit)
    GTEST_SKIP() << "the file system does not keep files sparse";
  ASSERT_EQ(tbInitialize(dir.path.string().c_str()), 6);
  giveCache(4);
  EXPECT_EQ(tbReadValue(kbnknn, 0, last), 5 + 32640);
  EXPECT_EQ(tbReadValue(kbnknn, 0, last - 1), 0);
  EXPECT_EQ(tbReadValue(kbnknn, 0, last + 1), 32767);  // past the table
  for (uint64_t extent = 0; extent < 3; ++extent)
    EXPECT_EQ(tbReadValue(kqqpkq, 0, extent * unit + 7), int32_t(extent + 1) + 32640) << extent;
  EXPECT_EQ(tbReadValue(kqqpkq, 0, 3 * unit + rest - 1), 4 + 32640);
  EXPECT_EQ(tbReadValue(kqqpkq, 0, unit + 8), 0);
}
