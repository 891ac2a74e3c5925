// quillon_uci with the real engine module over pipes: depth, move-time and
// clock searches, sudden-death games under a GUI's lag, "Clear_hash" on a
// large table, promotions written in lower case, a stop after every kind of
// "go" answered at once with no command left waiting behind a search, with
// every best move (and every current move, with its number) checked against
// the plain 8x8 reference's legal moves.
// The build makes the module: when it does not load, these tests fail with
// the loader's reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/control/move.h"
#include "helpers/reference_legal.h"
#include "helpers/start_real_engine.h"
#include "helpers/uci_session.h"

using testing_uci::bestMoveText;
using testing_uci::countPrefix;
using testing_uci::finishUci;
using testing_uci::lastLine;
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
// The least reply time a clock is held to: the pipes, the process switches
// and the search's start. They take a few milliseconds, but a single reply
// was seen at 102 ms on a shared machine running the whole suite: a clock
// below this time is held to it in the median of its replies, and each
// reply only to the prompt answer of a stop. More in the slow builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(__i386__)
constexpr long long TypicalLatencyMs = 100;
#else
constexpr long long TypicalLatencyMs = 25;
#endif

// The engine Move of a "bestmove" text for the side to move of `grid`.
engine::Move moveOfText(const reference::Grid& grid, const std::string& text) {
  if (text.size() < 4) return engine::noMove;
  int32_t from = (text[1] - '1') * 16 + (text[0] - 'a');
  int32_t to = (text[3] - '1') * 16 + (text[2] - 'a');
  int32_t piece = engine::PromoteQueen;
  if (text.size() == 5) {
    if (text[4] == 'r') piece = engine::PromoteRook;
    if (text[4] == 'b') piece = engine::PromoteBishop;
    if (text[4] == 'n') piece = engine::PromoteKnight;
  }
  int32_t toByte = piece == engine::PromoteQueen ? to : engine::underPromotionByte(to, piece, grid.side);
  return engine::makeMove16(from, toByte);
}

// The reference's grid after the start position and `moves` (coordinate
// texts, one blank between them).
reference::Grid gridAfter(const std::string& moves) {
  reference::Grid grid = reference::gridFromFullFen(startFen);
  for (size_t at = 0; at + 4 <= moves.size(); at += 5)
    grid = reference::playOnGrid(grid, moveOfText(grid, moves.substr(at, 4)));
  return grid;
}

