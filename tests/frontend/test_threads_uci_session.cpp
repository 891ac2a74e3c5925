// Sessions of the real quillon_uci over pipes. A busy one, with the command
// worker, the timer thread and the stand-in engine's reports all running:
// searches started, stopped, pondered, replaced and resized under them.
// Under the sanitizer builds a race or memory error ends the program at
// once, so the exit status (1 only after a clean "quit") tells. Then the
// real engine on "Threads 1": the same search in a new game, in one
// process and in others, counts the same nodes and finds the same line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "helpers/start_real_engine.h"
#include "helpers/uci_session.h"

using testing_uci::countPrefix;
using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::readUntil;
using testing_uci::sendAndRead;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {
constexpr int ReplyMs = 20000;

// What follows `key` in an "info" line: the count after "nodes", the whole
// line of moves after "pv" (times and speeds differ from run to run).
std::string wordsAfter(const std::string& line, const std::string& key) {
  const size_t at = line.find(" " + key + " ");
  if (at == std::string::npos) return "";
  const size_t from = at + key.size() + 2;
  const size_t end = key == "nodes" ? line.find(' ', from) : std::string::npos;
  return line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// What a depth search from a new game shows that must repeat: the node
// count and the line of its last "info" line, and its "bestmove" line.
std::string searchSignature(UciProcess* p) {
  sendLine(p, "ucinewgame");
  sendLine(p, "position startpos");
  long long elapsed = 0;
  std::vector<std::string> lines = sendAndRead(p, "go depth 9", "bestmove", ReplyMs, &elapsed);
  std::string lastInfo;
  for (const std::string& line : lines)
    if (line.rfind("info depth ", 0) == 0 && line.find(" pv ") != std::string::npos) lastInfo = line;
  if (lines.empty() || lines.back().rfind("bestmove ", 0) != 0 || lastInfo.empty()) return "";
  return "nodes " + wordsAfter(lastInfo, "nodes") + " pv " + wordsAfter(lastInfo, "pv") + " / " + lines.back();
}
}  // namespace

TEST(UciSession, EverySearchEndsWithOneBestMoveUnderConcurrentCommands) {
  setenv("TSAN_OPTIONS", "halt_on_error=1", 1);
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "setoption name OwnBook value false");
  sendLine(&p, "setoption name MultiPV value 3");
  int searches = 0;
  for (int round = 0; round < 6; ++round) {
    sendLine(&p, "go infinite");
    sendLine(&p, "stop");
    sendLine(&p, "go movetime 30");
    sendLine(&p, "go ponder wtime 3000 btime 3000");
    sendLine(&p, "ponderhit");
    sendLine(&p, "go infinite");
    sendLine(&p, "setoption name Hash value " + std::to_string(8 + round));
    sendLine(&p, "go depth 3");
    sendLine(&p, "position startpos moves e2e4 e7e5");
    sendLine(&p, "go wtime 600 btime 600");
    sendLine(&p, "ucinewgame");
    searches += 6;
  }
  sendLine(&p, "isready");
  std::vector<std::string> lines = readUntil(&p, "readyok", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "readyok");
  EXPECT_EQ(countPrefix(lines, "bestmove "), searches);
  sendLine(&p, "quit");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// "Threads 1" searches on one thread, so a depth search repeats node for
// node: twice in one process (the new game clears what the first search
// left) and once in each of two more, the same count and the same line.
TEST(UciSession, OneThreadRepeatsItsSearchNodeForNode) {
  std::vector<std::string> signatures;
  for (int searches : {2, 1, 1}) {
    UciProcess p;
    START_REAL_ENGINE(p, ReplyMs);
    sendLine(&p, "setoption name Threads value 1");
    for (int i = 0; i < searches; ++i) signatures.push_back(searchSignature(&p));
    EXPECT_EQ(finishUci(&p, ReplyMs), 1);
  }
  ASSERT_FALSE(signatures[0].empty()) << "no line and best move from the first search";
  for (size_t i = 1; i < signatures.size(); ++i) EXPECT_EQ(signatures[i], signatures[0]) << "search " << i;
}
