// The opening book read back from files the tests write: binary search in
// byte order, runs at both ends of the file, the weight rule, the random
// draw with the book's own generator, and damaged files. Positions are keyed
// as the engine keys them: a small independent oracle here draws the key
// tables from the fixed generator and is checked against known entries.
#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/board/random.h"
#include "frontend/book.h"
#include "helpers/temp_dir.h"

using engine::Move;
using engine::noMove;
using frontend::Book;

namespace {

// ---- Key oracle: 13 kinds (k q r b n p, empty, P N B R Q K) by 64 squares.
struct OracleKey {
  uint32_t key;
  uint16_t lock;
};
struct KeyOracle {
  OracleKey table[13][128] = {};
  KeyOracle() {
    engine::RandomState random;
    engine::seedRandom(random, 0);
    for (int kind = 0; kind < 13; ++kind)
      for (int square = 0; square < 120; ++square) {
        if (square & 0x88) continue;
        uint32_t a = uint32_t(engine::drawRandom(random));
        uint32_t b = uint32_t(engine::drawRandom(random));
        uint32_t c = uint32_t(engine::drawRandom(random));
        table[kind][square] = {((a & 0x7FFF) << 16) + b, uint16_t(c)};
      }
  }
  // Key of a board given as "square letter" pairs and the side to move.
  OracleKey keyOf(const std::map<int, char>& pieces, bool blackToMove) const {
    const std::string kinds = "kqrbnp.PNBRQK";
    OracleKey k = {0, 0};
    for (const auto& [square, letter] : pieces) {
      int kind = int(kinds.find(letter));
      k.key ^= table[kind][square].key;
      k.lock ^= table[kind][square].lock;
    }
    if (blackToMove) k.key |= 0x80000000u;
    return k;
  }
};

const KeyOracle& oracle() {
  static KeyOracle o;
  return o;
}

std::map<int, char> startPieces() {
  std::map<int, char> pieces;
  const std::string back = "RNBQKBNR";
  for (int file = 0; file < 8; ++file) {
    pieces[file] = back[file];
    pieces[0x10 + file] = 'P';
    pieces[0x60 + file] = 'p';
    pieces[0x70 + file] = char(back[file] - 'A' + 'a');
  }
  return pieces;
}

// ---- Book files.
struct Entry {
  uint32_t key;
  uint16_t lock;
  Move move;
  int16_t weight;
};

std::string entryBytes(const Entry& e) {
  std::string bytes(12, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = char(e.key >> (8 * i));
  bytes[4] = char(e.lock);
  bytes[5] = char(e.lock >> 8);
  bytes[6] = char(0xAB);  // reserved bytes are never read
  bytes[7] = char(0xCD);
  bytes[8] = char(e.move);
  bytes[9] = char(e.move >> 8);
  bytes[10] = char(uint16_t(e.weight));
  bytes[11] = char(uint16_t(e.weight) >> 8);
  return bytes;
}

// One scratch directory for the books of this run, removed at exit.
const std::filesystem::path& bookDirectory() {
  static ScopedTempDir directory{"quillon_book_"};
  return directory.path;
}

// Writes the entries sorted by their first six bytes (memcmp order) unless
// told to keep their order; returns the file's path.
std::string writeBook(const std::string& name, std::vector<Entry> entries, bool sort = true,
                      const std::string& tail = "") {
  std::vector<std::string> rows;
  for (const Entry& e : entries) rows.push_back(entryBytes(e));
  if (sort) std::stable_sort(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
      return std::memcmp(a.data(), b.data(), 6) < 0;
    });
  std::string path = (bookDirectory() / name).string();
  std::ofstream out(path, std::ios::binary);
  for (const std::string& row : rows) out << row;
  out << tail;
  return path;
}

Book openTestBook(const std::string& path) {
  Book book = {nullptr, 0, {}};
  EXPECT_EQ(frontend::openBook(&book, path.c_str()), 0);
  return book;
}

}  // namespace

TEST(BookKeys, OracleReproducesTheEngineKeyTables) {
  // Black king (kind 0) on a1 and h8; White king (kind 12) on a1.
  EXPECT_EQ(oracle().table[0][0].key, 0x00261E27u);
  EXPECT_EQ(oracle().table[0][0].lock, 0x52F6u);
  EXPECT_EQ(oracle().table[0][0x77].key, 0x17277606u);
  EXPECT_EQ(oracle().table[0][0x77].lock, 0x5FE7u);
  EXPECT_EQ(oracle().table[12][0].key, 0x1081218Bu);
  EXPECT_EQ(oracle().table[12][0].lock, 0x7B6Du);
}

