// Protocol transcripts of the real quillon_uci over pipes, bound to the
// stand-in engine module: identity and option list, lazy start, errors for
// bad commands, option round trips, exit codes and hostile input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/console.h"
#include "helpers/cpu_pinning.h"
#include "helpers/uci_session.h"

using testing_uci::finishUci;
using testing_uci::ModuleChoice;
using testing_uci::readAvailable;
using testing_uci::readLine;
using testing_uci::readUntil;
using testing_uci::sendLine;
using testing_uci::startUci;
using testing_uci::UciProcess;

namespace {

constexpr int ReplyMs = 5000;
constexpr int QuietMs = 300;

#if defined(__i386__)
const char* identityLine = "id name Quillon 12 (Win32) UCI";
#else
const char* identityLine = "id name Quillon 12 UCI";
#endif

std::vector<std::string> expectedUciLines(const std::string& threads, const std::string& hash = "16",
                                          const std::string& ownBook = "true") {
  return {identityLine,
          "id author Ravel Osk / Idris Marsh",
          "id copyright Copyright (C) Ravel Osk and Idris Marsh",
          "option name Hash type spin default " + hash + " min 4 max 4095",
          "option name Ponder type check default false",
          "option name OwnBook type check default " + ownBook,
          "option name MultiPV type spin default 1 min 1 max 50",
          "option name Book_file type string default ql12.bin",
          "option name Book_selectivity type spin default 5 min 0 max 30",
          "option name Contempt type spin default 0 min -500 max 500",
          "option name Use_tablebases type check default true",
          "option name NalimovPath type string default C:\\TBs",
          "option name NalimovCache type spin default 32 min 1 max 256",
          "option name UCI_LimitStrength type check default false",
          "option name UCI_ELO type spin default 3000 min 1200 max 3000",
          "option name Clear_hash type check default false",
          "option name Threads type spin default " + threads + " min 1 max " + threads,
          "uciok"};
}

}  // namespace

// The identity and the fourteen options with their defaults, the Threads
// row counting the processors of the affinity mask (one, then three of
// those this process may use); "setoption" matches names without case, and
// a later "uci" lists the values then in effect.
TEST(UciProtocol, UciListsIdentityAndOptionsWithTheirCurrentValues) {
  for (int processors : {1, 3}) {
    std::vector<std::string> pin = testing_uci::pinnedToCpus(processors);
    if (pin.empty()) continue;  // this process may use fewer CPUs
    const std::string threads = std::to_string(processors);
    UciProcess p;
    ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule, pin));
    sendLine(&p, "uci");
    EXPECT_EQ(readUntil(&p, "uciok", ReplyMs), expectedUciLines(threads)) << processors;
    sendLine(&p, "setoption name hash value 64");
    sendLine(&p, "setoption name OWNBOOK value false");
    sendLine(&p, "setoption name NoSuchOption value 3");
    sendLine(&p, "setoption name Hash");
    sendLine(&p, "setoption name Hash value");
    sendLine(&p, "setoption name Hash is 12");
    sendLine(&p, "uci");
    // Before the start each setoption only passes the parameters along.
    std::vector<std::string> options;
    for (const std::string& line : readUntil(&p, "uciok", ReplyMs))
      if (line.rfind("stub ", 0) != 0) options.push_back(line);
    EXPECT_EQ(options, expectedUciLines(threads, "64", "false")) << processors;
    EXPECT_EQ(finishUci(&p, ReplyMs), 1);
  }
}

