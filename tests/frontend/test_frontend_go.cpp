// The "go" keywords as they become the think line's numbers, and the
// error lines for unsupported or incomplete keywords, including the
// combinations and out-of-range values the pipe transcripts do not send.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frontend/search_control.h"
#include "frontend/uci_loop.h"
#include "frontend/worker.h"

namespace {

struct Parsed {
  frontend::ThinkRequest request;
  std::string output;
};

Parsed parseGo(const std::string& line, int32_t contempt = 0) {
  static char copy[frontend::LineBytes];
  static char* tokens[frontend::MaxTokens];
  std::snprintf(copy, sizeof(copy), "%s", line.c_str());
  int32_t count = frontend::splitTokens(copy, tokens, frontend::MaxTokens);
  testing::internal::CaptureStdout();
  Parsed parsed;
  parsed.request = frontend::parseGoTokens(line.c_str(), tokens, count, contempt);
  parsed.output = testing::internal::GetCapturedStdout();
  return parsed;
}

std::vector<int32_t> numbers(const frontend::ThinkRequest& r) {
  return {r.mode, r.type, r.whiteTime, r.blackTime, r.movesToGo, r.whiteIncrement, r.blackIncrement, r.depthLimit};
}

}  // namespace

// Each "go" line with the think line's numbers (mode, type, white and black
// time, moves to go, white and black increment, depth limit) and the error
// lines it prints. Clocks stay in milliseconds; a move time wins over clocks
// in either order; a depth beside a clock or a move time is a limit, the
// last number; out-of-range values are clamped; unsupported or incomplete
// keywords give an error line each and the rest of the line still counts.
TEST(GoCommand, KeywordsBecomeTheThinkLine) {
  using frontend::ModeInfinite;
  using frontend::ModeNormal;
  using frontend::ModePonder;
  using frontend::TypeAnalysis;
  using frontend::TypeClock;
  using frontend::TypeDepth;
  using frontend::TypeMoveTime;
  struct Case {
    const char* line;
    std::vector<int32_t> think;
    const char* output;
  };
  const Case cases[] = {
      {"go", {ModeNormal, TypeClock, 0, 0, 0, 0, 0, 0}, ""},
      {"go wtime 300000 btime 299999 winc 2000 binc 2999",
       {ModeNormal, TypeClock, 300000, 299999, 0, 2000, 2999, 0}, ""},
      {"go  wtime  999 movestogo 40", {ModeNormal, TypeClock, 999, 0, 40, 0, 0, 0}, ""},
      {"go movetime 5000", {ModeNormal, TypeMoveTime, 5000, 5000, 0, 0, 0, 0}, ""},
      {"go depth 8", {ModeNormal, TypeDepth, 8, 8, 0, 0, 0, 0}, ""},
      {"go infinite", {ModeInfinite, TypeAnalysis, 60, 60, 0, 0, 0, 0}, ""},
      {"go ponder wtime 60000 btime 30000", {ModePonder, TypeClock, 60000, 30000, 0, 0, 0, 0}, ""},
      {"go infinite ponder", {ModePonder, TypeAnalysis, 60, 60, 0, 0, 0, 0}, ""},
      {"go movetime 200 wtime 60000 btime 60000", {ModeNormal, TypeMoveTime, 200, 200, 0, 0, 0, 0}, ""},
      {"go wtime 60000 btime 60000 movetime 200", {ModeNormal, TypeMoveTime, 200, 200, 0, 0, 0, 0}, ""},
      {"go wtime 2000 btime 2000 depth 30", {ModeNormal, TypeClock, 2000, 2000, 0, 0, 0, 30}, ""},
      {"go depth 30 wtime 2000 btime 2000", {ModeNormal, TypeClock, 2000, 2000, 0, 0, 0, 30}, ""},
      {"go depth 8 movetime 100", {ModeNormal, TypeMoveTime, 100, 100, 0, 0, 0, 8}, ""},
      {"go depth 8 winc 1000 movestogo 5", {ModeNormal, TypeDepth, 8, 8, 5, 1000, 0, 0}, ""},
      {"go wtime -5000 btime 100000", {ModeNormal, TypeClock, 0, 100000, 0, 0, 0, 0}, ""},
      {"go winc -1000 binc -7000 movestogo -3", {ModeNormal, TypeClock, 0, 0, 0, 0, 0, 0}, ""},
      {"go depth -4", {ModeNormal, TypeDepth, 1, 1, 0, 0, 0, 0}, ""},
      {"go movetime 0", {ModeNormal, TypeMoveTime, 1, 1, 0, 0, 0, 0}, ""},
      {"go wtime 99999999999999", {ModeNormal, TypeClock, 2147483647, 0, 0, 0, 0, 0}, ""},
      {"go searchmoves e2e4 d2d4 depth 5", {ModeNormal, TypeDepth, 5, 5, 0, 0, 0, 0},
       "info string Error (unsupported option searchmoves): go searchmoves e2e4 d2d4 depth 5\n"},
      {"go depth", {ModeNormal, TypeClock, 0, 0, 0, 0, 0, 0}, "info string Error (missing argument): go depth\n"},
      {"go mate 3 nodes 1000", {ModeNormal, TypeClock, 0, 0, 0, 0, 0, 0},
       "info string Error (unsupported option mate): go mate 3 nodes 1000\n"
       "info string Error (unsupported option nodes): go mate 3 nodes 1000\n"},
      {"go nodes", {ModeNormal, TypeClock, 0, 0, 0, 0, 0, 0}, "info string Error (missing argument): go nodes\n"},
  };
  for (const Case& c : cases) {
    Parsed p = parseGo(c.line);
    EXPECT_EQ(numbers(p.request), c.think) << c.line;
    EXPECT_EQ(p.output, c.output) << c.line;
  }
}

// Contempt rides along with every search but infinite analysis.
TEST(GoCommand, InfiniteAnalysisDropsTheContempt) {
  EXPECT_EQ(parseGo("go infinite", 25).request.contempt, 0);
  EXPECT_EQ(parseGo("go depth 3", 25).request.contempt, 25);
}
