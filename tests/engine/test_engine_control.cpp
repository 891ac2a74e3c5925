// The engine's control entries and hooks, driven directly with a fake host:
// engine parameters and the thread count, under-promotion letters, the
// timer protocol, ponderhit in every state of a search, the
// search-information report and the probe's en-passant square.
#include <gtest/gtest.h>

#include <vector>

#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/module/engine_entries.h"
#include "engine/module/hooks.h"
#include "engine/search/threads.h"
#include "engine/search/timecontrol.h"
#include "platform/semaphore.h"

using namespace engine;

namespace {

// What the fake host saw.
std::vector<int32_t> timerCalls;
std::vector<SearchInfo> pvCalls;
std::vector<Move> pvFirstMoves;
std::vector<uint64_t> nodeCalls;
int32_t probeEp = -1;

void fakeSetSearchTimer(int32_t ms) { timerCalls.push_back(ms); }
void fakeReportPv(const SearchInfo* info) {
  pvCalls.push_back(*info);
  pvFirstMoves.push_back(info->pv[0]);
}
void fakeSetNodeCount(uint64_t nodes) { nodeCalls.push_back(nodes); }
int32_t fakeTbProbe(const int8_t*, int32_t, int32_t ep, int32_t* out) {
  probeEp = ep;
  *out = 7;
  return 1;
}

class EngineControl : public ::testing::Test {
 protected:
  void SetUp() override {
    timerCalls.clear();
    pvCalls.clear();
    pvFirstMoves.clear();
    nodeCalls.clear();
    probeEp = -1;
    hostCallbacks = {};
    hostCallbacks.setSearchTimer = fakeSetSearchTimer;
    hostCallbacks.reportPv = fakeReportPv;
    hostCallbacks.setNodeCount = fakeSetNodeCount;
    hostCallbacks.tbProbe = fakeTbProbe;
    timerHook.store(armSearchTimer);
    infoHook.store(reportSearchInfo);
    resetStopFlags();
    thinkState.store(ThinkIdle);
    rootPhase.store(PhaseFinished);
  }
};

// Tokens free in a semaphore (taken and given back).
int32_t freeTokens(platform::Semaphore* semaphore) {
  int32_t count = 0;
  while (platform::tryWaitSemaphore(semaphore)) ++count;
  for (int32_t i = 0; i < count; ++i) platform::releaseSemaphore(semaphore);
  return count;
}

}  // namespace

// Setting forces the threat-detection word on, and getting always gives the
// defaults, not what was set.
TEST_F(EngineControl, ThreatDetectionStaysOnAndGetGivesTheDefaults) {
  EngineParameters set = defaultEngineParameters;
  set.words[ParamContempt] = 25;
  set.words[ParamThreatDetection] = 0;
  setEngineParameters(&set);
  EXPECT_EQ(engineParameters.words[ParamThreatDetection], 1);
  EngineParameters got;
  getEngineParameters(&got);
  for (int32_t i = 0; i < EngineParameterWords; ++i)
    EXPECT_EQ(got.words[i], defaultEngineParameters.words[i]) << "word " << i;
  setEngineParameters(&defaultEngineParameters);
}

// On a 6-processor machine with a pool of 12 helper records (the records
// themselves are not needed to count), the word counts the master too: 0
// and anything past 40 mean the processor count, and never more helpers
// than exist; each new count gets as many fresh hand-off tokens.
TEST_F(EngineControl, ThreadWordSetsTheCountAndFreshTokens) {
  const int32_t savedCreated = threadsCreated, savedCpus = cpuCount;
  threadsCreated = 12;
  cpuCount = 6;
  struct Word {
    int32_t threads, helpers;
  };
  const Word words[] = {{4, 3}, {1, 0}, {0, 5}, {41, 5}, {40, 12}};
  EngineParameters set = defaultEngineParameters;
  for (const Word& w : words) {
    set.words[ParamThreads] = w.threads;
    setEngineParameters(&set);
    EXPECT_EQ(nThreads.load(), w.helpers) << w.threads;
    EXPECT_EQ(freeTokens(handOffTokens.load()), w.helpers) << w.threads;
  }
  // An unchanged word leaves the tokens alone, one of them still out.
  platform::Semaphore* tokens = handOffTokens.load();
  platform::waitSemaphore(tokens);
  setEngineParameters(&set);
  EXPECT_EQ(handOffTokens.load(), tokens);
  EXPECT_EQ(freeTokens(tokens), 11);
  platform::releaseSemaphore(tokens);

  threadsCreated = savedCreated;
  cpuCount = savedCpus;
  setHelperCount(0);
  setEngineParameters(&defaultEngineParameters);
}