TEST(UciProtocol, IsReadyStartsTheEngineOnceAndAnswersReadyOk) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "setoption name OwnBook value false");
  sendLine(&p, "isready");
  std::vector<std::string> first = readUntil(&p, "readyok", ReplyMs);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.back(), "readyok");
  // The start sized the hash: 16 MB to the engine, parameters sent after it.
  bool sized = false;
  for (const std::string& line : first)
    if (line == "stub initEngine 16777216 0") sized = true;
  EXPECT_TRUE(sized);
  sendLine(&p, "isready");
  EXPECT_EQ(readUntil(&p, "readyok", ReplyMs), std::vector<std::string>{"readyok"});
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciProtocol, MissingBookFileIsReportedAndOwnBookSwitchesOff) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "isready");
  std::vector<std::string> lines = readUntil(&p, "readyok", ReplyMs);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "No such file or directory");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines.back(), "readyok");
  sendLine(&p, "uci");
  EXPECT_EQ(readUntil(&p, "uciok", ReplyMs)[5], "option name OwnBook type check default false");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciProtocol, BadCommandsGiveTheirErrorLines) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "UCI");
  sendLine(&p, "uci x");
  sendLine(&p, "position");
  sendLine(&p, "setoption name");
  sendLine(&p, "setoption name a b c d");
  sendLine(&p, "frobnicate now");
  sendLine(&p, "debug a b c");
  sendLine(&p, "");
  sendLine(&p, "     ");
  sendLine(&p, "\tuci");
  // An error line that quotes a long line is cut at the output line's room.
  const std::string longLine = "uci " + std::string(3000, 'x');
  sendLine(&p, longLine);
  std::vector<std::string> expected = {
      "info string Error (Unknown command): UCI",
      "info string Error (too many parameters): uci x",
      "info string Error (too few parameters): position",
      "info string Error (too few parameters): setoption name",
      "info string Error (too many parameters): setoption name a b c d",
      "info string Error (Unknown command): frobnicate",
      "info string Error (Unknown command): \tuci",
      ("info string Error (too many parameters): " + longLine).substr(0, frontend::OutputLineBytes - 1),
  };
  // Up to the last error line however slowly the program runs, then
  // nothing more.
  std::vector<std::string> lines = readUntil(&p, expected.back(), ReplyMs);
  for (const std::string& extra : readAvailable(&p, QuietMs)) lines.push_back(extra);
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciProtocol, HashResizesOnlyWhenTheSizeChanges) {
#if defined(__SANITIZE_ADDRESS__)
  // The front end measures a 4 GB request by allocating it; the sanitizer's
  // allocator refuses sizes a plain build gets, so the sizes differ there.
  GTEST_SKIP() << "allocation sizes differ under AddressSanitizer";
#endif
  // A 32-bit process cannot hold the 4 GB request at all.
  if (sizeof(void*) < 8) GTEST_SKIP() << "a 32-bit build grants smaller tables";
  constexpr int SizingMs = 60000;
  UciProcess p;
  ASSERT_TRUE(testing_uci::startStubSession(&p));
  sendLine(&p, "setoption name Hash value 64");
  sendLine(&p, "setoption name Hash value 64");
  sendLine(&p, "setoption name Hash value 3");
  sendLine(&p, "setoption name Hash value 99999");
  sendLine(&p, "isready");
  std::vector<std::string> lines = readUntil(&p, "readyok", SizingMs);
  std::vector<std::string> sizing;
  for (const std::string& line : lines)
    if (line.rfind("stub initEngine", 0) == 0 || line.rfind("stub releaseEngineHash", 0) == 0) sizing.push_back(line);
  // 64 once; 3 is below the least and changes nothing; 99999 is cut to
  // the listed most, 4095 MB, whose byte count still fits 32 bits.
  std::vector<std::string> expected = {"stub releaseEngineHash", "stub initEngine 67108864 0",
                                       "stub releaseEngineHash", "stub initEngine 4293918720 0"};
  EXPECT_EQ(sizing, expected);
  // The stand-in grants at most 256 MB: the shortfall is reported, and the
  // same request again re-sizes, as the size in effect is what was granted.
  bool reduced = false;
  for (const std::string& line : lines) reduced = reduced || line == "info string Error (Hash size was reduced): ";
  EXPECT_TRUE(reduced);
  sendLine(&p, "setoption name Hash value 4095");
  sendLine(&p, "setoption name Hash value 256");
  sendLine(&p, "setoption name Hash value 128");
  sendLine(&p, "isready");
  sizing.clear();
  for (const std::string& line : readUntil(&p, "readyok", SizingMs))
    if (line.rfind("stub initEngine", 0) == 0 || line.rfind("info string Error", 0) == 0) sizing.push_back(line);
  // 256 MB is what is in effect already: no re-size for it.
  expected = {"stub initEngine 4293918720 0", "info string Error (Hash size was reduced): ",
              "stub initEngine 134217728 0"};
  EXPECT_EQ(sizing, expected);
  EXPECT_EQ(finishUci(&p, SizingMs), 1);
}

