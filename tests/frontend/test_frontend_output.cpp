// The search output's formats, driven in-process through the callbacks the
// engine calls, for what the pipe transcripts do not reach: mate distances
// and contempt at the edges of the centipawn range, node counts past 32
// bits, variations cut short or stopped at a move that is not legal, and
// the current-move count of moves the engine asks not to count.
#include <gtest/gtest.h>

#include <string>

#include "engine/hash/hash.h"
#include "frontend/engine_link.h"
#include "frontend/game_position.h"
#include "frontend/search_control.h"
#include "frontend/search_output.h"
#include "frontend/setoption.h"

using engine::Move;
using engine::noMove;
using engine::SearchInfo;

namespace {

class SearchOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    frontend::engineEntries.stopThinking = [] {};
    frontend::engineEntries.resetStopFlags = [] {};
    frontend::engineEntries.setEnginePosition = [](const char*) { return int32_t(0); };
    frontend::frontParameters.words[engine::ParamContempt] = 0;
    frontend::prepareSearch();
    // Variations are played out on the mirrored game: the start position.
    static bool keysReady = engine::initHashAndKeys(1u << 20) > 0;
    ASSERT_TRUE(keysReady);
    frontend::initMirror();
    ASSERT_TRUE(frontend::setMirrorPosition(nullptr));
  }
};

// One reportPv call's output line.
std::string reportLine(int32_t score, int32_t time, const Move* pv, int32_t line = 0, uint64_t nodes = 5000) {
  frontend::setNodeCount(nodes);
  SearchInfo info = {line, 7, score, time, 12, pv, 0};
  testing::internal::CaptureStdout();
  frontend::reportPv(&info);
  return testing::internal::GetCapturedStdout();
}

const Move e2e4Pv[] = {0x3414, 0x4464, noMove};

}  // namespace

// Scores at the edges a GUI reads: 9000 is still a mate and 8999 a
// centipawn score (contempt taken off it), a draw's 0 keeps no contempt;
// node counts and speeds past 32 bits. (Every mate distance of the queen
// ending, both signs, and contempt off a search's score are checked over
// pipes.)
TEST_F(SearchOutput, InfoLinesAtTheMateEdgeWithContemptAndPast32Bits) {
  struct Case {
    int32_t score, contempt, time;
    uint64_t nodes;
    const char* shows;
  };
  const Case cases[] = {
      {9000, 20, 100, 5000, " score mate 499 "},
      {8999, 20, 100, 5000, " score cp 8979 "},
      {0, 20, 100, 5000, " score cp 0 "},
      {10, 0, 20000, 10000000000ull, " nodes 10000000000 nps 500000000 "},
  };
  for (const Case& c : cases) {
    frontend::frontParameters.words[engine::ParamContempt] = c.contempt;
    const std::string line = reportLine(c.score, c.time, e2e4Pv, 0, c.nodes);
    EXPECT_NE(line.find(c.shows), std::string::npos) << line;
  }
}

TEST_F(SearchOutput, VariationIsCutAtNineteenMoves) {
  // Both knights out and back, over and over: g1f3 g8f6 f3g1 f6g8 ...
  const Move cycle[4] = {0x2506, 0x5576, 0x0625, 0x7655};
  Move pv[30];
  for (int i = 0; i < 29; ++i) pv[i] = cycle[i % 4];
  pv[29] = noMove;
  std::string line = reportLine(10, 1, pv);
  size_t moves = 0;
  for (const char* text : {" g1f3", " g8f6", " f3g1", " f6g8"})
    for (size_t at = line.find(text); at != std::string::npos; at = line.find(text, at + 1)) ++moves;
  EXPECT_EQ(moves, 19u);
}

TEST_F(SearchOutput, VariationStopsAtAMoveThatIsNotLegal) {
  // White's knight cannot go back while Black is to move.
  const Move pv[] = {0x2506, 0x0625, 0x5576, noMove};
  std::string line = reportLine(10, 1, pv);
  EXPECT_NE(line.find(" pv  g1f3"), std::string::npos) << line;
  EXPECT_EQ(line.find("f3g1"), std::string::npos) << line;
}

// A move the engine marks (bit 7) is shown without being counted; a move
// seen before starts a new pass over the root moves; the queen's letter
// gives a promotion its "q".
TEST_F(SearchOutput, CurrentMoveCountSkipsMarkedMovesAndRestartsOnARepeatedOne) {
  testing::internal::CaptureStdout();
  frontend::setNodeCount(77);
  frontend::reportCurrMove(10, noMove, 0);
  frontend::reportCurrMove(10, 0x3414, 0);
  frontend::reportCurrMove(10, 0x2506, 0);
  frontend::reportCurrMove(10, 0x2506, 128);
  frontend::reportCurrMove(10, 0x3414, 0);
  frontend::reportCurrMove(10, 0x7464, 'Q' << 8);
  frontend::reportCurrMove(10, 0x7464, 'N' << 8);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "info depth 10 nodes 77\n"
            "info currmove e2e4 currmovenumber 1\n"
            "info currmove g1f3 currmovenumber 2\n"
            "info currmove g1f3 currmovenumber 2\n"
            "info currmove e2e4 currmovenumber 1\n"
            "info currmove e7e8q currmovenumber 2\n"
            "info currmove e7e8 currmovenumber 1\n");
}
