// Search control over pipes with the real quillon_uci and the stand-in
// engine module: what each "go" line hands the engine (with its error
// lines), the information lines and the single "bestmove" of each search,
// a stop before any line, multi-line analysis and contempt.
// With the real module: a ponderhit is never lost, whatever came before,
// and a search that waits for "stop" or "ponderhit" answers at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helpers/cpu_pinning.h"
#include "helpers/start_real_engine.h"
#include "helpers/uci_session.h"

using testing_uci::countPrefix;
using testing_uci::finishUci;
using testing_uci::lastLine;
using testing_uci::nowMs;
using testing_uci::readAvailable;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 10000;
constexpr int QuietMs = 300;

// A started program without a book on one processor, its start-up lines
// read.
void startReady(UciProcess* p) { ASSERT_TRUE(testing_uci::startStubSession(p, testing_uci::pinnedToCpus(1))); }

}  // namespace

TEST(UciSearch, DepthSearchReportsEachDepthAndOneBestMove) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "go depth 2");
  std::vector<std::string> expected = {
      "stub setTimeControl 0 2 0 0 0",
      "stub think 1 0",
      "info depth 1 nodes 0",
      "info depth 1 score cp 20 nodes 1000 nps 1000000 tbhits 0 time 1 hashfull 3 multipv 1 pv  g1f3 g8f6",
      "info depth 2 nodes 1000",
      "info depth 2 score cp 20 nodes 2000 nps 1000000 tbhits 0 time 2 hashfull 3 multipv 1 pv  g1f3 g8f6",
      "bestmove g1f3 ponder g8f6"};
  EXPECT_EQ(readUntil(&p, "bestmove", ReplyMs), expected);
  EXPECT_TRUE(readAvailable(&p, QuietMs).empty());
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// Each "go" line and what reaches the engine before its search: the error
// lines, the time control (type, the side to move's clock in seconds, moves
// to go, its increment in milliseconds, the clock's milliseconds past the
// seconds), a depth limit beside a clock or a move time (for that search
// only), and the think call (lines, mode). A move time wins over clocks in
// either order; out-of-range values are clamped; unsupported or incomplete
// keywords give an error line each and the rest of the line still counts.
TEST(UciSearch, GoKeywordsReachTheEngine) {
  const std::string limited = "stub setEngineParameters threads 1 contempt 0 clear 0 margin 100 depth ";
  const std::string unlimited = limited + "60";
  struct Case {
    const char* line;
    std::vector<std::string> engine;  // up to the think call
  };
  const Case white[] = {
      {"go", {"stub setTimeControl 6 0 0 0 0", "stub think 1 0"}},
      {"go wtime 300000 btime 299999 winc 2000 binc 2999", {"stub setTimeControl 6 300 0 2000 0", "stub think 1 0"}},
      {"go wtime 30000 btime 120000 winc 2000 binc 1000 movestogo 30",
       {"stub setTimeControl 6 30 30 2000 0", "stub think 1 0"}},
      {"go  wtime  999 movestogo 40", {"stub setTimeControl 6 0 40 0 999", "stub think 1 0"}},
      {"go movetime 5000", {"stub setTimeControl 4 5000 0 0 0", "stub think 1 0"}},
      {"go depth 8", {"stub setTimeControl 0 8 0 0 0", "stub think 1 0"}},
      {"go infinite", {"stub setTimeControl 1 60 0 0 0", "stub think 1 2"}},
      {"go ponder wtime 60000 btime 30000", {"stub setTimeControl 6 60 0 0 0", "stub think 1 1"}},
      {"go infinite ponder", {"stub setTimeControl 1 60 0 0 0", "stub think 1 1"}},
      {"go movetime 200 wtime 60000 btime 60000", {"stub setTimeControl 4 200 0 0 0", "stub think 1 0"}},
      {"go wtime 60000 btime 60000 movetime 200", {"stub setTimeControl 4 200 0 0 0", "stub think 1 0"}},
      {"go wtime 2000 btime 2000 depth 30", {"stub setTimeControl 6 2 0 0 0", limited + "30", "stub think 1 0"}},
      {"go depth 30 wtime 2000 btime 2000", {"stub setTimeControl 6 2 0 0 0", limited + "30", "stub think 1 0"}},
      {"go depth 7 wtime 999 btime 1999 winc 10 binc 10",
       {"stub setTimeControl 6 0 0 10 999", limited + "7", "stub think 1 0"}},
      {"go depth 8 movetime 100", {"stub setTimeControl 4 100 0 0 0", limited + "8", "stub think 1 0"}},
      {"go depth 8 winc 1000 movestogo 5", {"stub setTimeControl 0 8 5 1000 0", "stub think 1 0"}},
      {"go wtime -5000 btime 100000", {"stub setTimeControl 6 0 0 0 0", "stub think 1 0"}},
      {"go winc -1000 binc -7000 movestogo -3", {"stub setTimeControl 6 0 0 0 0", "stub think 1 0"}},
      {"go depth -4", {"stub setTimeControl 0 1 0 0 0", "stub think 1 0"}},
      {"go movetime 0", {"stub setTimeControl 4 1 0 0 0", "stub think 1 0"}},
      {"go wtime 99999999999999", {"stub setTimeControl 6 2147483 0 0 647", "stub think 1 0"}},
      {"go searchmoves e2e4 d2d4 depth 5",
       {"info string Error (unsupported option searchmoves): go searchmoves e2e4 d2d4 depth 5",
        "stub setTimeControl 0 5 0 0 0", "stub think 1 0"}},
      {"go depth", {"info string Error (missing argument): go depth", "stub setTimeControl 6 0 0 0 0", "stub think 1 0"}},
      {"go mate 3 nodes 1000",
       {"info string Error (unsupported option mate): go mate 3 nodes 1000",
        "info string Error (unsupported option nodes): go mate 3 nodes 1000", "stub setTimeControl 6 0 0 0 0",
        "stub think 1 0"}},
      {"go nodes", {"info string Error (missing argument): go nodes", "stub setTimeControl 6 0 0 0 0", "stub think 1 0"}},
  };
  // Black to move takes Black's clock and increment.
  const Case black[] = {
      {"go wtime 30000 btime 120000 winc 2000 binc 1000 movestogo 30",
       {"stub setTimeControl 6 120 30 1000 0", "stub think 1 0"}},
      {"go wtime 999 btime 1999 winc 10 binc 10", {"stub setTimeControl 6 1 0 10 999", "stub think 1 0"}},
  };
  UciProcess p;
  startReady(&p);
  auto run = [&](const Case& c) {
    sendLine(&p, c.line);
    EXPECT_EQ(readUntil(&p, "stub think", ReplyMs), c.engine) << c.line;
    // Whatever the search, "stop" ends it with one move; a depth limit
    // is lifted again once the search is over, and only then.
    sendLine(&p, "stop");
    std::vector<std::string> rest = readUntil(&p, "bestmove", ReplyMs);
    EXPECT_EQ(countPrefix(rest, "bestmove "), 1) << c.line;
    for (const std::string& line : testing_uci::answerBeforeReady(&p, {})) rest.push_back(line);
    EXPECT_EQ(countPrefix(rest, "stub setEngineParameters"), countPrefix(c.engine, limited)) << c.line;
    EXPECT_EQ(countPrefix(rest, unlimited), countPrefix(c.engine, limited)) << c.line;
  };
  for (const Case& c : white) run(c);
  testing_uci::answerBeforeReady(&p, {"position startpos moves e2e4"});
  for (const Case& c : black) run(c);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// A stop before the search's first line reaches the engine at once, never
// held back for a line (the stand-in's first comes 150 ms after its think
// began): the stand-in reports nothing after it, and the
// worker answers with the position's first legal move.
TEST(UciSearch, StopBeforeTheFirstLineReachesTheEngineAtOnce) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "go infinite");
  sendLine(&p, "stop");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  // The stop may reach the engine before or after the worker's think call.
  std::vector<std::string> sorted(lines);
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> expected = {"bestmove a2a4", "stub setTimeControl 1 60 0 0 0", "stub stopThinking",
                                       "stub think 1 2"};
  EXPECT_EQ(sorted, expected);
  EXPECT_EQ(lines.back(), "bestmove a2a4");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciSearch, MultiPvAnalysisShowsEveryLineAndPlaysTheFirst) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "setoption name MultiPV value 3");
  sendLine(&p, "go infinite");
  std::vector<std::string> lines = readUntil(&p, "info depth 2 score cp 6", ReplyMs);
  EXPECT_EQ(countPrefix(lines, "stub think 3 2"), 1);
  EXPECT_EQ(countPrefix(lines, "info depth 1 score cp 20 nodes 1000 nps 1000000 tbhits 0 time 1 hashfull 3 multipv 1 pv  g1f3 g8f6"), 1);
  EXPECT_EQ(countPrefix(lines, "info depth 1 score cp 13 nodes 1000 nps 1000000 tbhits 0 time 1 hashfull 3 multipv 2 pv  b1c3 b8c6"), 1);
  EXPECT_EQ(countPrefix(lines, "info depth 1 score cp 6 nodes 1000 nps 1000000 tbhits 0 time 1 hashfull 3 multipv 3 pv  e2e4 e7e5"), 1);
  sendLine(&p, "stop");
  lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
  // A normal search shows one line only.
  sendLine(&p, "go depth 1");
  lines = readUntil(&p, "bestmove", ReplyMs);
  EXPECT_EQ(countPrefix(lines, "stub think 1 0"), 1);
  EXPECT_EQ(countPrefix(lines, "info depth 1 score"), 1);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciSearch, ContemptIsTakenOffShownScoresExceptInAnalysis) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "setoption name Contempt value 15");
  sendLine(&p, "go depth 1");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  EXPECT_EQ(countPrefix(lines, "info depth 1 score cp 5 "), 1);
  sendLine(&p, "go infinite");
  lines = readUntil(&p, "info depth 1 score", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("info depth 1 score cp 20 ", 0), 0u);
  sendLine(&p, "stop");
  readUntil(&p, "bestmove", ReplyMs);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// A GUI's "stop" that crossed the bestmove reaches an idle engine; the
