// The "position" command over pipes with the stand-in engine module: the
// position text handed to the engine (always a text, also for the start
// position), its moves in order with their promotion letters, the refused
// texts and move texts; and long games with the real module.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helpers/start_real_engine.h"

using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 10000;

// Sends the lines, then "isready"; returns what came before "readyok",
// without the start-up's lines.
std::vector<std::string> exchange(UciProcess* p, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) sendLine(p, line);
  sendLine(p, "isready");
  std::vector<std::string> out = readUntil(p, "readyok", ReplyMs);
  EXPECT_FALSE(out.empty());
  if (!out.empty()) out.pop_back();
  return out;
}

void startReady(UciProcess* p) {
  ASSERT_TRUE(startUci(p, ModuleChoice::StubModule));
  sendLine(p, "setoption name OwnBook value false");
  sendLine(p, "isready");
  readUntil(p, "readyok", ReplyMs);
}

}  // namespace

TEST(UciPosition, StartPositionAndMovesReachTheEngineInOrder) {
  UciProcess p;
  startReady(&p);
  std::vector<std::string> expected = {
      "stub setEnginePosition rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "stub playEngineMove 3414  ", "stub playEngineMove 4464  ", "stub playEngineMove 2506  "};
  EXPECT_EQ(exchange(&p, {"position startpos moves e2e4 e7e5 g1f3"}), expected);
  // Any word other than "fen" means the start position.
  EXPECT_EQ(exchange(&p, {"position anything"}),
            std::vector<std::string>{"stub setEnginePosition rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"});
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciPosition, FenWordsAreJoinedEachFollowedByABlank) {
  UciProcess p;
  startReady(&p);
  // The knight promotion leaves a knight against a bare king: drawn, as
  // the same position set up from a text is.
  std::vector<std::string> expected = {"stub setEnginePosition 8/4P3/8/8/8/8/8/k3K3 w - - 0 1 ",
                                       "stub playEngineMove a464  ",
                                       "info string result 1/2-1/2 draw due to insufficient material"};
  EXPECT_EQ(exchange(&p, {"position fen 8/4P3/8/8/8/8/8/k3K3  w - - 0 1 moves e7e8n"}), expected);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciPosition, RefusedTextsAndMovesAreReported) {
  UciProcess p;
  startReady(&p);
  // The mirror refuses the text: the engine never sees it, no moves follow.
  EXPECT_EQ(exchange(&p, {"position fen 8/8/8/X/8/8/8/8 w moves e2e4"}),
            std::vector<std::string>{"info string Illegal position"});
  // The mirror accepts a text (it reads no field after the en-passant
  // square) that the engine refuses: neither changes its game, so the
  // start position's search still gives its own moves.
  std::vector<std::string> refused = {"stub setEnginePosition 4k3/8/8/8/8/8/8/4K3 w - - X ",
                                      "info string Illegal position"};
  EXPECT_EQ(exchange(&p, {"position fen 4k3/8/8/8/8/8/8/4K3 w - - X moves e1e2"}), refused);
  sendLine(&p, "go depth 1");
  std::vector<std::string> search = readUntil(&p, "bestmove", ReplyMs);
  ASSERT_FALSE(search.empty());
  EXPECT_EQ(search.back(), "bestmove g1f3 ponder g8f6");
  // A text longer than the position buffer never reaches the engine.
  std::string longFen = "position fen " + std::string(300, '8');
  EXPECT_EQ(exchange(&p, {longFen}), std::vector<std::string>{"info string Illegal position"});
  // A move text that is no move ends the list; the moves before it stay.
  std::vector<std::string> partial = {
      "stub setEnginePosition rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "stub playEngineMove 3414  ", "Illegal move: e9e4"};
  EXPECT_EQ(exchange(&p, {"position startpos moves e2e4 e9e4 e7e5"}), partial);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// A full game list ends no game: the moves after it reach the engine too.
TEST(UciPosition, MovesPastTheGameListStillReachTheEngine) {
  UciProcess p;
  startReady(&p);
  std::string line = "position startpos moves";
  for (int i = 0; i < 150; ++i) line += " g1f3 g8f6 f3g1 f6g8";
  line += " e2e4";
  std::vector<std::string> out = exchange(&p, {line});
  // The set-up, the moves, and the mirror's result line for the last one.
  ASSERT_EQ(out.size(), 603u);
  for (int i = 1; i <= 601; ++i) EXPECT_EQ(out[i].rfind("stub playEngineMove ", 0), 0u) << i << ": " << out[i];
  EXPECT_EQ(out[600], "stub playEngineMove 7655  ");
  EXPECT_EQ(out[601], "stub playEngineMove 3414  ");
  EXPECT_EQ(out[602].rfind("info string result ", 0), 0u);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// Games longer than the game list, and "position" lines longer than a few
// thousand characters, with the real engine: the reply is Black's after
// 1.e4 (the knight tours lead back to the start), also once a change of the
// hash size has rebuilt the engine's board.
// The score of the deepest "info depth" line, as printed.
static std::string deepestScore(const std::vector<std::string>& lines) {
  std::string score;
  for (const std::string& line : lines) {
    size_t at = line.find(" score ");
    if (line.rfind("info depth ", 0) == 0 && at != std::string::npos) score = line.substr(at, line.find(" nodes") - at);
  }
  return score;
}

// A game of any length is the GUI's game: the reply is for its position,
// and once a pawn move has reset the fifty-move count the game goes on as
// if the shuffle before it had not been (no result, the same score as the
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
    for (int i = 0; i < tours; ++i) line += " g1f3 g8f6 f3g1 f6g8";
    line += " e2e4";
    for (const char* resize : {"", "setoption name Hash value 8", "setoption name Hash value 16"}) {
      sendLine(&p, line);
      if (*resize != '\0') sendLine(&p, resize);
      sendLine(&p, "go depth 4");
      std::vector<std::string> reply = readUntil(&p, "bestmove", ReplyMs);
      ASSERT_FALSE(reply.empty());
      for (const std::string& said : reply) EXPECT_EQ(said.find("Illegal"), std::string::npos) << said;
      for (const std::string& said : reply) EXPECT_EQ(said.find("Error"), std::string::npos) << said;
      for (const std::string& said : reply) EXPECT_EQ(said.find("1/2-1/2"), std::string::npos) << said;
      EXPECT_EQ(deepestScore(reply), directScore) << 4 * tours + 1 << " plies, " << resize;
      const std::string& last = reply.back();
      ASSERT_EQ(last.rfind("bestmove ", 0), 0u) << last;
      std::string best = last.substr(9, last.find(' ', 9) == std::string::npos ? std::string::npos : 4);
      EXPECT_NE(std::find(blackMoves.begin(), blackMoves.end(), best.substr(0, 4)), blackMoves.end())
          << 4 * tours + 1 << " plies, " << resize << ": " << last;
    }
  }
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
