// The game mirror over pipes: result lines after the last move of a
// "position" command (mate, stalemate, repetition, insufficient material,
// the fifty-move rule, a full move list), illegal moves and positions, and
// legal best moves.
#include <gtest/gtest.h>

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

constexpr int ReplyMs = 10000;

// The front end's own lines (not the stand-in module's) before "readyok".
std::vector<std::string> answer(UciProcess* p, const std::string& line) {
  sendLine(p, line);
  sendLine(p, "isready");
  std::vector<std::string> out;
  for (const std::string& l : readUntil(p, "readyok", ReplyMs))
    if (l.rfind("stub ", 0) != 0 && l != "readyok") out.push_back(l);
  return out;
}

void startReady(UciProcess* p) {
  ASSERT_TRUE(startUci(p, ModuleChoice::StubModule));
  sendLine(p, "setoption name OwnBook value false");
  sendLine(p, "isready");
  readUntil(p, "readyok", ReplyMs);
}

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

const std::string knightCycle = " g1f3 g8f6 f3g1 f6g8";

}  // namespace

TEST(UciMirror, ResultLinesAfterTheLastMove) {
  UciProcess p;
  startReady(&p);
  EXPECT_EQ(answer(&p, "position startpos moves f2f3 e7e5 g2g4 d8h4"),
            std::vector<std::string>{"info string result 0-1 checkmate"});
  EXPECT_EQ(answer(&p, "position startpos moves e2e4 e7e5 f1c4 b8c6 d1h5 g8f6 h5f7"),
            std::vector<std::string>{"info string result 1-0 checkmate"});
  EXPECT_EQ(answer(&p, "position fen 7k/8/6K1/8/8/8/8/5Q2 w - - moves f1f7"),
            std::vector<std::string>{"info string result 1/2-1/2 stalemate"});
  EXPECT_EQ(answer(&p, "position startpos moves" + repeat(knightCycle, 2)),
            std::vector<std::string>{"info string result 1/2-1/2 draw by repetition"});
  EXPECT_EQ(answer(&p, "position fen 4k3/8/8/8/8/8/3r4/4K3 w - - moves e1d2"),
            std::vector<std::string>{"info string result 1/2-1/2 draw due to insufficient material"});
  EXPECT_EQ(answer(&p, "position startpos moves" + repeat(knightCycle, 24) + " b1c3 b8c6 g1f3 g8f6"),
            std::vector<std::string>{"info string result 1/2-1/2 draw due to 50-move rule"});
  // A game that goes on prints nothing.
  EXPECT_TRUE(answer(&p, "position startpos moves e2e4 e7e5").empty());
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciMirror, SixHundredPliesFillTheMoveList) {
  UciProcess p;
  startReady(&p);
  std::string line = "position startpos moves";
  const char* pawnPairs[] = {" a2a3 a7a6", " a3a4 a6a5", " h2h3 h7h6", " h3h4 h6h5", " b2b3 b7b6", " b3b4 b6b5"};
  for (const char* pair : pawnPairs) line += repeat(knightCycle, 24) + pair;
  line += repeat(knightCycle, 2) + " b1c3 b8c6 g1f3 g8f6";
  EXPECT_EQ(answer(&p, line), std::vector<std::string>{"info string result * move list overflow"});
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciMirror, IllegalMovesAndPositions) {
  UciProcess p;
  startReady(&p);
  EXPECT_EQ(answer(&p, "position startpos moves ng1f3"), std::vector<std::string>{"Illegal move: ng1f3"});
  // A move into check is no legal move.
  EXPECT_EQ(answer(&p, "position fen 4k3/4r3/8/8/8/8/8/4K3 w - - moves e1e2"),
            std::vector<std::string>{"Illegal move: e1e2"});
  // Moves after a finished game are refused.
  EXPECT_EQ(answer(&p, "position startpos moves f2f3 e7e5 g2g4 d8h4 e2e4"),
            std::vector<std::string>{"Illegal move: e2e4"});
  EXPECT_EQ(answer(&p, "position fen 8/8/8/8/8/8/8/8 x moves e2e4"),
            std::vector<std::string>{"info string Illegal position"});
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