// The letters of the engine's entry make the board's own under-promotion
// bytes, for both colours; lower case, the queen or no letter leave the
// plain move (a queen), and a piece that is no pawn, or a pawn that does
// not reach the last rank, ignores the letter.
TEST_F(EngineControl, UnderPromotionLettersOnlyForPawnsAndUpperCase) {
  const Move e7e8 = makeMove16(0x64, 0x74);
  const Move d2d1 = makeMove16(0x13, 0x03);
  for (auto [move, colour] : {std::pair{e7e8, White}, std::pair{d2d1, Black}}) {
    for (auto [letter, piece] : {std::pair{'R', PromoteRook}, std::pair{'B', PromoteBishop}, std::pair{'N', PromoteKnight}}) {
      Move adjusted = applyPromotionLetter(move, PawnCode, letter);
      EXPECT_EQ(moveToByte(adjusted), underPromotionByte(moveTo(move), piece, colour)) << char(letter);
      EXPECT_EQ(moveTo(adjusted), moveTo(move));
      EXPECT_EQ(promotionPiece(moveToByte(adjusted)), piece);
    }
    for (int32_t letter : {int32_t('n'), int32_t('b'), int32_t('r'), int32_t('q'), int32_t('Q'), int32_t(' '), 0})
      EXPECT_EQ(applyPromotionLetter(move, PawnCode, letter), move);
  }
  EXPECT_EQ(applyPromotionLetter(makeMove16(0x66, 0x74), KnightCode, 'N'), makeMove16(0x66, 0x74));
  EXPECT_EQ(applyPromotionLetter(makeMove16(0x14, 0x34), PawnCode, 'N'), makeMove16(0x14, 0x34));
}

// The first firing stops a search whose last iteration is complete; during
// a fail-low it arms the second timer for the rest of the maximum, and the
// second firing stops. A move time has no rest to arm.
TEST_F(EngineControl, TimerFiringsStopOrExtend) {
  struct Firing {
    int32_t timer, maximum, iterationDone;
    std::vector<int32_t> calls;
    bool stopsAtFirst;
  };
  const Firing cases[] = {
      {1000, 3000, 1, {1000}, true},
      {1000, 3000, 0, {1000, -2000}, false},
      {5000, 5000, 0, {5000}, true},
  };
  for (const Firing& c : cases) {
    SCOPED_TRACE(testing::Message() << c.timer << "/" << c.maximum << ", iteration done " << c.iterationDone);
    resetStopFlags();
    timerCalls.clear();
    armSearchTimer(c.timer, c.maximum);
    iterationDone.store(c.iterationDone);
    onTimer(nullptr, true);
    EXPECT_EQ(timerCalls, c.calls);
    EXPECT_EQ(stopFlag.load(), c.stopsAtFirst ? 1 : 0);
    onTimer(nullptr, true);  // a second firing stops and arms nothing
    EXPECT_EQ(stopFlag.load(), 1);
    EXPECT_EQ(timerCalls, c.calls);
  }
  // Without a timer service nothing is armed or called.
  hostCallbacks.setSearchTimer = nullptr;
  armSearchTimer(100, 300);
  EXPECT_EQ(timerExtension.load(), 0);
}

TEST_F(EngineControl, FiringAfterTheCancelIsIgnored) {
  // A firing that was under way when the driver cancelled neither stops
  // the next search nor arms a timer the cancel has missed.
  armSearchTimer(1000, 3000);
  armSearchTimer(0, 0);
  iterationDone.store(1);
  onTimer(nullptr, true);
  EXPECT_EQ(stopFlag.load(), 0);
  iterationDone.store(0);
  onTimer(nullptr, true);
  EXPECT_EQ(stopFlag.load(), 0);
  EXPECT_EQ(timerCalls, (std::vector<int32_t>{1000, 0}));
  // The next search's timer works as before.
  armSearchTimer(500, 500);
  onTimer(nullptr, true);
  EXPECT_EQ(stopFlag.load(), 1);
}

