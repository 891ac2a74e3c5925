// quillon_uci with the real engine module and rook-ending tables made by
// the retrograde solver: with "NalimovPath" on the tables the search scores
// a won position by the table's exact distance to mate, plays a move that
// keeps that distance and counts its probes as "tbhits"; with
// "Use_tablebases" false it probes nothing.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "helpers/retrograde_files.h"
#include "helpers/temp_dir.h"
#include "helpers/uci_process.h"

using testing_tb::Man;
using testing_uci::finishUci;
using testing_uci::readLine;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 60000;

// The number after `key` in an info line, or `missing`.
long long numberAfter(const std::string& line, const std::string& key, long long missing) {
  std::istringstream words(line);
  std::string word;
  while (words >> word)
    if (word == key) {
      long long n;
      if (words >> n) return n;
    }
  return missing;
}

// The last line that scores the first line of play.
std::string lastScoreLine(const std::vector<std::string>& lines) {
  std::string last;
  for (const std::string& line : lines)
    if (line.find(" score ") != std::string::npos && line.find(" multipv 1 ") != std::string::npos) last = line;
  return last;
}

// The lines of a depth-12 search of `fen`, up to "bestmove".
std::vector<std::string> search(UciProcess* p, const std::string& fen) {
  sendLine(p, "position fen " + fen);
  sendLine(p, "go depth 12");
  std::vector<std::string> lines = readUntil(p, "bestmove", ReplyMs);
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) lines.push_back("");
  EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u) << lines.back();
  return lines;
}

int square(const std::string& text, size_t at) { return (text[at + 1] - '1') * 8 + (text[at] - 'a'); }

}  // namespace

TEST(UciTablebases, RookEndingScoredAndPlayedByTheTableDistance) {
  ScopedTempDir tables{"quillon_uci_tb_"};
  testing_tb::writeThreeManTables(tables.path, Man::Rook);
  const testing_tb::Solution krk = testing_tb::solve(Man::Rook);
  // White Ke1, Ra1 against Kd5, White to move.
  const int wk = 4, rook = 0, bk = 35;
  const int distance = krk.at(0, wk, bk, rook);
  ASSERT_GT(distance, 5);

  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  sendLine(&p, "setoption name NalimovPath value " + tables.path.string());
  std::vector<std::string> lines = search(&p, "8/8/8/3k4/8/8/8/R3K3 w - - 0 1");
  std::string scored = lastScoreLine(lines);
  EXPECT_NE(scored.find(" score mate " + std::to_string(distance) + " "), std::string::npos)
      << "solver " << distance << ": " << scored;
  EXPECT_GT(numberAfter(scored, "tbhits", 0), 0) << scored;

  // The move keeps the win exactly on schedule: Black to move is then
  // mated by White's (distance - 1)-th move.
  std::string best = lines.back().substr(9, 4);
  int from = square(best, 0), to = square(best, 2);
  ASSERT_TRUE(from == wk || from == rook) << best;
  int16_t after = from == wk ? krk.at(1, to, bk, rook) : krk.at(1, wk, bk, to);
  EXPECT_EQ(after, -(distance - 1)) << best;

  // Black to move in the same position is mated by White's n-th move.
  const int lost = krk.at(1, wk, bk, rook);
  ASSERT_LT(lost, -5);
  scored = lastScoreLine(search(&p, "8/8/8/3k4/8/8/8/R3K3 b - - 0 1"));
  EXPECT_NE(scored.find(" score mate " + std::to_string(lost) + " "), std::string::npos)
      << "solver " << lost << ": " << scored;

  // Tablebases off: the same search probes nothing.
  sendLine(&p, "setoption name Use_tablebases value false");
  lines = search(&p, "8/8/8/3k4/8/8/8/R3K3 w - - 0 1");
  int scoreLines = 0;
  for (const std::string& line : lines)
    if (line.find(" score ") != std::string::npos) {
      ++scoreLines;
      EXPECT_EQ(numberAfter(line, "tbhits", -1), 0) << line;
    }
  EXPECT_GT(scoreLines, 0);
  sendLine(&p, "quit");
  finishUci(&p, ReplyMs);
}
