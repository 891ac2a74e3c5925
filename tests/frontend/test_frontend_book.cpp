// The opening book read back from files the tests write: binary search in
// byte order, runs at both ends of the file, the weight rule and the draw in
// proportion to the weights, and damaged files. Whether the engine keys a
// real position as the book's keys expect is checked over pipes.
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

#include "frontend/book.h"
#include "helpers/book_file.h"
#include "helpers/temp_dir.h"

using engine::Move;
using engine::noMove;
using frontend::Book;

namespace {

struct Entry {
  uint32_t key;
  uint16_t lock;
  Move move;
  int16_t weight;
};

std::string entryBytes(const Entry& e) { return testing_book::bookEntryBytes(e.key, e.lock, e.move, e.weight); }

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

TEST(BookProbe, ByteOrderNotNumericOrderFindsEachPosition) {
  // The keys' lowest bytes (0x8B, 0xEB, 0x54) put them in the file in the
  // order third, first, second; numeric order would be first, third, second.
  const Entry startKey = {0x5610748B, 0x46CE, 0x3414, 10};
  const Entry e4Key = {0xA5943AEB, 0x6FE9, 0x4464, 10};
  const Entry e5Key = {0x5D6A6454, 0x1F3A, 0x2506, 10};
  std::string path = writeBook("order", {startKey, e4Key, e5Key});
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

// Moves are drawn in proportion to their weights: a zero weight is never
// drawn, a 10 / 30 run gives the heavy move three draws in four, a run of
// zeros gives no move, and a selectivity above every share keeps only the
// heaviest move.
TEST(BookProbe, WeightsDecideTheDraw) {
  std::string path = writeBook("weights", {{0x1234, 1, 0x3414, 10}, {0x1234, 1, 0x3313, 0}, {0x1234, 1, 0x2506, 30},
                                           {0x55, 5, 0x3414, 0}, {0x55, 5, 0x2506, 0}});
  Book book = openTestBook(path);
  std::map<Move, int> drawn;
  const int probes = 4000;
  for (int i = 0; i < probes; ++i) ++drawn[frontend::probeBookKey(&book, 0x1234, 1, 5)];
  EXPECT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn.count(0x3313), 0u);
  EXPECT_NEAR(double(drawn[0x2506]) / probes, 0.75, 0.05);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(frontend::probeBookKey(&book, 0x1234, 1, 100), 0x2506);
  EXPECT_EQ(frontend::probeBookKey(&book, 0x55, 5, 5), noMove);
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
  // A missing file (and a directory, over pipes) leaves the book closed.
  EXPECT_EQ(frontend::openBook(&book, "/no/such/book.bin"), ENOENT);
  EXPECT_EQ(frontend::probeBookKey(&book, 0x10, 1, 5), noMove);
  std::remove(truncated.c_str());
  std::remove(empty.c_str());
  std::remove(unsorted.c_str());
}
