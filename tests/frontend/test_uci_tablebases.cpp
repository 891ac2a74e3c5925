// quillon_uci with the real engine module and tables made by the
// retrograde solver: with "NalimovPath" on the tables the search scores a
// won or lost position by the table's exact distance to mate (every
// distance of the queen ending), plays a move that keeps that distance and
// counts its probes as "tbhits"; with "Use_tablebases" false it probes
// nothing. A long "NalimovPath" is used whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helpers/reference_moves.h"
#include "helpers/retrograde_files.h"
#include "helpers/temp_dir.h"
#include "helpers/start_real_engine.h"
#include "helpers/uci_session.h"

using testing_tb::Man;
using testing_uci::finishUci;
using testing_uci::infoNumber;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 60000;

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

// The FEN of a board with a White king, a White queen and the Black king
// (squares a1 = 0 .. h8 = 63).
std::string queenEndingFen(int wk, int queen, int bk, int side) {
  reference::Grid grid = reference::gridFromFen("8/8/8/8/8/8/8/8", 1, 0, engine::NoSquare);
  grid.cell[wk >> 3][wk & 7] = 'K';
  grid.cell[queen >> 3][queen & 7] = 'Q';
  grid.cell[bk >> 3][bk & 7] = 'k';
  return reference::fenOf(grid) + (side == 0 ? " w" : " b") + " - - 0 1";
}

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
  EXPECT_GT(infoNumber(scored, "tbhits", 0), 0) << scored;

  // The move keeps the win exactly on schedule: Black to move is then
  // mated by White's (distance - 1)-th move.
  std::string best = lines.back().substr(9, 4);
  int from = square(best, 0), to = square(best, 2);
  ASSERT_TRUE(from == wk || from == rook) << best;
  int16_t after = from == wk ? krk.at(1, to, bk, rook) : krk.at(1, wk, bk, to);
  EXPECT_EQ(after, -(distance - 1)) << best;

  // Tablebases off: the same search probes nothing.
  sendLine(&p, "setoption name Use_tablebases value false");
  lines = search(&p, "8/8/8/3k4/8/8/8/R3K3 w - - 0 1");
  int scoreLines = 0;
  for (const std::string& line : lines)
    if (line.find(" score ") != std::string::npos) {
      ++scoreLines;
      EXPECT_EQ(infoNumber(line, "tbhits", -1), 0) << line;
    }
  EXPECT_GT(scoreLines, 0);
  sendLine(&p, "quit");
  finishUci(&p, ReplyMs);
}

TEST(UciTablebases, QueenEndingShowsEveryDistanceOfTheSolver) {
  ScopedTempDir tables{"quillon_uci_tb_"};
  testing_tb::writeThreeManTables(tables.path, Man::Queen);
  const testing_tb::Solution kqk = testing_tb::solve(Man::Queen);
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  sendLine(&p, "setoption name NalimovPath value " + tables.path.string());

  // The longest mate: White Ka1, Qb2 against Ke6.
  const int longest = testing_tb::longestWin(kqk);
  ASSERT_EQ(kqk.at(0, 0, 44, 9), longest);
  std::string scored = lastScoreLine(search(&p, queenEndingFen(0, 9, 44, 0)));
  EXPECT_NE(scored.find(" score mate " + std::to_string(longest) + " "), std::string::npos) << scored;

  // One position of each distance, either side to move: a win in n shows
  // "mate n" and a side mated by the opponent's n-th move "mate -n". The
  // mate in one is the search's own, beside the table's longer ones.
  for (int side = 0; side < 2; ++side)
    for (int n = 1; n <= longest - side; ++n) {
      int16_t wanted = int16_t(side == 0 ? n : -n);
      bool found = false;
      for (int at = 0; at < 64 * 64 * 64 && !found; ++at) {
        int wk = at >> 12, bk = (at >> 6) & 63, queen = at & 63;
        if (kqk.at(side, wk, bk, queen) != wanted) continue;
        found = true;
        std::string fen = queenEndingFen(wk, queen, bk, side);
        scored = lastScoreLine(search(&p, fen));
        EXPECT_NE(scored.find(" score mate " + std::to_string(wanted) + " "), std::string::npos)
            << fen << ": " << scored;
      }
      EXPECT_TRUE(found) << "no position of distance " << wanted;
    }
  sendLine(&p, "quit");
  finishUci(&p, ReplyMs);
}

// "NalimovPath" is used whole, however long. A path whose first 3,999
// characters name the tables' directory ("/." again and again after it)
// but whose whole names a directory that does not exist loads no table;
// a path of 100,000 characters and more whose last directory holds the
// tables loads them.
TEST(UciTablebases, LongNalimovPathIsUsedWhole) {
  ScopedTempDir tables{"quillon_uci_tb_"};
  testing_tb::writeThreeManTables(tables.path, Man::Rook);
  const std::string fen = "8/8/8/3k4/8/8/8/R3K3 w - - 0 1";
  auto probes = [](const std::vector<std::string>& lines) {
    long long most = 0;
    for (const std::string& line : lines) most = std::max(most, infoNumber(line, "tbhits", 0));
    return most;
  };
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);

  std::string named = tables.path.string();
  while (named.size() + 2 <= 3999) named += "/.";
  if (named.size() < 3999) named += "/";
  ASSERT_EQ(named.size(), 3999u);
  sendLine(&p, "setoption name NalimovPath value " + named + "-missing");
  EXPECT_EQ(probes(search(&p, fen)), 0) << "the tables of the path's first 3,999 characters were loaded";

  std::string many;
  for (int entry = 0; many.size() < 100000; ++entry) {
    many += "/no-such-directory-" + std::to_string(entry);
    for (int dots = 0; dots < 500; ++dots) many += "/.";
    many += ";";
  }
  sendLine(&p, "setoption name NalimovPath value " + many + tables.path.string());
  EXPECT_GT(probes(search(&p, fen)), 0) << "the path's last directory was dropped";
  sendLine(&p, "quit");
  finishUci(&p, ReplyMs);
}
