// quillon_uci with the real engine module over pipes: depth, move-time and
// clock searches, a mate in one, a stop after every kind of "go" answered
// at once with no command left waiting behind a search, a refused position
// and re-initialisations that leave engine and mirror in step, bounded
// contempt, and self-play, with every best move checked against the plain
// 8x8 reference's legal moves. The build makes the module: when it does not
// load, these tests fail with the loader's reason.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/control/move.h"
#include "helpers/reference_legal.h"
#include "helpers/uci_process.h"

using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::nowMs;
using testing_uci::readFor;
using testing_uci::readLine;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 30000;
const char* startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// How soon "bestmove" must follow a "stop" (and the program end after
// "quit"). The sanitizer and 32-bit builds run slower and share the machine
// with the other test programs.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(__i386__)
constexpr long long PromptMs = 1000;
#else
constexpr long long PromptMs = 250;
#endif
// Long enough to see that a search does not end by itself.
constexpr int RunningMs = 300;

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

std::string lastLine(const std::vector<std::string>& lines) { return lines.empty() ? "" : lines.back(); }

int countPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
  return n;
}

// Sends a line and reads up to the first line starting with `prefix`; the
// milliseconds it took go to `elapsed`.
std::vector<std::string> sendAndRead(UciProcess* p, const std::string& line, const std::string& prefix,
                                     long long* elapsed) {
  long long start = nowMs();
  sendLine(p, line);
  std::vector<std::string> lines = readUntil(p, prefix, ReplyMs);
  *elapsed = nowMs() - start;
  return lines;
}

// Expects one legal "bestmove" for `grid` at the end of `lines`, and no
// other "bestmove" before it.
void expectOneLegalBestMove(const std::vector<std::string>& lines, const reference::Grid& grid,
                            const std::string& what) {
  ASSERT_FALSE(lines.empty()) << what;
  EXPECT_EQ(countPrefix(lines, "bestmove "), 1) << what;
  EXPECT_TRUE(reference::isLegal(grid, moveOfText(grid, bestMoveText(lines)))) << what << ": " << lines.back();
}

}  // namespace

TEST(UciEngine, DepthSearchEndsAtItsDepthWithALegalMove) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
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
  START_REAL_ENGINE(p, ReplyMs);
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
  START_REAL_ENGINE(p, ReplyMs);
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

// Every "stop" reaches the engine at once: "bestmove" follows promptly for
// every kind of "go", also a fixed depth whose single iteration could take
// minutes and a stop that comes before any line; searches that only a stop
// or a ponderhit can end do not end by themselves; no command waits behind
// a search (each stops it first); "quit" ends the program at once.
TEST(UciEngine, EveryStopIsAnsweredAtOnceAndNothingWaitsBehindASearch) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  // One search thread, so that the bound measures the stop and not the
  // scheduling of helpers on a machine shared with other tests.
  sendLine(&p, "setoption name Threads value 1");
  const reference::Grid start = reference::gridFromFullFen(startFen);
  long long elapsed = 0;

  // Searches that only a stop ends, and searches stopped 10 or 50 ms after
  // they began. "nodes" and "mate" are not supported and run as a search on
  // an empty clock, which may end before its stop.
  struct StoppedGo {
    const char* go;
    int stopAfterMs;  // 0: after RunningMs, checking that it is still running
  };
  const StoppedGo searches[] = {
      {"go infinite", 0},           {"go depth 40", 0},          {"go movetime 100000", 0},
      {"go wtime 600000 btime 600000", 0}, {"go ponder wtime 600000 btime 600000", 0},
      {"go depth 25", 50},          {"go infinite", 10},         {"go depth 30", 10},
      {"go nodes 1000", 10},        {"go mate 3", 10},
  };
  for (const StoppedGo& search : searches) {
    sendLine(&p, "position startpos");
    sendLine(&p, search.go);
    std::vector<std::string> before;
    if (search.stopAfterMs == 0) {
      before = readFor(&p, RunningMs);
      EXPECT_EQ(countPrefix(before, "bestmove"), 0) << search.go << " ended without a stop";
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(search.stopAfterMs));
    }
    std::vector<std::string> lines = sendAndRead(&p, "stop", "bestmove", &elapsed);
    EXPECT_LE(elapsed, PromptMs) << search.go;
    lines.insert(lines.begin(), before.begin(), before.end());
    expectOneLegalBestMove(lines, start, search.go);
  }

  // A ponder search goes on past its time until "ponderhit" gives it the
  // clock; it then ends by itself.
  sendLine(&p, "go ponder wtime 2000 btime 2000");
  EXPECT_EQ(countPrefix(readFor(&p, RunningMs), "bestmove"), 0);
  sendLine(&p, "ponderhit");
  expectOneLegalBestMove(readUntil(&p, "bestmove", ReplyMs), start, "ponderhit");

  // The fixed-depth transcript that froze: the stop after the iteration's
  // first line, then a new position and "isready".
  sendLine(&p, "go depth 30");
  readUntil(&p, "info depth 30 nodes", ReplyMs);
  expectOneLegalBestMove(sendAndRead(&p, "stop", "bestmove", &elapsed), start, "go depth 30");
  EXPECT_LE(elapsed, PromptMs);
  sendLine(&p, "position startpos moves e2e4");
  EXPECT_EQ(lastLine(sendAndRead(&p, "isready", "readyok", &elapsed)), "readyok");
  EXPECT_LE(elapsed, PromptMs);

  // Commands that change what a search reads stop it first: each search
  // ends with its move at once, and the command is carried out. A "go"
  // during a search ends it too; the new search's move may come before or
  // after "readyok".
  const reference::Grid afterE4 = reference::playOnGrid(start, 0x3414);
  const char* runningGo[] = {"go depth 40", "go infinite", "go ponder wtime 600000 btime 600000", "go infinite"};
  const char* nextCommand[] = {"position startpos moves e2e4", "setoption name Hash value 32", "ucinewgame",
                               "go depth 1"};
  for (int i = 0; i < 4; ++i) {
    const std::string what = std::string(runningGo[i]) + ", then " + nextCommand[i];
    sendLine(&p, runningGo[i]);
    readUntil(&p, "info depth", ReplyMs);
    // The running search's move comes as promptly as after a "stop"; the
    // command's own work (a new table, say) is then done before "readyok".
    std::vector<std::string> lines = sendAndRead(&p, nextCommand[i], "bestmove", &elapsed);
    EXPECT_LE(elapsed, PromptMs) << what;
    sendLine(&p, "isready");
    for (const std::string& line : readUntil(&p, "readyok", ReplyMs)) lines.push_back(line);
    EXPECT_EQ(lastLine(lines), "readyok") << what;
    const int moves = i == 3 ? 2 : 1;
    if (countPrefix(lines, "bestmove") < moves)
      for (const std::string& line : readUntil(&p, "bestmove", ReplyMs)) lines.push_back(line);
    EXPECT_EQ(countPrefix(lines, "bestmove"), moves) << what;
    for (const std::string& line : lines) {
      if (line.rfind("bestmove ", 0) != 0) continue;
      EXPECT_TRUE(reference::isLegal(afterE4, moveOfText(afterE4, bestMoveText({line})))) << what << ": " << line;
    }
  }

  // "quit" during a search that only a stop could end.
  sendLine(&p, "go depth 40");
  readUntil(&p, "info depth", ReplyMs);
  const long long quitAt = nowMs();
  sendLine(&p, "quit");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
  EXPECT_LE(nowMs() - quitAt, PromptMs);
}