// The node count of the last line that scores the search.
long long lastNodeCount(const std::vector<std::string>& lines) {
  long long nodes = -1;
  for (const std::string& line : lines)
    if (line.find(" score ") != std::string::npos) nodes = testing_uci::infoNumber(line, "nodes", -1);
  return nodes;
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

// Every move the engine writes in coordinate form carries its promotion
// letter in lower case, as the protocol has it: the best move and the
// ponder move, the moves of a principal variation and the current moves
// (all four promotions of the pawn among them). A GUI that forwards the
// move to another program, or a board library that checks it, refuses an
// upper-case letter.
TEST(UciEngine, PromotionsAreWrittenInLowerCase) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  // White promotes; Black's best reply is a promotion with check.
  sendLine(&p, "position fen 8/4P3/8/8/8/8/k2p4/7K w - - 0 1");
  sendLine(&p, "go depth 8");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "bestmove e7e8q ponder d2d1q");
  std::vector<std::string> currentPromotions;
  bool variationPromotes = false;
  for (const std::string& line : lines) {
    std::vector<std::string> texts;  // the move texts of the line
    if (line.rfind("info currmove ", 0) == 0) {
      texts.push_back(line.substr(14, line.find(' ', 14) - 14));
      if (texts.back().size() == 5) currentPromotions.push_back(texts.back());
    } else if (line.find(" pv ") != std::string::npos) {
      std::string rest = line.substr(line.find(" pv ") + 4);
      for (size_t at = 0; at < rest.size();) {
        size_t end = rest.find(' ', at);
        if (end == std::string::npos) end = rest.size();
        if (end > at) texts.push_back(rest.substr(at, end - at));
        at = end + 1;
      }
      variationPromotes = variationPromotes || rest.find("e7e8q d2d1q") != std::string::npos;
    }
    for (const std::string& text : texts) {
      if (text.size() == 5) {
        EXPECT_NE(std::string("qrbn").find(text[4]), std::string::npos) << line;
      }
    }
  }
  EXPECT_TRUE(variationPromotes);
  std::sort(currentPromotions.begin(), currentPromotions.end());
  currentPromotions.erase(std::unique(currentPromotions.begin(), currentPromotions.end()), currentPromotions.end());
  EXPECT_EQ(currentPromotions, (std::vector<std::string>{"e7e8b", "e7e8n", "e7e8q", "e7e8r"}));
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// Every "info currmove" names a legal move of the searched position, and a
// search counts its moves from 1, never beyond the legal move count, also
// when the search before it was of another position. The positions have
// pinned pieces and king moves onto attacked squares, moves that are
// pseudo-legal but leave the king in check.
TEST(UciEngine, CurrentMovesAreLegalAndCountedFromOneInEverySearch) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  const char* fens[] = {"4k3/4r3/8/8/1b6/8/3NB3/4K3 w - - 0 1", "3k4/8/8/3q4/8/2B5/3R4/3K2r1 w - - 0 1",
                        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                        "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", "4k3/8/8/8/8/2n5/3q4/R3K2R w KQ - 0 1"};
  for (int run = 0; run < 10; ++run) {
    const std::string fen = fens[run % 5];
    const reference::Grid grid = reference::gridFromFullFen(fen);
    const int legalCount = int(reference::legalMoves(grid).size());
    sendLine(&p, "position fen " + fen);
    sendLine(&p, "go depth " + std::to_string(5 + run % 3));
    bool first = true;
    for (const std::string& line : readUntil(&p, "bestmove", ReplyMs)) {
      if (line.rfind("info currmove ", 0) != 0) continue;
      char text[8] = {};
      int number = 0;
      ASSERT_EQ(std::sscanf(line.c_str(), "info currmove %7s currmovenumber %d", text, &number), 2) << line;
      EXPECT_TRUE(reference::isLegal(grid, moveOfText(grid, text))) << fen << ": " << line;
      if (first) {
        EXPECT_EQ(number, 1) << fen << ": the first " << line;
      }
      EXPECT_GE(number, 1) << fen << ": " << line;
      EXPECT_LE(number, legalCount) << fen << ": " << line;
      first = false;
    }
    EXPECT_FALSE(first) << fen << ": no current move shown";
  }
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// The deepest iteration that reported a principal variation.
static int deepestPvDepth(const std::vector<std::string>& lines) {
  int deepest = 0;
  for (const std::string& line : lines)
    if (line.rfind("info depth ", 0) == 0 && line.find(" pv ") != std::string::npos)
      deepest = std::max(deepest, std::atoi(line.c_str() + 11));
  return deepest;
}

// Clocks from a millisecond to two seconds, with and without increment, on
// both sides, the positions searched again and again so that the table
// warms up: no reply comes later than the side's clock (a clock of a few
// milliseconds is held to the usual latency of the pipes and the process).
// Without moves to go such a clock is what the lag of the game's coming
// moves will cost, and the move is played at once; with moves to go a
// clock under a second is used, not answered at the first depths.
TEST(UciEngine, ShortClocksAreUsedAndNeverOverrun) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  sendLine(&p, "setoption name Threads value 1");
  const char* games[] = {"", "e2e4 e7e5 g1f3 b8c6 f1b5", "d2d4 d7d5 c2c4 e7e6 b1c3 g8f6"};
  const int clocks[] = {1, 20, 100, 200, 900, 1999};
  std::vector<double> shares;  // time used / clock, for clocks under a second
  std::vector<long long> tiny;  // reply times for clocks under the typical latency
  // The second round finds the table warm, and has an increment.
  for (int increment : {0, 100}) {
    for (const char* moves : games) {
      const std::string list = moves;
      const reference::Grid grid = gridAfter(list);
      for (int clock : clocks) {
        sendLine(&p, "position startpos" + (list.empty() ? std::string() : " moves " + list));
        const std::string go = "go wtime " + std::to_string(clock) + " btime " + std::to_string(clock) + " winc " +
                               std::to_string(increment) + " binc " + std::to_string(increment);
        long long elapsed = 0;
        std::vector<std::string> lines = sendAndRead(&p, go, "bestmove", ReplyMs, &elapsed);
        const std::string what = go + " after \"" + list + "\"";
        expectOneLegalBestMove(lines, grid, what);
        EXPECT_LT(elapsed, clock < TypicalLatencyMs ? PromptMs : clock) << what;
        if (clock < TypicalLatencyMs) tiny.push_back(elapsed);
        if (clock != 200 && clock != 900) continue;
        const std::string toGo = go + " movestogo 2";
        lines = sendAndRead(&p, toGo, "bestmove", ReplyMs, &elapsed);
        expectOneLegalBestMove(lines, grid, toGo);
        EXPECT_LT(elapsed, clock) << toGo;
        shares.push_back(double(elapsed) / clock);
      }
    }
  }
  std::sort(tiny.begin(), tiny.end());
  EXPECT_LT(tiny[tiny.size() / 2], TypicalLatencyMs);
  // Two moves to go leave a good part of the clock to this one.
  std::sort(shares.begin(), shares.end());
  EXPECT_GE(shares[shares.size() / 2], 0.05);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// A depth search ends at its depth; a move time is kept (the reply comes
