// Search control over pipes with the real quillon_uci and the stand-in
// engine module: what "go" hands the engine, the information lines and the
// single "bestmove" of each search, stops passed on at once,
// ponder hits, a "go" during a running search, and multi-line analysis.
// With the real module: a ponderhit is never lost, whatever came before,
// and a search that waits for "stop" or "ponderhit" answers at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helpers/cpu_pinning.h"
#include "helpers/start_real_engine.h"

using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::nowMs;
using testing_uci::readAvailable;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 10000;
constexpr int QuietMs = 300;

// A started program without a book, its start-up lines read.
void startReady(UciProcess* p) {
  ASSERT_TRUE(startUci(p, ModuleChoice::StubModule, testing_uci::pinnedToCpus(1)));
  sendLine(p, "setoption name OwnBook value false");
  sendLine(p, "isready");
  std::vector<std::string> lines = readUntil(p, "readyok", ReplyMs);
  ASSERT_FALSE(lines.empty());
  ASSERT_EQ(lines.back(), "readyok");
}

std::string lastLine(const std::vector<std::string>& lines) { return lines.empty() ? "" : lines.back(); }

int countPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
  return n;
}

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

TEST(UciSearch, ClockKeywordsReachTheEngineToTheMillisecondForTheSideToMove) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "go wtime 30000 btime 120000 winc 2000 binc 1000 movestogo 30");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "stub setTimeControl 6 30 30 2000 0");
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
  // The milliseconds past the seconds go in the extra word; a depth beside
  // the clock caps the engine's depth word for that search only.
  sendLine(&p, "go depth 7 wtime 999 btime 1999 winc 10 binc 10");
  std::vector<std::string> expected = {
      "stub setTimeControl 6 0 0 10 999",
      "stub setEngineParameters threads 1 contempt 0 clear 0 margin 100 depth 7",
      "stub think 1 0"};
  lines = readUntil(&p, "stub think", ReplyMs);
  EXPECT_EQ(lines, expected);
  lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "stub setEngineParameters threads 1 contempt 0 clear 0 margin 100 depth 60");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciSearch, MoveTimeEndsThroughTheSearchTimer) {
  UciProcess p;
  startReady(&p);
  long long start = nowMs();
  sendLine(&p, "go movetime 300");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  long long elapsed = nowMs() - start;
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "stub setTimeControl 4 300 0 0 0");
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
  EXPECT_EQ(countPrefix(lines, "bestmove"), 1);
  EXPECT_GE(elapsed, 290);
  EXPECT_LT(elapsed, 1500);
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

TEST(UciSearch, StopDuringAnalysisIsAnsweredPromptly) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "go infinite");
  readUntil(&p, "info depth 3 score", ReplyMs);
  long long start = nowMs();
  sendLine(&p, "stop");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  EXPECT_LT(nowMs() - start, 300);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
  EXPECT_EQ(countPrefix(lines, "stub stopThinking"), 1);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciSearch, PonderHitTurnsThePonderSearchIntoATimedOne) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "go ponder wtime 10000 btime 10000");
  std::vector<std::string> lines = readUntil(&p, "info depth 2 score", ReplyMs);
  EXPECT_EQ(countPrefix(lines, "bestmove"), 0);
  sendLine(&p, "ponderhit");
  lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(countPrefix(lines, "stub ponderHit"), 1);
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciSearch, GoDuringAnAnalysisEndsItFirst) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "go infinite");
  readUntil(&p, "info depth 2 score", ReplyMs);
  sendLine(&p, "go depth 1");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(countPrefix(lines, "stub stopThinking"), 1);
  lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(countPrefix(lines, "stub setTimeControl 0 1 0 0 0"), 1);
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
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

TEST(UciSearch, GoAsTheFirstCommandStartsTheEngine) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "go depth 1");
  std::vector<std::string> lines = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(countPrefix(lines, "stub initEngine"), 1);
  EXPECT_EQ(countPrefix(lines, "stub setEnginePosition rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 1);
  EXPECT_EQ(lines.back(), "bestmove g1f3 ponder g8f6");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciSearch, NewGameClearsTheEngineTable) {
  UciProcess p;
  startReady(&p);
  sendLine(&p, "ucinewgame");
  sendLine(&p, "isready");
  std::vector<std::string> lines = readUntil(&p, "readyok", ReplyMs);
  EXPECT_EQ(countPrefix(lines, "stub clearEngineHash"), 1);
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