// A refused position changes nothing: after a re-initialisation (a new hash
// size rebuilds the engine's board) the engine still searches the game the
// mirror holds and answers with a legal Black reply to 1.e4 after its
// information lines; a stop then still gets its move and the program goes
// on. Contempt beyond its range is bounded: scores stay scores.
TEST(UciEngine, RefusedPositionAndReinitialisationKeepEngineAndMirrorInStep) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  sendLine(&p, "setoption name Threads value 1");
  const reference::Grid afterE4 = reference::playOnGrid(reference::gridFromFullFen(startFen), 0x3414);
  sendLine(&p, "position startpos moves e2e4");
  sendLine(&p, "position fen 8/8/8/8/8/8/8/8 w - - 0 1");
  sendLine(&p, "setoption name Hash value 32");
  sendLine(&p, "go depth 4");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  EXPECT_EQ(countPrefix(lines, "info string Illegal position"), 1);
  EXPECT_GE(countPrefix(lines, "info depth 4 score"), 1);
  expectOneLegalBestMove(lines, afterE4, "go depth 4 after the refused position");

  sendLine(&p, "go infinite");
  readUntil(&p, "info depth", ReplyMs);
  long long elapsed = 0;
  expectOneLegalBestMove(sendAndRead(&p, "stop", "bestmove", &elapsed), afterE4, "stopped analysis");
  EXPECT_LE(elapsed, PromptMs);
  sendLine(&p, "position startpos");
  EXPECT_EQ(lastLine(sendAndRead(&p, "isready", "readyok", &elapsed)), "readyok");

  // Both ends of the range, from values far beyond it.
  const reference::Grid start = reference::gridFromFullFen(startFen);
  for (const char* contempt : {"99999999999", "-99999999999"}) {
    sendLine(&p, std::string("setoption name Contempt value ") + contempt);
    sendLine(&p, "go depth 5");
    lines = readUntil(&p, "bestmove", ReplyMs);
    expectOneLegalBestMove(lines, start, contempt);
    for (const std::string& line : lines) {
      size_t at = line.find(" score cp ");
      if (at == std::string::npos) continue;
      // An even opening's score, moved by at most twice the largest contempt.
      EXPECT_LE(std::abs(std::atoi(line.c_str() + at + 10)), 1500) << line;
    }
  }
  sendLine(&p, "quit");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciEngine, SelfPlayGamesStayLegal) {
  UciProcess players[2];
  START_REAL_ENGINE(players[0], ReplyMs);
  START_REAL_ENGINE(players[1], ReplyMs);
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
