// The opening book over pipes: a book file written beside the program
// answers "go" at once with one information line and "bestmove" (a
// promotion in lower case), holds its move back in ponder mode until
// "ponderhit" or "stop", is skipped in infinite analysis, and a book
// switched off or missing lets the engine search; a long "Book_file" is
// used whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/board/setup.h"
#include "engine/hash/hash.h"
#include "frontend/game_position.h"
#include "helpers/book_file.h"
#include "helpers/uci_process.h"

using testing_book::bookEntryBytes;
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

// The start position (key 0x5610748B, lock 0x46CE) names e2e4; after
// 1.e4 (0xA5943AEB / 0x6FE9) the book names e7e5. In byte order the start
// position's entry comes first.
void startWithBook(UciProcess* p) {
  ASSERT_TRUE(startUci(p, ModuleChoice::StubModule));
  writeFileInDirectory(p, "opening.bin",
                       bookEntryBytes(0x5610748B, 0x46CE, 0x3414, 10) + bookEntryBytes(0xA5943AEB, 0x6FE9, 0x4464, 10));
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

// A book move that promotes is written in lower case like the search's:
// White's pawn on e7 under-promotes to a knight (to-byte e8 + 0x30).
TEST(UciBook, PromotionFromTheBookIsWrittenInLowerCase) {
  const char* fen = "8/4P3/8/8/8/8/8/k3K3 w - - 0 1";
  engine::initHashAndKeys(1u << 20);
  frontend::initMirror();
  ASSERT_EQ(engine::setUpGame(&frontend::gamePosition, fen), 0);
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  writeFileInDirectory(&p, "promotion.bin",
                       bookEntryBytes(frontend::gamePosition.key, frontend::gamePosition.lock, 0xA464, 10));
  sendLine(&p, "setoption name Book_file value promotion.bin");
  sendLine(&p, std::string("position fen ") + fen);
  sendLine(&p, "go wtime 10000 btime 10000");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "bestmove e7e8n");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// "Book_file" is used whole, however long. The first 3,999 characters of
// this name ("./" again and again, then the book's name) name the book;
// the whole names a file that does not exist: the system's error text
// comes, "OwnBook" turns false and the engine searches.
TEST(UciBook, LongBookFileIsUsedWhole) {
  UciProcess p;
  startWithBook(&p);
  std::string name;
  while (name.size() + 2 + std::string("opening.bin").size() <= 3999) name += "./";
  name += "opening.bin";
  ASSERT_EQ(name.size(), 3999u);
  sendLine(&p, "setoption name Book_file value " + name + "x");
  sendLine(&p, "isready");
  std::vector<std::string> lines = readUntil(&p, "readyok", ReplyMs);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "No such file or directory"), lines.end());
  sendLine(&p, "uci");
  lines = readUntil(&p, "uciok", ReplyMs);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "option name OwnBook type check default false"), lines.end());
  sendLine(&p, "go depth 1");
  lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