// The engine's parameter words after each setting: the strength limit's
// level and margin, contempt bounded to its listed range (also from
// values past 32 bits), Clear_hash and Threads.
TEST(UciProtocol, OptionsReachTheEngineAsBoundedParameterWords) {
  UciProcess p;
  ASSERT_TRUE(testing_uci::startStubSession(&p, testing_uci::pinnedToCpus(1)));
  sendLine(&p, "setoption name UCI_LimitStrength value true");
  sendLine(&p, "setoption name UCI_ELO value 1539");
  sendLine(&p, "setoption name UCI_ELO value 2700");
  sendLine(&p, "setoption name UCI_LimitStrength value false");
  sendLine(&p, "setoption name Contempt value 99999999999");
  sendLine(&p, "setoption name Contempt value -99999999999");
  sendLine(&p, "setoption name Contempt value -35");
  sendLine(&p, "setoption name Clear_hash value TRUE");
  // One processor: a Threads value outside "min 1 max 1" is read as 1.
  sendLine(&p, "setoption name Threads value 12");
  sendLine(&p, "setoption name Threads value 0");
  sendLine(&p, "setoption name UCI_ELO value 1700");
  sendLine(&p, "setoption name UCI_LimitStrength value true");
  sendLine(&p, "isready");
  std::vector<std::string> lines = readUntil(&p, "readyok", ReplyMs);
  std::vector<std::string> sent;
  for (const std::string& line : lines)
    if (line.rfind("stub setEngineParameters", 0) == 0) sent.push_back(line);
  // Each setting gives the words a fresh engine with it would get: the weak
  // margin goes with a weak rating only.
  std::vector<std::string> expected = {
      "stub setEngineParameters threads 1 contempt 0 clear 0 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt 0 clear 0 margin 5000 depth 3",
      "stub setEngineParameters threads 1 contempt 0 clear 0 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt 0 clear 0 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt 500 clear 0 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt -500 clear 0 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt -35 clear 0 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt -35 clear 1 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt -35 clear 1 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt -35 clear 1 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt -35 clear 1 margin 100 depth 60",
      "stub setEngineParameters threads 1 contempt -35 clear 1 margin 5000 depth 5",
  };
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

// No module beside the program, or an empty file under its name (no
// library at all, which the loader refuses): one error line and status 255.
TEST(UciProtocol, MissingOrUnloadableModuleGivesOneErrorLineAndStatus255) {
  for (ModuleChoice module : {ModuleChoice::NoModule, ModuleChoice::EmptyFile}) {
    UciProcess p;
    ASSERT_TRUE(startUci(&p, module));
    std::string line;
    ASSERT_TRUE(readLine(&p, &line, ReplyMs));
    EXPECT_EQ(line, "info string Error (Cannot find engine module): ");
    EXPECT_EQ(finishUci(&p, ReplyMs), 255);
  }
}

// The end of input ends the program with status 1 in every other test;
// "quit" does the same, and nothing after it is read.
TEST(UciProtocol, QuitEndsWithStatus1AndNothingAfterItIsRead) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  sendLine(&p, "quit");
  sendLine(&p, "uci");
  EXPECT_TRUE(readAvailable(&p, QuietMs).empty());
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciProtocol, CarriageReturnBeforeTheNewlineIsDropped) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  testing_uci::sendRaw(&p, "setoption name OwnBook value false\r\nisready\r\n");
  std::vector<std::string> lines = readUntil(&p, "readyok", ReplyMs);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "readyok");
  for (const std::string& line : lines) EXPECT_NE(line, "No such file or directory");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}

TEST(UciProtocol, ClosedOutputDoesNotEndTheProgram) {
  UciProcess p;
  ASSERT_TRUE(startUci(&p, ModuleChoice::StubModule));
  testing_uci::closeOutput(&p);
  for (int i = 0; i < 20; ++i) sendLine(&p, "uci");
  sendLine(&p, "quit");
  EXPECT_EQ(finishUci(&p, ReplyMs), 1);
}
