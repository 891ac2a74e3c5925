// The "position" command over pipes. With the stand-in engine module: the
// position text handed to the engine (always a text, also for the start
// position), its moves in order with their promotion letters, refused texts
// and move texts, and the game mirror's result lines after the last move
// (mate, stalemate, repetition, insufficient material, the fifty-move rule,
// a full move list). With the real module: long games get a reply for the
// GUI's position.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helpers/start_real_engine.h"
#include "helpers/uci_session.h"

using testing_uci::answerBeforeReady;
using testing_uci::finishUci;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::StubLines;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 10000;
const char* startText = "stub setEnginePosition rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

const std::string knightCycle = " g1f3 g8f6 f3g1 f6g8";

}  // namespace

// Each "position" line and what it hands the engine, or the error line
// that keeps it from the engine.
TEST(UciPosition, PositionLinesReachTheEngineInOrderOrAreRefused) {
  struct Case {
    std::string line;
    std::vector<std::string> answer;
  };
  const Case cases[] = {
      {"position startpos moves e2e4 e7e5 g1f3",
       {startText, "stub playEngineMove 3414  ", "stub playEngineMove 4464  ", "stub playEngineMove 2506  "}},
      // The text's words each followed by a blank. The knight promotion
      // leaves a knight against a bare king: drawn, as the same position
      // set up from a text is.
      {"position fen 8/4P3/8/8/8/8/8/k3K3  w - - 0 1 moves e7e8n",
       {"stub setEnginePosition 8/4P3/8/8/8/8/8/k3K3 w - - 0 1 ", "stub playEngineMove a464  ",
        "info string result 1/2-1/2 draw due to insufficient material"}},
      // The mirror refuses the text: the engine never sees it, no moves follow.
      {"position fen 8/8/8/X/8/8/8/8 w moves e2e4", {"info string Illegal position"}},
      // A text longer than the position buffer never reaches the engine.
      {"position fen " + std::string(300, '8'), {"info string Illegal position"}},
      // A move text that is no move ends the list; the moves before it stay.
      {"position startpos moves e2e4 e9e4 e7e5", {startText, "stub playEngineMove 3414  ", "Illegal move: e9e4"}},
      // Any word other than "fen" means the start position.
      {"position anything", {startText}},
      // The mirror accepts a text (it reads no field after the en-passant
      // square) that the engine refuses: neither changes its game.
      {"position fen 4k3/8/8/8/8/8/8/4K3 w - - X moves e1e2",
       {"stub setEnginePosition 4k3/8/8/8/8/8/8/4K3 w - - X ", "info string Illegal position"}},
  };
  UciProcess p;
  ASSERT_TRUE(testing_uci::startStubSession(&p));
  for (const Case& c : cases) EXPECT_EQ(answerBeforeReady(&p, {c.line}), c.answer) << c.line;
  // The refused text left the start position: its search gives its own moves.
  sendLine(&p, "go depth 1");
  EXPECT_EQ(testing_uci::lastLine(readUntil(&p, "bestmove", ReplyMs)), "bestmove g1f3 ponder g8f6");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// The mirror's own lines (the stand-in's dropped) after each "position"
// line: the result of the game after its last move, known from the rules
// of chess, or the first move it refuses. A game that goes on prints
// nothing; a finished game has no move to play.
TEST(UciPosition, MirrorJudgesTheGameAfterItsLastMove) {
  std::string sixHundredPlies = "position startpos moves";
  for (const char* pair : {" a2a3 a7a6", " a3a4 a6a5", " h2h3 h7h6", " h3h4 h6h5", " b2b3 b7b6", " b3b4 b6b5"})
    sixHundredPlies += repeat(knightCycle, 24) + pair;
  sixHundredPlies += repeat(knightCycle, 2) + " b1c3 b8c6 g1f3 g8f6";
  struct Case {
    std::string line;
    const char* answer;  // "" for none
  };
  const Case cases[] = {
      {"position startpos moves f2f3 e7e5 g2g4 d8h4", "info string result 0-1 checkmate"},
      {"position startpos moves e2e4 e7e5 f1c4 b8c6 d1h5 g8f6 h5f7", "info string result 1-0 checkmate"},
      {"position fen 7k/8/6K1/8/8/8/8/5Q2 w - - moves f1f7", "info string result 1/2-1/2 stalemate"},
      {"position startpos moves" + repeat(knightCycle, 2), "info string result 1/2-1/2 draw by repetition"},
      {"position fen 4k3/8/8/8/8/8/3r4/4K3 w - - moves e1d2",
       "info string result 1/2-1/2 draw due to insufficient material"},
      {"position startpos moves" + repeat(knightCycle, 24) + " b1c3 b8c6 g1f3 g8f6",
       "info string result 1/2-1/2 draw due to 50-move rule"},
      {sixHundredPlies, "info string result * move list overflow"},
      {"position startpos moves e2e4 e7e5", ""},
      // Piece letters are upper case; a move into check is no move; a
      // finished game takes no more moves.
      {"position startpos moves ng1f3", "Illegal move: ng1f3"},
      {"position fen 4k3/4r3/8/8/8/8/8/4K3 w - - moves e1e2", "Illegal move: e1e2"},
      {"position startpos moves f2f3 e7e5 g2g4 d8h4 e2e4", "Illegal move: e2e4"},
  };
  UciProcess p;
  ASSERT_TRUE(testing_uci::startStubSession(&p));
  for (const Case& c : cases) {
    std::vector<std::string> expected;
    if (*c.answer != '\0') expected.push_back(c.answer);
    EXPECT_EQ(answerBeforeReady(&p, {c.line}, StubLines::Drop), expected) << c.line;
  }
  // White is mated: the search has no move to name.
  sendLine(&p, "position startpos moves f2f3 e7e5 g2g4 d8h4");
  sendLine(&p, "go depth 1");
  EXPECT_EQ(testing_uci::lastLine(readUntil(&p, "bestmove", ReplyMs)), "bestmove 0000");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// The score of the deepest "info depth" line, as printed.
static std::string deepestScore(const std::vector<std::string>& lines) {
  std::string score;
  for (const std::string& line : lines) {
    size_t at = line.find(" score ");
    if (line.rfind("info depth ", 0) == 0 && at != std::string::npos) score = line.substr(at, line.find(" nodes") - at);
  }
  return score;
}

// A game of any length is the GUI's game: the reply is Black's after 1.e4
// (the knight tours lead back to the start), also past the game list and
// once a change of the hash size has rebuilt the engine's board; and once
// a pawn move has reset the fifty-move count the game goes on as if the
// shuffle before it had not been (no result, the same score as the
// position reached directly).
TEST(UciPosition, LongGamesGetAReplyForTheGuisPosition) {
  UciProcess p;
  START_REAL_ENGINE(p, ReplyMs);
  // One thread and a cleared table: a depth-4 search is then the same search
  // whatever came before it.
  sendLine(&p, "setoption name Threads value 1");
  sendLine(&p, "setoption name Clear_hash value true");
  sendLine(&p, "position startpos moves e2e4");
  sendLine(&p, "go depth 4");
  const std::string directScore = deepestScore(readUntil(&p, "bestmove", ReplyMs));
  ASSERT_FALSE(directScore.empty());
  std::vector<std::string> blackMoves = {"b8a6", "b8c6", "g8f6", "g8h6"};
  for (char file = 'a'; file <= 'h'; ++file)
    for (char rank : {'6', '5'}) blackMoves.push_back(std::string{file, '7', file, rank});
  for (int tours : {150, 500}) {
    std::string line = "position startpos moves";
    for (int i = 0; i < tours; ++i) line += knightCycle;
    line += " e2e4";
    for (const char* resize : {"", "setoption name Hash value 8", "setoption name Hash value 16"}) {
      const std::string what = std::to_string(4 * tours + 1) + " plies, " + resize;
      sendLine(&p, line);
      if (*resize != '\0') sendLine(&p, resize);
      sendLine(&p, "go depth 4");
      std::vector<std::string> reply = readUntil(&p, "bestmove", ReplyMs);
      for (const std::string& said : reply) {
        EXPECT_EQ(said.find("Illegal"), std::string::npos) << said;
        EXPECT_EQ(said.find("Error"), std::string::npos) << said;
        EXPECT_EQ(said.find("1/2-1/2"), std::string::npos) << said;
      }
      EXPECT_EQ(deepestScore(reply), directScore) << what;
      const std::string best = testing_uci::bestMoveText(reply);
      EXPECT_NE(std::find(blackMoves.begin(), blackMoves.end(), best), blackMoves.end())
          << what << ": " << testing_uci::lastLine(reply);
    }
  }
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
