// Hostile input to the real quillon_uci over pipes: overlong lines, binary
// bytes, thousands of tokens and bad option values. Each gets at most an
// error line, and the program still answers "isready".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/uci_loop.h"
#include "helpers/uci_session.h"

using testing_uci::answerBeforeReady;
using testing_uci::finishUci;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::sendRaw;
using testing_uci::StubLines;
using testing_uci::UciProcess;

namespace {
constexpr int ReplyMs = 10000;
// The most characters a line may have before its newline.
constexpr int32_t MostLineChars = frontend::LineBytes - 1;
}  // namespace

// A line past the longest is refused whole with one error line, however
// long (a tail cut off would read as commands of its own); the longest
// line is still a line.
TEST(UciHostile, LinesPastTheLongestAreRefusedWholeWithOneErrorLine) {
  UciProcess p;
  ASSERT_TRUE(testing_uci::startStubSession(&p));
  std::string megabyte = "debug ";
  while (megabyte.size() < 1000000) megabyte += "uci isready ";
  std::string longest = "debug";
  longest += std::string(size_t(MostLineChars) - longest.size(), ' ');
  std::string oneMore = "UCI" + std::string(size_t(MostLineChars) - 2, ' ');
  std::vector<std::string> expected = {
      "info string Error (line too long): debug uci isready uci isready uci isread",
      "info string Error (line too long): UCI" + std::string(37, ' ')};
  EXPECT_EQ(answerBeforeReady(&p, {megabyte, longest, oneMore}, StubLines::Drop), expected);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciHostile, LineWithTheMostTokensALineCanHoldIsHandled) {
  UciProcess p;
  ASSERT_TRUE(testing_uci::startStubSession(&p));
  // The longest line of one-letter words.
  std::string line = "position startpos moves";
  while (line.size() + 2 <= size_t(MostLineChars)) line += " z";
  sendLine(&p, line);
  EXPECT_EQ(testing_uci::lastLine(readUntil(&p, "Illegal move: z", ReplyMs)), "Illegal move: z");
  // The same with a token more than fits a line is refused whole.
  EXPECT_EQ(answerBeforeReady(&p, {line + " z"}, StubLines::Drop),
            std::vector<std::string>{"info string Error (line too long): position startpos moves z z z z z z z z "});
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciHostile, BinaryBytesAndBadOptionValuesDoNotStopTheProgram) {
  UciProcess p;
  ASSERT_TRUE(testing_uci::startUci(&p, testing_uci::ModuleChoice::StubModule));
  sendRaw(&p, std::string("\x01\x02\xff\xfe uci\n", 9));
  sendRaw(&p, std::string("is\0ready\n", 9));
  answerBeforeReady(&p, {"setoption name OwnBook value false", "setoption name Hash value banana",
                         "setoption name Hash value -5", "setoption name MultiPV value 99999999999999999999",
                         "setoption name NalimovCache value -1", "setoption name Threads value x",
                         "setoption name UCI_ELO value -99999999999", "setoption name UCI_LimitStrength value maybe"});
  // A directory as the book: the system's words for it, and on it goes.
  std::vector<std::string> lines =
      answerBeforeReady(&p, {"setoption name Hash value 0", "setoption name Book_file value /",
                             "setoption name OwnBook value true", "setoption name Book_file value /"},
                        StubLines::Drop);
  EXPECT_EQ(testing_uci::countPrefix(lines, "Is a directory"), 1);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
