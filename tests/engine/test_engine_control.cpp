// The engine's control entries and hooks, driven directly with a fake host:
// engine parameters, under-promotion letters, the timer protocol, ponderhit,
// the search-information and current-move reports and the probe board.
#include <gtest/gtest.h>

#include <vector>

#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/module/engine_entries.h"
#include "engine/module/hooks.h"
#include "engine/search/rootsearch.h"
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
struct CurrMoveCall {
  int32_t depth;
  Move move;
  int32_t flags;
};
std::vector<CurrMoveCall> currMoveCalls;
int32_t probeEp = -1;
int8_t probeBoard[64];

void fakeSetSearchTimer(int32_t ms) { timerCalls.push_back(ms); }
void fakeReportPv(const SearchInfo* info) {
  pvCalls.push_back(*info);
  pvFirstMoves.push_back(info->pv[0]);
}
void fakeReportCurrMove(int32_t depth, Move move, int32_t flags) { currMoveCalls.push_back({depth, move, flags}); }
void fakeSetNodeCount(uint64_t nodes) { nodeCalls.push_back(nodes); }
int32_t fakeTbProbe(const int8_t* board, int32_t, int32_t ep, int32_t* out) {
  std::copy(board, board + 64, probeBoard);
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
    currMoveCalls.clear();
    probeEp = -1;
    hostCallbacks = {};
    hostCallbacks.setSearchTimer = fakeSetSearchTimer;
    hostCallbacks.reportPv = fakeReportPv;
    hostCallbacks.reportCurrMove = fakeReportCurrMove;
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

// Setting takes the words (the threat-detection word forced on), but getting
// always gives the defaults, not what was set.
TEST_F(EngineControl, SetTakesTheWordsGetGivesTheDefaults) {
  EngineParameters set = defaultEngineParameters;
  set.words[ParamContempt] = 25;
  set.words[ParamMaxDepth] = 12;
  set.words[ParamThreatDetection] = 0;
  setEngineParameters(&set);
  EXPECT_EQ(engineParameters.words[ParamContempt], 25);
  EXPECT_EQ(engineParameters.words[ParamMaxDepth], 12);
  EXPECT_EQ(engineParameters.words[ParamThreatDetection], 1);
  EngineParameters got;
  getEngineParameters(&got);
  for (int32_t i = 0; i < EngineParameterWords; ++i)
    EXPECT_EQ(got.words[i], defaultEngineParameters.words[i]) << "word " << i;
  setEngineParameters(&defaultEngineParameters);
}

TEST_F(EngineControl, ThreadWordSetsTheCountAndFreshTokens) {
  // A pool of 12 helper records on a 6-processor machine (the records
  // themselves are not needed to count). The word counts the master too.
  const int32_t savedCreated = threadsCreated, savedCpus = cpuCount;
  threadsCreated = 12;
  cpuCount = 6;
  EngineParameters set = defaultEngineParameters;

  set.words[ParamThreads] = 4;
  setEngineParameters(&set);
  EXPECT_EQ(nThreads.load(), 3);
  EXPECT_EQ(freeTokens(handOffTokens.load()), 3);
  EXPECT_EQ(freeTokens(resplitTokens.load()), 3);  // min(3, 4)

  // An unchanged word leaves the tokens alone.
  platform::Semaphore* tokens = handOffTokens.load();
  platform::waitSemaphore(tokens);  // one token out
  setEngineParameters(&set);
  EXPECT_EQ(handOffTokens.load(), tokens);
  EXPECT_EQ(freeTokens(tokens), 2);
  platform::releaseSemaphore(tokens);

  // One thread is the master alone: no helper, no token.
  set.words[ParamThreads] = 1;
  setEngineParameters(&set);
  EXPECT_EQ(nThreads.load(), 0);
  EXPECT_EQ(freeTokens(handOffTokens.load()), 0);

  // 0 and 41 mean the processor count: the master and 5 helpers.
  set.words[ParamThreads] = 0;
  setEngineParameters(&set);
  EXPECT_EQ(nThreads.load(), 5);
  set.words[ParamThreads] = 41;
  setEngineParameters(&set);
  EXPECT_EQ(nThreads.load(), 5);

  // 40 is taken, but never more helpers than exist; beyond 8 helpers 16
  // may own splits.
  set.words[ParamThreads] = 40;
  setEngineParameters(&set);
  EXPECT_EQ(nThreads.load(), 12);
  EXPECT_EQ(freeTokens(handOffTokens.load()), 12);
  EXPECT_EQ(freeTokens(resplitTokens.load()), 12);  // min(12, 16)
  set.words[ParamThreads] = 9;
  setEngineParameters(&set);
  EXPECT_EQ(freeTokens(resplitTokens.load()), 4);

  threadsCreated = savedCreated;
  cpuCount = savedCpus;
  setHelperCount(0);
  setEngineParameters(&defaultEngineParameters);
}

TEST_F(EngineControl, UnderPromotionLettersOnlyForPawnsAndUpperCase) {
  // The host's move bytes for White's under-promotions on e8.
  const Move e7e8 = makeMove16(0x64, 0x74);
  EXPECT_EQ(moveToByte(applyPromotionLetter(e7e8, PawnCode, 'N')), 0xA4);
  EXPECT_EQ(moveToByte(applyPromotionLetter(e7e8, PawnCode, 'B')), 0x94);
  EXPECT_EQ(moveToByte(applyPromotionLetter(e7e8, PawnCode, 'R')), 0x84);
  // Lower case, a queen or no letter: the plain move (a queen).
  for (int32_t letter : {int32_t('n'), int32_t('b'), int32_t('r'), int32_t('q'), int32_t('Q'), int32_t(' '), 0})
    EXPECT_EQ(applyPromotionLetter(e7e8, PawnCode, letter), e7e8);

  // Both colours: the byte agrees with the board's own encoding and decodes
  // back to the target square and the piece (Black's amounts are subtracted).
  const Move d2d1 = makeMove16(0x13, 0x03);
  for (auto [move, colour] : {std::pair{e7e8, White}, std::pair{d2d1, Black}}) {
    for (auto [letter, piece] : {std::pair{'R', PromoteRook}, std::pair{'B', PromoteBishop}, std::pair{'N', PromoteKnight}}) {
      Move adjusted = applyPromotionLetter(move, PawnCode, letter);
      EXPECT_EQ(moveToByte(adjusted), underPromotionByte(moveTo(move), piece, colour)) << char(letter);
      EXPECT_EQ(moveTo(adjusted), moveTo(move));
      EXPECT_EQ(promotionPiece(moveToByte(adjusted)), piece);
    }
  }

  // Not a pawn, or not onto a last rank: the letter is ignored.
  EXPECT_EQ(applyPromotionLetter(makeMove16(0x66, 0x74), KnightCode, 'N'), makeMove16(0x66, 0x74));
  EXPECT_EQ(applyPromotionLetter(makeMove16(0x14, 0x34), PawnCode, 'N'), makeMove16(0x14, 0x34));
}

TEST_F(EngineControl, TimerAfterACompletedIterationStops) {
  armSearchTimer(1000, 3000);
  ASSERT_EQ(timerCalls, std::vector<int32_t>{1000});
  EXPECT_EQ(timerExtension.load(), 2000);
  iterationDone.store(1);
  onTimer(nullptr, true);
  EXPECT_EQ(stopFlag.load(), 1);
  EXPECT_EQ(timerCalls.size(), 1u);  // nothing armed
}

TEST_F(EngineControl, TimerDuringAFailLowRearmsAndStopsAtTheSecondFiring) {
  armSearchTimer(1000, 3000);
  iterationDone.store(0);
  onTimer(nullptr, true);
  EXPECT_EQ(stopFlag.load(), 0);
  ASSERT_EQ(timerCalls, (std::vector<int32_t>{1000, -2000}));
  EXPECT_EQ(timerExtension.load(), 0);
  onTimer(nullptr, true);
  EXPECT_EQ(stopFlag.load(), 1);
  EXPECT_EQ(timerCalls.size(), 2u);  // never armed with 0 from the callback
}

TEST_F(EngineControl, MoveTimeHasNoExtension) {
  armSearchTimer(5000, 5000);
  iterationDone.store(0);
  onTimer(nullptr, true);
  EXPECT_EQ(stopFlag.load(), 1);
  EXPECT_EQ(timerCalls, std::vector<int32_t>{5000});
}

TEST_F(EngineControl, CancelAndMissingTimerSlot) {
  armSearchTimer(0, 0);
  EXPECT_EQ(timerCalls, std::vector<int32_t>{0});
  EXPECT_EQ(timerExtension.load(), 0);
  hostCallbacks.setSearchTimer = nullptr;
  armSearchTimer(100, 300);  // no timer service: nothing happens
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

TEST_F(EngineControl, PonderHitAfterTheTimeRuleStopsAtOnce) {
  thinkState.store(ThinkUnlimited);
  rootPhase.store(PhaseTimed);
  timerTime = 4000;
  maxTime = 9000;
  iterationDone.store(1);
  timeDecided.store(1);
  ponderHit();
  EXPECT_EQ(stopFlag.load(), 1);
  EXPECT_EQ(thinkState.load(), ThinkOnClock);
}

TEST_F(EngineControl, PonderHitBeforeTheTimeRuleStartsTheClock) {
  thinkState.store(ThinkUnlimited);
  rootPhase.store(PhaseTimed);
  timerTime = 4000;
  maxTime = 9000;
  iterationDone.store(1);
  timeDecided.store(0);
  ponderHit();
  EXPECT_EQ(stopFlag.load(), 0);
  EXPECT_EQ(thinkState.load(), ThinkOnClock);
  EXPECT_EQ(timerCalls, std::vector<int32_t>{4000});
  EXPECT_EQ(timerExtension.load(), 5000);
  // A fail-low since the time rule: the search goes on too.
  timerCalls.clear();
  thinkState.store(ThinkUnlimited);
  iterationDone.store(0);
  timeDecided.store(1);
  ponderHit();
  EXPECT_EQ(stopFlag.load(), 0);
  EXPECT_EQ(timerCalls, std::vector<int32_t>{4000});
}

TEST_F(EngineControl, PonderHitWithNoTimeLeftStopsOnceTheTimeIsDecided) {
  // Under a second on the clock gives no timer: a fail-low iteration under
  // way would otherwise run on unbounded after the hit.
  timeControl = {TimeLeftMovesToGo, 0, 2, 0, 0};
  timerTime = 0;
  maxTime = 0;
  thinkState.store(ThinkUnlimited);
  rootPhase.store(PhaseTimed);
  iterationDone.store(0);
  timeDecided.store(1);
  ponderHit();
  EXPECT_EQ(stopFlag.load(), 1);
  EXPECT_TRUE(timerCalls.empty());
  // Before the first iteration has decided the time, the time rule ends it.
  resetStopFlags();
  thinkState.store(ThinkUnlimited);
  ponderHit();
  EXPECT_EQ(stopFlag.load(), 0);
  EXPECT_EQ(thinkState.load(), ThinkOnClock);
  // A fixed depth arms no timer: its search runs to the depth.
  resetStopFlags();
  timeControl = {TimeFixedDepth, 8, 0, 0, 0};
  thinkState.store(ThinkUnlimited);
  timeDecided.store(1);
  ponderHit();
  EXPECT_EQ(stopFlag.load(), 0);
}

TEST_F(EngineControl, EarlyPonderHitIsLatchedNotArmed) {
  // Before the search has allocated its time (or started at all), a
  // ponderhit arms no stale timer; the driver takes it up later.
  timerTime = 4000;
  thinkState.store(ThinkIdle);
  ponderHit();
  EXPECT_EQ(ponderHitPending.load(), 1);
  EXPECT_TRUE(timerCalls.empty());
  thinkState.store(ThinkUnlimited);
  rootPhase.store(PhasePreparing);
  ponderHit();
  EXPECT_EQ(thinkState.load(), ThinkUnlimited);
  EXPECT_TRUE(timerCalls.empty());
  resetStopFlags();
  EXPECT_EQ(ponderHitPending.load(), 0);
}

TEST_F(EngineControl, PonderHitAfterTheSearchEndsTheWaitOnly) {
  timerTime = 4000;
  thinkState.store(ThinkUnlimited);
  rootPhase.store(PhaseFinished);
  ponderHit();
  EXPECT_EQ(thinkState.load(), ThinkOnClock);
  EXPECT_TRUE(timerCalls.empty());
  EXPECT_EQ(ponderHitPending.load(), 0);
}

TEST_F(EngineControl, StopSetsTheFlagAndEndsTheWait) {
  thinkState.store(ThinkUnlimited);
  stopThinking();
  EXPECT_EQ(stopFlag.load(), 1);
  EXPECT_EQ(thinkState.load(), ThinkOnClock);
  resetStopFlags();
  EXPECT_EQ(stopFlag.load(), 0);
}

TEST_F(EngineControl, SearchInfoWithEmptyLineCountsNodesOnly) {
  static ThreadBoard board;
  initBoard(&board);
  rootPosition.board = &board;
  board.nodeCount = 1234;
  helperNodeCount.store(66);
  Move empty[2] = {noMove, noMove};
  reportSearchInfo(5, 17, empty, 0);
  EXPECT_EQ(nodeCalls, std::vector<uint64_t>{1300});
  EXPECT_TRUE(pvCalls.empty());

  // A real line: every field goes through, the hash fill per mille.
  entryCount = 2000;
  claimedCounts[0].count = 500;
  lineIndex = 2;
  clearStopwatch(&searchStopwatch);
  Move line[3] = {makeMove16(0x14, 0x34), makeMove16(0x64, 0x44), noMove};
  reportSearchInfo(7, -31, line, 1);
  ASSERT_EQ(pvCalls.size(), 1u);
  EXPECT_EQ(pvCalls[0].lineIndex, 2);
  EXPECT_EQ(pvCalls[0].depth, 7);
  EXPECT_EQ(pvCalls[0].score, -31);
  EXPECT_EQ(pvCalls[0].time, 0);
  EXPECT_EQ(pvCalls[0].hashFill, 250);
  EXPECT_EQ(pvCalls[0].boundMark, 1);
  EXPECT_EQ(pvFirstMoves[0], line[0]);
  EXPECT_EQ(nodeCalls.size(), 2u);

  // A table too small for a bucket counts as none.
  entryCount = 3;
  reportSearchInfo(7, 0, line, 0);
  EXPECT_EQ(pvCalls.back().hashFill, 0);
  entryCount = 0;
  resetClaimedCount();
  lineIndex = 0;
  helperNodeCount.store(0);

  // Without the line callback nothing at all is sent.
  hostCallbacks.reportPv = nullptr;
  reportSearchInfo(7, 0, line, 0);
  EXPECT_EQ(nodeCalls.size(), 3u);
}

TEST_F(EngineControl, CurrentMoveFlags) {
  static ThreadBoard board;
  initBoard(&board);
  static Position child;
  initPosition(&child, &board);
  announceCurrentMove(11, nullptr, 0);
  ASSERT_EQ(currMoveCalls.size(), 1u);
  EXPECT_EQ(currMoveCalls[0].depth, 11);
  EXPECT_EQ(currMoveCalls[0].move, noMove);
  EXPECT_EQ(currMoveCalls[0].flags, 0);

  // A White pawn promoted to a knight on e8, by helper record 7 (threadId 9).
  PieceRecord* piece = &board.slots[WhiteFirstPawnSlot];
  piece->kind = &board.kinds[WhiteKnight];
  piece->colour = White;
  piece->square = 0x74;
  squareAt(&board, 0x74) = piece;
  child.lastMove = makeMove16(0x64, 0xA4);
  child.searchFlags = SearchSpecialMove;
  board.threadId = 9;
  announceCurrentMove(12, &child, 1);
  ASSERT_EQ(currMoveCalls.size(), 2u);
  EXPECT_EQ(currMoveCalls[1].move, child.lastMove);
  EXPECT_EQ(currMoveCalls[1].flags, 2 + CurrMoveDoNotCount + ('N' << CurrMoveLetterShift));

  // A plain move by the master: no letter, no thread bits.
  child.searchFlags = 0;
  board.threadId = 1;
  announceCurrentMove(12, &child, 0);
  EXPECT_EQ(currMoveCalls[2].flags, 0);
}

TEST_F(EngineControl, ProbeBoardAndEnPassantSquare) {
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
  EXPECT_EQ(probeEp, 45);  // f6
  EXPECT_EQ(probeBoard[4], 12);       // White king: 6 + 6
  EXPECT_EQ(probeBoard[60], 0);       // Black king: 6 - 6
  EXPECT_EQ(probeBoard[4 * 8 + 4], 7);  // White pawn: 6 + 1
  EXPECT_EQ(probeBoard[4 * 8 + 5], 5);  // Black pawn: 6 - 1
  EXPECT_EQ(probeBoard[0], 6);
  EXPECT_EQ(probeBoard[63], 6);
  probeEndgameTable(&board, Black, 0, &score);
  EXPECT_EQ(probeEp, 0);
  // No probe installed: not found, and nothing is called.
  hostCallbacks.tbProbe = nullptr;
  probeEp = -1;
  EXPECT_EQ(probeEndgameTable(&board, White, 0, &score), 0);
  EXPECT_EQ(probeEp, -1);
}
