// Hostile input to the real quillon_uci over pipes: overlong lines, binary
// bytes, thousands of tokens and bad option values. Each gets at most an
// error line, and the program still answers "isready".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/uci_loop.h"
#include "helpers/uci_process.h"

using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::sendRaw;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {
constexpr int ReplyMs = 10000;
// The most characters a line may have before its newline.
constexpr int32_t MostLineChars = frontend::LineBytes - 1;

void expectReady(UciProcess* p) {
  sendLine(p, "isready");
  std::vector<std::string> lines = readUntil(p, "readyok", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "readyok");
}
// What the program printed for the lines sent so far, apart from the stub
// module's own trace: "isready" goes after them, and its "readyok" marks the
// end however slowly the program runs.
std::vector<std::string> outputBeforeReady(UciProcess* p) {
  sendLine(p, "isready");
  std::vector<std::string> output = readUntil(p, "readyok", ReplyMs);
  if (output.empty() || output.back() != "readyok") ADD_FAILURE() << "no readyok";
  std::vector<std::string> lines;
  for (const std::string& line : output)
    if (line.rfind("stub ", 0) != 0 && line != "readyok") lines.push_back(line);
  return lines;
}
}  // namespace

TEST(UciHostile, OverlongLineIsRefusedWholeWithOneErrorLine) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "setoption name OwnBook value false");
  // 1 MB of text whose tail would read as commands if it were cut apart.
  std::string line = "debug ";
  while (line.size() < 1000000) line += "uci isready ";
  sendLine(&p, line);
  std::vector<std::string> lines = outputBeforeReady(&p);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "info string Error (line too long): debug uci isready uci isready uci isread");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciHostile, LongestLineIsStillALineAndOneMoreCharacterIsRefused) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "setoption name OwnBook value false");
  std::string line = "debug";
  line += std::string(size_t(MostLineChars) - line.size(), ' ');
  sendLine(&p, line);
  std::string longer = "UCI" + std::string(size_t(MostLineChars) - 2, ' ');
  sendLine(&p, longer);
  std::vector<std::string> lines = outputBeforeReady(&p);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "info string Error (line too long): UCI" + std::string(37, ' '));
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciHostile, LineWithTheMostTokensALineCanHoldIsHandled) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "setoption name OwnBook value false");
  // The longest line of one-letter words.
  std::string line = "position startpos moves";
  while (line.size() + 2 <= size_t(MostLineChars)) line += " z";
  sendLine(&p, line);
  std::vector<std::string> lines = readUntil(&p, "Illegal move: z", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Illegal move: z");
  // The same with a token more than fits a line is refused whole.
  sendLine(&p, line + " z");
  lines = readUntil(&p, "info string Error (line too long)", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "info string Error (line too long): position startpos moves z z z z z z z z ");
  expectReady(&p);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciHostile, BinaryBytesAndBadOptionValuesDoNotStopTheProgram) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendRaw(&p, std::string("\x01\x02\xff\xfe uci\n", 9));
  sendRaw(&p, std::string("is\0ready\n", 9));
  sendLine(&p, "setoption name OwnBook value false");
  sendLine(&p, "setoption name Hash value banana");
  sendLine(&p, "setoption name Hash value -5");
  sendLine(&p, "setoption name MultiPV value 99999999999999999999");
  sendLine(&p, "setoption name NalimovCache value -1");
  sendLine(&p, "setoption name Threads value x");
  sendLine(&p, "setoption name UCI_ELO value -99999999999");
  sendLine(&p, "setoption name UCI_LimitStrength value maybe");
  expectReady(&p);
  sendLine(&p, "setoption name Hash value 0");
  sendLine(&p, "setoption name Book_file value /");
  sendLine(&p, "setoption name OwnBook value true");
  sendLine(&p, "setoption name Book_file value /");
  std::vector<std::string> lines = readUntil(&p, "stub setEngineParameters", ReplyMs);
  lines = readUntil(&p, "Is a directory", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Is a directory");
  expectReady(&p);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