// before it ends, with room for the GUI's lag, yet uses most of it); a
// clock is not spent on one move. A depth beside a clock limits the
// iterations and keeps the clock's timer; a move time is the move's time
// whatever clocks come with it, and a depth beside a move time limits it as
// well. (Either order of the words reaches the engine alike: the stand-in's
// "go" transcript checks that.)
TEST(UciEngine, DepthAndMoveTimeCombineWithClocks) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  sendLine(&p, "setoption name Threads value 1");
  const reference::Grid start = reference::gridFromFullFen(startFen);
  struct Combined {
    const char* go;
    int fewestPlies, mostPlies;  // of the deepest iteration
    long long leastMs, mostMs;   // of the reply
  };
  const Combined searches[] = {
      {"go depth 5", 5, 5, 0, ReplyMs},
      {"go movetime 500", 1, 60, 250, 500 + 150},
      {"go wtime 10000 btime 10000", 1, 60, 0, 4300 + 150},
      {"go wtime 2000 btime 2000 depth 30", 3, 30, 0, 1999},
      {"go wtime 600000 btime 600000 depth 4", 4, 4, 0, 1999},
      {"go movetime 5000 depth 4", 4, 4, 0, 1999},
      {"go wtime 60000 btime 60000 movetime 200", 1, 60, 100, 200 + PromptMs},
  };
  for (const Combined& search : searches) {
    sendLine(&p, "position startpos");
    long long elapsed = 0;
    std::vector<std::string> lines = sendAndRead(&p, search.go, "bestmove", ReplyMs, &elapsed);
    expectOneLegalBestMove(lines, start, search.go);
    EXPECT_GE(deepestPvDepth(lines), search.fewestPlies) << search.go;
    EXPECT_LE(deepestPvDepth(lines), search.mostPlies) << search.go;
    EXPECT_GE(elapsed, search.leastMs) << search.go;
    EXPECT_LE(elapsed, search.mostMs) << search.go;
  }
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// Sudden-death games of 120 moves a side on a 10-second clock, the engine
// playing both sides, each reply charged what it took over the pipes plus
// a GUI's lag of 50 ms (what xboard with polyglot, or a referee, charges):
// neither clock ever runs out. The lag alone costs 6 s of the 10; a plan
// that spends a share of the whole clock each move loses on time in the
// sixties. Every reply is a legal move of the reference, and "0000" comes
// only where it has none. A finished game (the program reports its result)
// is followed by a new one from another opening on the same clocks.
TEST(UciEngine, SuddenDeathUnderAGuiLagNeverRunsTheClockOutAndPlaysLegalMoves) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  sendLine(&p, "setoption name Threads value 1");
  constexpr long long GuiLagMs = 50;
  constexpr int MovesEach = 120;
  const char* openings[] = {"", "e2e4 c7c5", "d2d4 g8f6", "c2c4", "e2e4 e7e5", "b2b3", "f2f4", "g1f3"};
  long long clock[2] = {10000, 10000};  // White's, Black's
  int replies[2] = {0, 0};
  int games = 0;
  std::string moves = openings[0];
  reference::Grid grid = reference::gridFromFullFen(startFen);
  while (replies[0] < MovesEach || replies[1] < MovesEach) {
    const int mover = grid.side > 0 ? 0 : 1;
    sendLine(&p, "position startpos" + (moves.empty() ? std::string() : " moves " + moves));
    const std::string go = "go wtime " + std::to_string(clock[0]) + " btime " + std::to_string(clock[1]);
    long long elapsed = 0;
    std::vector<std::string> lines = sendAndRead(&p, go, "bestmove", ReplyMs, &elapsed);
    clock[mover] -= elapsed + GuiLagMs;
    replies[mover] += 1;
    ASSERT_GT(clock[mover], 0) << (mover == 0 ? "White" : "Black") << " ran out at its move " << replies[mover];
    const std::string text = bestMoveText(lines);
    const bool noMoves = reference::legalMoves(grid).empty();
    ASSERT_EQ(text == "0000", noMoves) << "after \"" << moves << "\": " << lastLine(lines);
    if (!noMoves) {
      const engine::Move move = moveOfText(grid, text);
      ASSERT_TRUE(reference::isLegal(grid, move)) << "after \"" << moves << "\": " << text;
      grid = reference::playOnGrid(grid, move);
    }
    if (noMoves || countPrefix(lines, "info string result") > 0) {
      moves = openings[++games % 8];
      grid = gridAfter(moves);
      continue;
    }
    moves += (moves.empty() ? "" : " ") + text;
  }
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// With "Clear_hash" on a table of 4 GB, every search starts on an empty
// table: the same search counts the same nodes as on the fresh table, also
// after other searches filled it (and without "Clear_hash" it finds their
// results and counts far fewer). And the reply still comes within the
// GUI's clock, also for a "go" sent the moment the last "bestmove" came:
// zeroing the table takes longer than a move of 5 or 20 ms. A fixed depth of six
// plies never splits, so one helper beside the main thread changes nothing.
TEST(UciEngine, ClearHashEmptiesALargeTableWithinTheClock) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  sendLine(&p, "setoption name Threads value 1");
  sendLine(&p, "setoption name Hash value 4095");
  sendLine(&p, "setoption name Clear_hash value true");
  long long elapsed = 0;
  ASSERT_EQ(lastLine(sendAndRead(&p, "isready", "readyok", ReplyMs, &elapsed)), "readyok");
  // The pipes' share of a reply.
  constexpr long long PipeSlackMs = 25;
  sendLine(&p, "position startpos moves e2e4 e7e5 g1f3");
  sendLine(&p, "go depth 6");
  const long long freshNodes = lastNodeCount(readUntil(&p, "bestmove", ReplyMs));
  ASSERT_GT(freshNodes, 0);
  for (int run = 0; run < 4; ++run) {
    const std::string what = "run " + std::to_string(run);
    sendLine(&p, run % 2 == 0 ? "go movetime 300" : "go depth 9");
    ASSERT_FALSE(bestMoveText(readUntil(&p, "bestmove", ReplyMs)).empty()) << what;
    for (const char* go : {"go movetime 20", "go wtime 300 btime 300", "go movetime 5"}) {
      const long long clockMs = std::atoll(std::strrchr(go, ' ') + 1);
      ASSERT_FALSE(bestMoveText(sendAndRead(&p, go, "bestmove", ReplyMs, &elapsed)).empty()) << what << ": " << go;
      EXPECT_LE(elapsed, clockMs + PipeSlackMs) << what << ": " << go;
    }
    sendLine(&p, "go depth 6");
    EXPECT_EQ(lastNodeCount(readUntil(&p, "bestmove", ReplyMs)), freshNodes) << what;
  }
  sendLine(&p, "setoption name Clear_hash value false");
  sendLine(&p, "go depth 6");
  EXPECT_LT(lastNodeCount(readUntil(&p, "bestmove", ReplyMs)), freshNodes / 2);
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
    std::vector<std::string> lines = sendAndRead(&p, "stop", "bestmove", ReplyMs, &elapsed);
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
  expectOneLegalBestMove(sendAndRead(&p, "stop", "bestmove", ReplyMs, &elapsed), start, "go depth 30");
  EXPECT_LE(elapsed, PromptMs);
  sendLine(&p, "position startpos moves e2e4");
  EXPECT_EQ(lastLine(sendAndRead(&p, "isready", "readyok", ReplyMs, &elapsed)), "readyok");
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
    std::vector<std::string> lines = sendAndRead(&p, nextCommand[i], "bestmove", ReplyMs, &elapsed);
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
