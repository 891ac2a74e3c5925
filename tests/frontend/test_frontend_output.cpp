// The search output's formats, driven in-process through the callbacks the
// engine calls, for what the pipe transcripts do not reach: contempt on
// centipawn scores and its bounds, speed with no time or past 32 bits of
// nodes, variations cut short, the under-promotion letters, the current-move
// count and the best-move line without a move.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "engine/hash/hash.h"
#include "frontend/console.h"
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

std::string text(Move move, char letter) {
  char out[6];
  frontend::moveToText(out, move, letter);
  return out;
}

const Move e2e4Pv[] = {0x3414, 0x4464, noMove};

}  // namespace

TEST_F(SearchOutput, ContemptComesOffCentipawnScoresButNotZeroOrMates) {
  frontend::frontParameters.words[engine::ParamContempt] = 20;
  EXPECT_NE(reportLine(8999, 100, e2e4Pv).find("score cp 8979 "), std::string::npos);
  EXPECT_NE(reportLine(0, 100, e2e4Pv).find("score cp 0 "), std::string::npos);
  EXPECT_NE(reportLine(-45, 100, e2e4Pv).find("score cp -65 "), std::string::npos);
  EXPECT_NE(reportLine(9000, 100, e2e4Pv).find("score mate 499 "), std::string::npos);
  EXPECT_EQ(frontend::shownScore(-8999, 20), -9019);
  EXPECT_EQ(frontend::shownScore(-9000, 20), -9000);
  // Whatever the contempt word holds, the arithmetic stays defined: the
  // shown score is bounded, never wrapped.
  EXPECT_EQ(frontend::shownScore(-49, INT32_MAX), INT32_MIN);
  EXPECT_EQ(frontend::shownScore(8999, INT32_MIN), INT32_MAX);
}

TEST_F(SearchOutput, SpeedComesFromTheSearchTime) {
  EXPECT_NE(reportLine(10, 0, e2e4Pv).find(" nps 0 "), std::string::npos);
  EXPECT_NE(reportLine(10, 3, e2e4Pv, 0, 10).find(" nps 3333 "), std::string::npos);
  // Node counts past 32 bits: ten billion nodes in 20 s.
  EXPECT_NE(reportLine(10, 20000, e2e4Pv, 0, 10000000000ull).find(" nodes 10000000000 nps 500000000 "),
            std::string::npos);
}

TEST_F(SearchOutput, NullOrEmptyVariationsPrintNothing) {
  testing::internal::CaptureStdout();
  frontend::reportPv(nullptr);
  SearchInfo info = {0, 1, 0, 0, 0, nullptr, 0};
  frontend::reportPv(&info);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(frontend::bestMove, noMove);
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

TEST_F(SearchOutput, PromotionLettersAreLowerCaseForBothColours) {
  EXPECT_EQ(text(0x8464, 'P'), "e7e8r");
  EXPECT_EQ(text(0x9464, 'P'), "e7e8b");
  EXPECT_EQ(text(0xA464, 'P'), "e7e8n");
  EXPECT_EQ(text(0xF313, 'p'), "d2d1r");
  EXPECT_EQ(text(0xE313, 'p'), "d2d1b");
  EXPECT_EQ(text(0xD313, 'p'), "d2d1n");
  EXPECT_EQ(text(0x7464, 'P'), "e7e8q");
  EXPECT_EQ(text(0x7464, 'N'), "e7e8");
  EXPECT_EQ(text(0x7464, 0), "e7e8");
  EXPECT_EQ(text(0x0313, 'p'), "d2d1q");
  EXPECT_EQ(text(0x0313, 'P'), "d2d1");
  EXPECT_EQ(text(noMove, 0), "e1e1");
}

TEST_F(SearchOutput, BestMoveLines) {
  testing::internal::CaptureStdout();
  frontend::printBestMove(0x3414, noMove);
  frontend::printBestMove(noMove, noMove);
  frontend::printBestMove(0x3414, 0x4464);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "bestmove e2e4\nbestmove 0000\nbestmove e2e4 ponder e7e5\n");
}

TEST_F(SearchOutput, CurrentMoveCountRestartsOnARepeatedMove) {
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

TEST_F(SearchOutput, CurrentMoveListNeverOverflows) {
  testing::internal::CaptureStdout();
  frontend::reportCurrMove(10, noMove, 0);
  for (int i = 0; i < 300; ++i) frontend::reportCurrMove(10, Move(0x2000 + i), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("currmovenumber 256\n"), std::string::npos);
  EXPECT_EQ(out.find("currmovenumber 257"), std::string::npos);
}

TEST(Console, OverlongLinesAreCutAtTheLineBuffer) {
  std::string text(5000, 'x');
  testing::internal::CaptureStdout();
  frontend::printLine("%s", text.c_str());
  frontend::reportError("Unknown command", "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            std::string(2047, 'x') + "\n" + "info string Error (Unknown command): \n");
}

TEST(ConsoleDeathTest, AssertionPrintsItsLineAndEndsWithCode1) {
  EXPECT_EXIT(frontend::assertFailed("ucitodll", 123), ::testing::ExitedWithCode(1), "");
}
