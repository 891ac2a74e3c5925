// The "go" keywords as they become the think line's numbers, and the
// error lines for unsupported or incomplete keywords.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frontend/search_control.h"
#include "frontend/uci_loop.h"

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

TEST(GoCommand, BareGoSearchesOnTheClockWithNothingGiven) {
  EXPECT_EQ(numbers(parseGo("go").request), (std::vector<int32_t>{0, 6, 0, 0, 0, 0, 0, 0}));
}

TEST(GoCommand, ClockValuesStayInMilliseconds) {
  Parsed p = parseGo("go wtime 300000 btime 299999 winc 2000 binc 2999");
  EXPECT_EQ(numbers(p.request), (std::vector<int32_t>{0, 6, 300000, 299999, 0, 2000, 2999, 0}));
  EXPECT_EQ(p.output, "");
  EXPECT_EQ(numbers(parseGo("go  wtime  999 movestogo 40").request), (std::vector<int32_t>{0, 6, 999, 0, 40, 0, 0, 0}));
}

TEST(GoCommand, MoveTimeDepthAndInfinite) {
  EXPECT_EQ(numbers(parseGo("go movetime 5000").request), (std::vector<int32_t>{0, 4, 5000, 5000, 0, 0, 0, 0}));
  EXPECT_EQ(numbers(parseGo("go depth 8").request), (std::vector<int32_t>{0, 0, 8, 8, 0, 0, 0, 0}));
  Parsed p = parseGo("go infinite", 25);
  EXPECT_EQ(numbers(p.request), (std::vector<int32_t>{2, 1, 60, 60, 0, 0, 0, 0}));
  EXPECT_EQ(p.request.contempt, 0);
  EXPECT_EQ(parseGo("go depth 3", 25).request.contempt, 25);
  EXPECT_EQ(numbers(parseGo("go ponder wtime 60000 btime 30000").request),
            (std::vector<int32_t>{1, 6, 60000, 30000, 0, 0, 0, 0}));
}

// A move time wins over clocks in either order; a depth beside a clock or a
// move time is a limit, the last number of the think line.
TEST(GoCommand, KeywordsCombineInAnyOrder) {
  for (const char* line : {"go movetime 200 wtime 60000 btime 60000", "go wtime 60000 btime 60000 movetime 200"})
    EXPECT_EQ(numbers(parseGo(line).request), (std::vector<int32_t>{0, 4, 200, 200, 0, 0, 0, 0})) << line;
  for (const char* line : {"go wtime 2000 btime 2000 depth 30", "go depth 30 wtime 2000 btime 2000"})
    EXPECT_EQ(numbers(parseGo(line).request), (std::vector<int32_t>{0, 6, 2000, 2000, 0, 0, 0, 30})) << line;
  EXPECT_EQ(numbers(parseGo("go depth 8 movetime 100").request), (std::vector<int32_t>{0, 4, 100, 100, 0, 0, 0, 8}));
  EXPECT_EQ(numbers(parseGo("go depth 8 winc 1000 movestogo 5").request),
            (std::vector<int32_t>{0, 0, 8, 8, 5, 1000, 0, 0}));
  EXPECT_EQ(numbers(parseGo("go infinite ponder").request), (std::vector<int32_t>{1, 1, 60, 60, 0, 0, 0, 0}));
}

TEST(GoCommand, OutOfRangeValuesAreClamped) {
  EXPECT_EQ(numbers(parseGo("go wtime -5000 btime 100000").request), (std::vector<int32_t>{0, 6, 0, 100000, 0, 0, 0, 0}));
  EXPECT_EQ(numbers(parseGo("go winc -1000 binc -7000 movestogo -3").request),
            (std::vector<int32_t>{0, 6, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(numbers(parseGo("go depth -4").request), (std::vector<int32_t>{0, 0, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(numbers(parseGo("go movetime 0").request), (std::vector<int32_t>{0, 4, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(numbers(parseGo("go wtime 99999999999999").request),
            (std::vector<int32_t>{0, 6, 2147483647, 0, 0, 0, 0, 0}));
}

TEST(GoCommand, UnsupportedAndIncompleteKeywordsGiveErrorLines) {
  Parsed p = parseGo("go searchmoves e2e4 d2d4 depth 5");
  EXPECT_EQ(p.output, "info string Error (unsupported option searchmoves): go searchmoves e2e4 d2d4 depth 5\n");
  EXPECT_EQ(numbers(p.request), (std::vector<int32_t>{0, 0, 5, 5, 0, 0, 0, 0}));
  p = parseGo("go depth");
  EXPECT_EQ(p.output, "info string Error (missing argument): go depth\n");
  EXPECT_EQ(numbers(p.request), (std::vector<int32_t>{0, 6, 0, 0, 0, 0, 0, 0}));
  p = parseGo("go mate 3 nodes 1000");
  EXPECT_EQ(p.output,
            "info string Error (unsupported option mate): go mate 3 nodes 1000\n"
            "info string Error (unsupported option nodes): go mate 3 nodes 1000\n");
  p = parseGo("go nodes");
  EXPECT_EQ(p.output, "info string Error (missing argument): go nodes\n");
}

TEST(CommandLine, TokensSplitOnBlanksOnly) {
  char text[] = "  go\twtime  100   x ";
  char* tokens[8];
  ASSERT_EQ(frontend::splitTokens(text, tokens, 8), 3);
  EXPECT_STREQ(tokens[0], "go\twtime");
  EXPECT_STREQ(tokens[1], "100");
  EXPECT_STREQ(tokens[2], "x");
  char many[] = "a b c d e";
  EXPECT_EQ(frontend::splitTokens(many, tokens, 2), 5);
  EXPECT_STREQ(tokens[1], "b");
}