TEST(BookKeys, SixByteKeyIsLittleEndianKeyThenLock) {
  uint8_t bytes[6];
  frontend::makeBookKey(bytes, 0x5610748B, 0x46CE);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 6), (std::vector<uint8_t>{0x8b, 0x74, 0x10, 0x56, 0xce, 0x46}));
}

TEST(BookProbe, ByteOrderNotNumericOrderFindsEachPosition) {
  std::map<int, char> start = startPieces();
  OracleKey startKey = oracle().keyOf(start, false);
  std::map<int, char> afterE4 = start;
  afterE4.erase(0x14);
  afterE4[0x34] = 'P';
  OracleKey e4Key = oracle().keyOf(afterE4, true);
  std::map<int, char> afterE5 = afterE4;
  afterE5.erase(0x64);
  afterE5[0x44] = 'p';
  OracleKey e5Key = oracle().keyOf(afterE5, false);
  EXPECT_EQ(startKey.key, 0x5610748Bu);
  EXPECT_EQ(e4Key.key, 0xA5943AEBu);
  EXPECT_EQ(e5Key.key, 0x5D6A6454u);
  // Byte order puts e4e5, start, e4; numeric order would not.
  std::string path = writeBook("order", {{startKey.key, startKey.lock, 0x3414, 10},
                                         {e4Key.key, e4Key.lock, 0x4464, 10},
                                         {e5Key.key, e5Key.lock, 0x2506, 10}});
  Book book = openTestBook(path);
  EXPECT_EQ(book.count, 3);
  EXPECT_EQ(frontend::probeBookKey(&book, startKey.key, startKey.lock, 5), 0x3414);
  EXPECT_EQ(frontend::probeBookKey(&book, e4Key.key, e4Key.lock, 5), 0x4464);
  EXPECT_EQ(frontend::probeBookKey(&book, e5Key.key, e5Key.lock, 5), 0x2506);
  EXPECT_EQ(frontend::probeBookKey(&book, e5Key.key ^ 1, e5Key.lock, 5), noMove);
  EXPECT_EQ(frontend::probeBookKey(&book, e5Key.key, e5Key.lock ^ 1, 5), noMove);
  frontend::openBook(&book, "");
  std::remove(path.c_str());
}

TEST(BookProbe, RunsAtBothEndsOfTheFileAreFoundWhole) {
  // Keys 0x00.. sort first, 0xFF.. last; each run has two moves of equal weight.
  std::vector<Entry> entries = {{0x00000000, 0, 0x3414, 1}, {0x00000000, 0, 0x3313, 1}};
  for (uint32_t k = 1; k <= 20; ++k) entries.push_back({k * 0x01010101u & 0x7F7F7F7Fu, 7, 0x2506, 5});
  entries.push_back({0xFFFFFFFF, 0xFFFF, 0x4464, 1});
  entries.push_back({0xFFFFFFFF, 0xFFFF, 0x4363, 1});
  std::string path = writeBook("ends", entries);
  Book book = openTestBook(path);
  std::map<Move, int> first;
  std::map<Move, int> last;
  for (int i = 0; i < 200; ++i) {
    ++first[frontend::probeBookKey(&book, 0, 0, 0)];
    ++last[frontend::probeBookKey(&book, 0xFFFFFFFF, 0xFFFF, 0)];
  }
  EXPECT_EQ(first.size(), 2u);
  EXPECT_GT(first[0x3414], 50);
  EXPECT_GT(first[0x3313], 50);
  EXPECT_EQ(last.size(), 2u);
  EXPECT_GT(last[0x4464], 50);
  EXPECT_GT(last[0x4363], 50);
  frontend::openBook(&book, "");
  std::remove(path.c_str());
}

TEST(BookProbe, WeightRuleAndDrawFollowTheGenerator) {
  // The run 10 / 0 / 30, in file order; the found entry is the middle one.
  std::string path = writeBook("weights", {{0x1234, 1, 0x3414, 10}, {0x1234, 1, 0x3313, 0}, {0x1234, 1, 0x2506, 30}});
  Book book = openTestBook(path);
  // Collection order: found entry (position 2), then position 1, then 3:
  // weights 0, 10, 30. Each draw's target is (r x total) >> 15.
  for (uint32_t seed : {0u, 1u, 12345u, 0xDEADBEEFu}) {
    engine::seedRandom(book.seed, seed);
    engine::RandomState expect;
    engine::seedRandom(expect, seed);
    for (int i = 0; i < 50; ++i) {
      int32_t target = (engine::drawRandom(expect) * 40) >> 15;
      Move wanted = target < 10 ? 0x3414 : 0x2506;
      ASSERT_EQ(frontend::probeBookKey(&book, 0x1234, 1, 5), wanted);
    }
  }
  // At selectivity 100 only the largest weight stays.
  for (int i = 0; i < 50; ++i) EXPECT_EQ(frontend::probeBookKey(&book, 0x1234, 1, 100), 0x2506);
  frontend::openBook(&book, "");
  std::remove(path.c_str());
}

