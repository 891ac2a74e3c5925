// quillon_uci with the real engine module over pipes: depth, move-time and
// clock searches, a mate in one, stops and ponder hits, and self-play, with
// every best move checked against the plain 8x8 reference's legal moves.
// Until the module's core is complete the module does not load (the
// program then reports "Cannot find engine module"), and these tests are
// skipped with that reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/move.h"
#include "helpers/reference_legal.h"
#include "helpers/uci_process.h"

using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::nowMs;
using testing_uci::readLine;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startRealEngine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 30000;
const char* startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

#define START_OR_SKIP(p) \
  if (!startRealEngine(&(p), ReplyMs)) GTEST_SKIP() << "the engine module does not load yet"

// The engine Move of a "bestmove" text for the side to move of `grid`.
engine::Move moveOfText(const reference::Grid& grid, const std::string& text) {
  if (text.size() < 4) return engine::noMove;
  int32_t from = (text[1] - '1') * 16 + (text[0] - 'a');
  int32_t to = (text[3] - '1') * 16 + (text[2] - 'a');
  int32_t piece = engine::PromoteQueen;
  if (text.size() == 5) {
    if (text[4] == 'R') piece = engine::PromoteRook;
    if (text[4] == 'B') piece = engine::PromoteBishop;
    if (text[4] == 'N') piece = engine::PromoteKnight;
  }
  int32_t toByte = piece == engine::PromoteQueen ? to : engine::underPromotionByte(to, piece, grid.side);
  return engine::makeMove16(from, toByte);
}

std::string bestMoveText(const std::vector<std::string>& lines) {
  if (lines.empty() || lines.back().rfind("bestmove ", 0) != 0) return "";
  std::string rest = lines.back().substr(9);
  return rest.substr(0, rest.find(' '));
}

}  // namespace

TEST(UciEngine, DepthSearchEndsAtItsDepthWithALegalMove) {
  UciProcess p;
  START_OR_SKIP(p);
  sendLine(&p, "position startpos moves e2e4");
  sendLine(&p, "go depth 5");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  std::string lastPv;
  for (const std::string& line : lines)
    if (line.find(" pv ") != std::string::npos) lastPv = line;
  EXPECT_EQ(lastPv.rfind("info depth 5 ", 0), 0u) << lastPv;
  reference::Grid grid = reference::playOnGrid(reference::gridFromFullFen(startFen), 0x3414);
  EXPECT_TRUE(reference::isLegal(grid, moveOfText(grid, bestMoveText(lines)))) << bestMoveText(lines);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciEngine, MateInOneIsFoundAndShownAsMate) {
  UciProcess p;
  START_OR_SKIP(p);
  sendLine(&p, "position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - -");
  sendLine(&p, "go depth 4");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(bestMoveText(lines), "a1a8");
  bool mate = false;
  for (const std::string& line : lines) mate = mate || line.find(" score mate 1 ") != std::string::npos;
  EXPECT_TRUE(mate);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciEngine, MoveTimeAndClockAreKept) {
  UciProcess p;
  START_OR_SKIP(p);
  long long start = nowMs();
  sendLine(&p, "go movetime 500");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  long long elapsed = nowMs() - start;
  EXPECT_GE(elapsed, 450);
  EXPECT_LE(elapsed, 650 + 150);
  start = nowMs();
  sendLine(&p, "go wtime 10000 btime 10000");
  lines = readUntil(&p, "bestmove", ReplyMs);
  EXPECT_LE(nowMs() - start, 4300 + 150);
  EXPECT_FALSE(bestMoveText(lines).empty());
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciEngine, AnalysisAndPonderEndOnlyOnStopOrPonderHit) {
  UciProcess p;
  START_OR_SKIP(p);
  sendLine(&p, "go infinite");
  std::vector<std::string> lines = testing_uci::readAvailable(&p, 700);
  for (const std::string& line : lines) EXPECT_NE(line.rfind("bestmove", 0), 0u);
  long long start = nowMs();
  sendLine(&p, "stop");
  lines = readUntil(&p, "bestmove", ReplyMs);
  EXPECT_LE(nowMs() - start, 200);
  EXPECT_FALSE(bestMoveText(lines).empty());
  sendLine(&p, "go ponder wtime 5000 btime 5000");
  lines = testing_uci::readAvailable(&p, 500);
  for (const std::string& line : lines) EXPECT_NE(line.rfind("bestmove", 0), 0u);
  sendLine(&p, "ponderhit");
  lines = readUntil(&p, "bestmove", ReplyMs);
  EXPECT_FALSE(bestMoveText(lines).empty());
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciEngine, SelfPlayGamesStayLegal) {
  UciProcess players[2];
  START_OR_SKIP(players[0]);
  ASSERT_TRUE(startRealEngine(&players[1], ReplyMs));
#if defined(__SANITIZE_ADDRESS__)
  const int games = 2;
  const int plies = 20;
#else
  const int games = 10;
  const int plies = 80;
#endif
  const char* openings[] = {"", "e2e4", "d2d4", "c2c4", "g1f3", "e2e4 c7c5", "d2d4 g8f6", "e2e4 e7e5", "b2b3",
                            "f2f4"};
  for (int game = 0; game < games; ++game) {
    std::string moves = openings[game % 10];
    reference::Grid grid = reference::gridFromFullFen(startFen);
    for (size_t at = 0; at + 4 <= moves.size(); at += 5) grid = reference::playOnGrid(grid, moveOfText(grid, moves.substr(at, 4)));
    for (int ply = 0; ply < plies; ++ply) {
      if (reference::legalMoves(grid).empty()) break;
      UciProcess* mover = &players[(game + ply) % 2];
      sendLine(mover, "position startpos" + (moves.empty() ? std::string() : " moves " + moves));
      long long start = nowMs();
      sendLine(mover, "go movetime 30");
      std::vector<std::string> lines = readUntil(mover, "bestmove", ReplyMs);
      // A loose bound: the test shares the machine with the other tests; the
      // module tests hold the search to its time limits closely.
      EXPECT_LE(nowMs() - start, 30 + 1000);
      std::string text = bestMoveText(lines);
      engine::Move move = moveOfText(grid, text);
      ASSERT_TRUE(reference::isLegal(grid, move)) << "game " << game << " ply " << ply << ": " << text;
      grid = reference::playOnGrid(grid, move);
      moves += (moves.empty() ? "" : " ") + text;
    }
  }
  EXPECT_EQ(finishUci(&players[0], ReplyMs), 1);
  EXPECT_EQ(finishUci(&players[1], ReplyMs), 1);
}