// ponder search that follows must still be put on its clock by a ponderhit
// sent at once, in every run.
TEST(UciSearch, PonderHitAfterAStopThatCrossedTheBestMoveIsNeverLost) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  constexpr int Runs = 20;
  constexpr long long ClockMs = 2000;
  for (int run = 0; run < Runs; ++run) {
    sendLine(&p, "position startpos moves e2e4");
    sendLine(&p, "go movetime 20");
    ASSERT_EQ(lastLine(readUntil(&p, "bestmove", ReplyMs)).rfind("bestmove", 0), 0u);
    sendLine(&p, "stop");
    sendLine(&p, "isready");
    ASSERT_EQ(lastLine(readUntil(&p, "readyok", ReplyMs)), "readyok");
    sendLine(&p, "position startpos moves e2e4 e7e5 g1f3");
    sendLine(&p, "go ponder wtime 2000 btime 2000");
    long long elapsed = 0;
    std::string last = lastLine(sendAndRead(&p, "ponderhit", "bestmove", int(ClockMs), &elapsed));
    ASSERT_EQ(last.rfind("bestmove", 0), 0u) << "run " << run << ": no bestmove within the clock";
    EXPECT_LT(elapsed, ClockMs) << "run " << run;
  }
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// A ponder or infinite search that reached its depth limit waits for
// "ponderhit" or "stop", and answers as soon as one comes.
TEST(UciSearch, FinishedPonderOrAnalysisAnswersAtOnce) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  // The weakest level searches three plies and is over in moments.
  sendLine(&p, "setoption name UCI_LimitStrength value true");
  sendLine(&p, "setoption name UCI_ELO value 1200");
  constexpr int Runs = 10;
  constexpr long long PromptMs = 30;
  int prompt = 0;
  for (int run = 0; run < Runs; ++run) {
    const bool ponder = run % 2 == 0;
    sendLine(&p, ponder ? "go ponder wtime 60000 btime 60000" : "go infinite");
    // The search is over once it prints nothing more for a while; the wait
    // varies, so that the command comes at every phase of a polling wait.
    std::vector<std::string> lines = readAvailable(&p, QuietMs + 10 * run);
    ASSERT_EQ(countPrefix(lines, "bestmove"), 0);
    long long start = nowMs();
    sendLine(&p, ponder ? "ponderhit" : "stop");
    ASSERT_EQ(lastLine(readUntil(&p, "bestmove", ReplyMs)).rfind("bestmove", 0), 0u);
    prompt += nowMs() - start <= PromptMs;
  }
  // A 100 ms poll would answer within the bound in about a third of runs.
  EXPECT_GE(prompt, Runs - 2);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