TEST(BookProbe, OneToThreeRunIsDrawnOneToThree) {
  std::string path = writeBook("ratio", {{0x77, 2, 0x3414, 10}, {0x77, 2, 0x2506, 30}});
  Book book = openTestBook(path);
  int heavy = 0;
  const int probes = 4000;
  for (int i = 0; i < probes; ++i) heavy += frontend::probeBookKey(&book, 0x77, 2, 5) == 0x2506;
  EXPECT_NEAR(double(heavy) / probes, 0.75, 0.05);
  frontend::openBook(&book, "");
  std::remove(path.c_str());
}

TEST(BookProbe, AllZeroRunGivesNoMove) {
  std::string path = writeBook("zero", {{0x55, 5, 0x3414, 0}, {0x55, 5, 0x2506, 0}, {0x56, 5, 0x2506, 3}});
  Book book = openTestBook(path);
  EXPECT_EQ(frontend::probeBookKey(&book, 0x55, 5, 5), noMove);
  EXPECT_EQ(frontend::probeBookKey(&book, 0x56, 5, 5), 0x2506);
  frontend::openBook(&book, "");
  std::remove(path.c_str());
}

TEST(BookProbe, RunLongerThanAHundredEntriesIsBounded) {
  std::vector<Entry> entries;
  for (int i = 0; i < 250; ++i) entries.push_back({0x99, 9, Move(0x2000 + i), 1});
  std::string path = writeBook("long", entries);
  Book book = openTestBook(path);
  for (int i = 0; i < 200; ++i) {
    Move m = frontend::probeBookKey(&book, 0x99, 9, 0);
    EXPECT_GE(m, 0x2000);
    EXPECT_LT(m, 0x2000 + 250);
  }
  frontend::openBook(&book, "");
  std::remove(path.c_str());
}

TEST(BookFiles, TruncatedEmptyUnsortedAndMissingFilesNeverFail) {
  // A trailing partial entry is ignored.
  std::string truncated = writeBook("trunc", {{0x10, 1, 0x3414, 5}, {0x20, 1, 0x2506, 5}}, true, "\x01\x02\x03");
  Book book = openTestBook(truncated);
  EXPECT_EQ(book.count, 2);
  EXPECT_EQ(frontend::probeBookKey(&book, 0x20, 1, 5), 0x2506);
  // An empty file: no entries, no moves.
  std::string empty = writeBook("empty", {});
  EXPECT_EQ(frontend::openBook(&book, empty.c_str()), 0);
  EXPECT_EQ(book.count, 0);
  EXPECT_EQ(frontend::probeBookKey(&book, 0x10, 1, 5), noMove);
  // Unsorted: hits and misses as they fall, but only stored moves or none.
  std::vector<Entry> shuffled;
  for (uint32_t k = 40; k > 0; --k) shuffled.push_back({k * 0x10000, 1, Move(0x3000 + k), 1});
  std::string unsorted = writeBook("unsorted", shuffled, false);
  EXPECT_EQ(frontend::openBook(&book, unsorted.c_str()), 0);
  for (uint32_t k = 1; k <= 40; ++k) {
    Move m = frontend::probeBookKey(&book, k * 0x10000, 1, 5);
    EXPECT_TRUE(m == noMove || m == Move(0x3000 + k));
  }
  // Missing file and a directory: the book stays closed.
  EXPECT_EQ(frontend::openBook(&book, "/no/such/book.bin"), ENOENT);
  EXPECT_EQ(book.file, nullptr);
  EXPECT_EQ(frontend::probeBookKey(&book, 0x10, 1, 5), noMove);
  EXPECT_EQ(frontend::openBook(&book, std::filesystem::temp_directory_path().c_str()), EISDIR);
  EXPECT_EQ(book.file, nullptr);
  std::remove(truncated.c_str());
  std::remove(empty.c_str());
  std::remove(unsorted.c_str());
}
