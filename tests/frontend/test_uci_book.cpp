// The opening book over pipes: a book file written beside the program
// answers "go" at once with one information line and "bestmove", holds its
// move back in ponder mode until "ponderhit" or "stop", is skipped in
// infinite analysis, and a book switched off or missing lets the engine
// search.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/uci_process.h"

using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::readAvailable;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;
using testing_uci::writeFileInDirectory;

namespace {

constexpr int ReplyMs = 10000;
constexpr int QuietMs = 300;

// One 12-byte entry: key, lock, two unread bytes, move, weight.
std::string entry(uint32_t key, uint16_t lock, uint16_t move, int16_t weight) {
  std::string bytes(12, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = char(key >> (8 * i));
  bytes[4] = char(lock);
  bytes[5] = char(lock >> 8);
  bytes[8] = char(move);
  bytes[9] = char(move >> 8);
  bytes[10] = char(uint16_t(weight));
  bytes[11] = char(uint16_t(weight) >> 8);
  return bytes;
}

// The start position (key 0x5610748B, lock 0x46CE) names e2e4; after
// 1.e4 (0xA5943AEB / 0x6FE9) the book names e7e5. In byte order the start
// position's entry comes first.
void startWithBook(UciProcess* p) {
  ASSERT_TRUE(startUci(p, ModuleChoice::StubModule));
  writeFileInDirectory(p, "opening.bin", entry(0x5610748B, 0x46CE, 0x3414, 10) + entry(0xA5943AEB, 0x6FE9, 0x4464, 10));
  sendLine(p, "setoption name Book_file value opening.bin");
  sendLine(p, "isready");
  std::vector<std::string> lines = readUntil(p, "readyok", ReplyMs);
  for (const std::string& line : lines) ASSERT_NE(line, "No such file or directory");
}

const char* bookLine = "info depth 0 score cp 0 nodes 0 nps 0 tbhits 0 time 0 hashfull 0 multipv 1 pv  e2e4";

}  // namespace

TEST(UciBook, BookMoveAnswersAtOnceWithoutASearch) {
  UciProcess p;
  startWithBook(&p);
  sendLine(&p, "go wtime 10000 btime 10000");
  std::vector<std::string> expected = {"stub setTimeControl 6 10 0 0 0", bookLine, "bestmove e2e4"};
  EXPECT_EQ(readUntil(&p, "bestmove", ReplyMs), expected);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciBook, PonderModeHoldsTheBookMoveUntilPonderHitOrStop) {
  UciProcess p;
  startWithBook(&p);
  sendLine(&p, "go ponder");
  std::vector<std::string> lines = readAvailable(&p, QuietMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), bookLine);
  sendLine(&p, "ponderhit");
  lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "bestmove e2e4");
  sendLine(&p, "go ponder");
  readAvailable(&p, QuietMs);
  sendLine(&p, "stop");
  lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "bestmove e2e4");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciBook, InfiniteAnalysisAndOwnBookOffSearch) {
  UciProcess p;
  startWithBook(&p);
  sendLine(&p, "go infinite");
  std::vector<std::string> lines = readUntil(&p, "stub think", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "stub think 1 2");
  sendLine(&p, "stop");
  readUntil(&p, "bestmove", ReplyMs);
  sendLine(&p, "setoption name OwnBook value false");
  sendLine(&p, "go depth 1");
  lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