// A ponderhit in every state of a pondering search. Once the time is known
// it puts the search on the clock: it stops at once when the time rule has
// spoken and nothing can end a long iteration later (the last one complete,
// or no time left for a timer), and otherwise arms the first timer from the
// hit. Before the search knows its time the hit is kept for the driver; a
// search over and waiting only ends its wait.
TEST_F(EngineControl, PonderHitInEveryStateOfTheSearch) {
  struct Hit {
    const char* what;
    int32_t state, phase, iterationDone, timeDecided, timer, type;
    bool stops;
    int32_t stateAfter;
    bool arms, kept;
  };
  const Hit cases[] = {
      {"time rule spoken", ThinkUnlimited, PhaseTimed, 1, 1, 4000, TimeLeftMovesToGo, true, ThinkOnClock, true, false},
      {"before the time rule", ThinkUnlimited, PhaseTimed, 1, 0, 4000, TimeLeftMovesToGo, false, ThinkOnClock, true,
       false},
      {"fail-low since the time rule", ThinkUnlimited, PhaseTimed, 0, 1, 4000, TimeLeftMovesToGo, false, ThinkOnClock,
       true, false},
      {"no time for a timer, time rule spoken", ThinkUnlimited, PhaseTimed, 0, 1, 0, TimeLeftMovesToGo, true,
       ThinkOnClock, false, false},
      {"no time for a timer, before the time rule", ThinkUnlimited, PhaseTimed, 0, 0, 0, TimeLeftMovesToGo, false,
       ThinkOnClock, false, false},
      {"fixed depth", ThinkUnlimited, PhaseTimed, 0, 1, 0, TimeFixedDepth, false, ThinkOnClock, false, false},
      {"before the search", ThinkIdle, PhaseFinished, 0, 0, 4000, TimeLeftMovesToGo, false, ThinkIdle, false, true},
      {"while the search prepares", ThinkUnlimited, PhasePreparing, 0, 0, 4000, TimeLeftMovesToGo, false,
       ThinkUnlimited, false, true},
      {"search over, waiting", ThinkUnlimited, PhaseFinished, 1, 1, 4000, TimeLeftMovesToGo, false, ThinkOnClock,
       false, false},
  };
  for (const Hit& c : cases) {
    SCOPED_TRACE(c.what);
    resetStopFlags();
    timerCalls.clear();
    timeControl = {c.type, 0, 0, 0, 0};
    timerTime = c.timer;
    maxTime = c.timer + 5000;
    thinkState.store(c.state);
    rootPhase.store(c.phase);
    iterationDone.store(c.iterationDone);
    timeDecided.store(c.timeDecided);
    ponderHit();
    EXPECT_EQ(stopFlag.load(), c.stops ? 1 : 0);
    EXPECT_EQ(thinkState.load(), c.stateAfter);
    EXPECT_EQ(timerCalls, c.arms ? std::vector<int32_t>{c.timer} : std::vector<int32_t>{});
    EXPECT_EQ(ponderHitPending.load(), c.kept ? 1 : 0);
  }
  // A kept hit does not outlive the search it was meant for.
  resetStopFlags();
  EXPECT_EQ(ponderHitPending.load(), 0);
}

// The node count goes first, the helpers' nodes included, and an empty
// line reports nothing else; the hash fill is per mille of the entries
// (none for a table too small for a bucket); without the line callback
// nothing at all is sent.
TEST_F(EngineControl, SearchInfoCountsNodesAndTheHashFill) {
  static ThreadBoard board;
  initBoard(&board);
  rootPosition.board = &board;
  board.nodeCount = 1234;
  helperNodeCount.store(66);
  Move empty[2] = {noMove, noMove};
  reportSearchInfo(5, 17, empty, 0);
  EXPECT_EQ(nodeCalls, std::vector<uint64_t>{1300});
  EXPECT_TRUE(pvCalls.empty());

  entryCount = 2000;
  claimedCounts[0].count = 500;
  clearStopwatch(&searchStopwatch);
  Move line[3] = {makeMove16(0x14, 0x34), makeMove16(0x64, 0x44), noMove};
  reportSearchInfo(7, -31, line, 1);
  ASSERT_EQ(pvCalls.size(), 1u);
  EXPECT_EQ(pvCalls[0].hashFill, 250);
  EXPECT_EQ(pvFirstMoves[0], line[0]);
  entryCount = 3;
  reportSearchInfo(7, 0, line, 0);
  EXPECT_EQ(pvCalls.back().hashFill, 0);
  entryCount = 0;
  resetClaimedCount();
  helperNodeCount.store(0);

  hostCallbacks.reportPv = nullptr;
  reportSearchInfo(7, 0, line, 0);
  EXPECT_EQ(nodeCalls.size(), 3u);
}

// The probe gets the en-passant square on the 64-square board (f6 = 45),
// 0 for none; without a probe nothing is found and nothing called.
TEST_F(EngineControl, ProbeTakesTheEnPassantSquareOfItsBoard) {
  static ThreadBoard board;
  initBoard(&board);
  auto place = [](int32_t slot, int32_t colour, int32_t square) {
    PieceRecord* piece = &board.slots[slot];
    piece->colour = colour;
    piece->square = square;
    squareAt(&board, square) = piece;
  };
  place(WhiteKingSlot, White, 0x04);       // e1
  place(BlackKingSlot, Black, 0x74);       // e8
  place(WhiteFirstPawnSlot, White, 0x44);  // e5
  place(BlackLastPawnSlot, Black, 0x45);   // f5
  int32_t score = 0;
  EXPECT_EQ(probeEndgameTable(&board, White, 0x55, &score), 1);
  EXPECT_EQ(score, 7);
  EXPECT_EQ(probeEp, 45);
  probeEndgameTable(&board, Black, 0, &score);
  EXPECT_EQ(probeEp, 0);
  hostCallbacks.tbProbe = nullptr;
  probeEp = -1;
  EXPECT_EQ(probeEndgameTable(&board, White, 0, &score), 0);
  EXPECT_EQ(probeEp, -1);
}
