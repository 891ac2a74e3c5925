// A busy session of the real quillon_uci over pipes, with the command
// worker, the timer thread and the stand-in engine's reports all running:
// searches started, stopped, pondered, replaced and resized under them.
// Under the sanitizer builds a race or memory error ends the program at
// once, so the exit status (1 only after a clean "quit") tells.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "helpers/uci_process.h"

using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {
constexpr int ReplyMs = 20000;

int countPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
  return n;
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
