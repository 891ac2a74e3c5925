#include "helpers/module_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "engine/control/control.h"
#include "helpers/reference_legal.h"
#include "platform/module.h"
#include "platform/timer.h"

namespace testing_host {

namespace {

constexpr uint32_t TestHashBytes = 16u << 20;

std::mutex recordLock;
std::vector<ReportedLine> lines;
std::vector<int32_t> timers;
int32_t nodeCalls = 0;
int32_t currMoves = 0;
// The threads that announced root moves (helpers search root moves too).
std::set<std::thread::id> currMoveThreads;
std::atomic<bool> stopOnCurrMove{false};

// The two one-shot timer slots, as the front end keeps them.
std::mutex timerLock;
platform::TimerHandle firstTimer = 0;
platform::TimerHandle secondTimer = 0;

engine::EngineEntries entries{};
engine::HostCallbacks callbacks{};

void onFire(void*, bool fired) { entries.onTimer(nullptr, fired); }

void setSearchTimer(int32_t ms) {
  {
    std::lock_guard<std::mutex> guard(recordLock);
    timers.push_back(ms);
  }
  // Old timers are cancelled outside the lock: a running callback may be
  // arming the second timer right now.
  platform::TimerHandle cancelFirst = 0, cancelSecond = 0;
  {
    std::lock_guard<std::mutex> guard(timerLock);
    if (ms >= 0) {
      cancelFirst = firstTimer;
      firstTimer = 0;
    }
    if (ms <= 0) {
      cancelSecond = secondTimer;
      secondTimer = 0;
    }
  }
  platform::cancelTimer(cancelFirst);
  platform::cancelTimer(cancelSecond);
  if (ms == 0) return;
  platform::TimerHandle handle = platform::armTimer(uint32_t(ms > 0 ? ms : -ms), onFire, nullptr);
  std::lock_guard<std::mutex> guard(timerLock);
  (ms > 0 ? firstTimer : secondTimer) = handle;
}

void reportPv(const engine::SearchInfo* info) {
  ReportedLine line{info->lineIndex, info->depth, info->score, info->time, {}, 0};
  for (int32_t i = 0; i < 64 && engine::moveFrom(info->pv[i]) != engine::NoSquare; ++i) line.pv.push_back(info->pv[i]);
  std::lock_guard<std::mutex> guard(recordLock);
  line.currMovesBefore = currMoves;
  lines.push_back(line);
}

void reportCurrMove(int32_t, engine::Move, int32_t) {
  if (stopOnCurrMove.load()) entries.stopThinking();
  std::lock_guard<std::mutex> guard(recordLock);
  ++currMoves;
  currMoveThreads.insert(std::this_thread::get_id());
}

void setNodeCount(uint64_t) {
  std::lock_guard<std::mutex> guard(recordLock);
  ++nodeCalls;
}

}  // namespace

bool moduleLoaded(std::string* reason) {
  static bool tried = false;
  static bool loaded = false;
  static std::string failure;
  if (!tried) {
    tried = true;
    const char* error = nullptr;
    void* module = loadModuleFromPath(modulePath().c_str(), &error);
    auto init = reinterpret_cast<engine::EngineInitFunction>(platform::findModuleSymbol(module, "EngineInit"));
    if (module == nullptr || init == nullptr) {
      failure = "engine module not loadable: " + std::string(error != nullptr ? error : "no EngineInit");
    } else {
      callbacks.setSearchTimer = setSearchTimer;
      callbacks.reportPv = reportPv;
      callbacks.reportCurrMove = reportCurrMove;
      callbacks.setNodeCount = setNodeCount;
      init(&callbacks, &entries);
      // The front end's start-up order: parameters read, table sized, then
      // the parameters passed.
      engine::EngineParameters parameters;
      entries.getEngineParameters(&parameters);
      entries.initEngine(TestHashBytes, 0);
      entries.setEngineParameters(&parameters);
      loaded = true;
    }
  }
  if (!loaded && reason != nullptr) *reason = failure;
  return loaded;
}

engine::EngineEntries& moduleEntries() {
  if (!moduleLoaded(nullptr)) ADD_FAILURE() << "engine module not loaded";
  return entries;
}

// Clears what the callbacks recorded.
static void clearRecords() {
  std::lock_guard<std::mutex> guard(recordLock);
  lines.clear();
  timers.clear();
  nodeCalls = 0;
  currMoves = 0;
  currMoveThreads.clear();
}

std::vector<ReportedLine> reportedLines() {
  std::lock_guard<std::mutex> guard(recordLock);
  return lines;
}

std::vector<int32_t> timerCalls() {
  std::lock_guard<std::mutex> guard(recordLock);
  return timers;
}

int32_t nodeCountCalls() {
  std::lock_guard<std::mutex> guard(recordLock);
  return nodeCalls;
}

int32_t currMoveCalls() {
  std::lock_guard<std::mutex> guard(recordLock);
  return currMoves;
}

int32_t currMoveThreadCount() {
  std::lock_guard<std::mutex> guard(recordLock);
  return int32_t(currMoveThreads.size());
}

void stopAtFirstCurrMove(bool on) { stopOnCurrMove.store(on); }

int64_t runSearch(int32_t type, int32_t time, int32_t moves, int32_t lineCount, int32_t mode) {
  engine::EngineEntries& e = moduleEntries();
  e.resetStopFlags();
  e.setTimeControl(type, time, moves, 0, 0);
  auto start = std::chrono::steady_clock::now();
  e.think(lineCount, mode);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

void setPosition(const char* fen) {
  clearRecords();
  EXPECT_EQ(moduleEntries().setEnginePosition(fen), 0) << fen;
}

ReportedLine searchToDepth(const char* fen, int32_t depth) {
  setPosition(fen);
  moduleEntries().clearEngineHash();
  runSearch(engine::TimeFixedDepth, depth, 0, 1, engine::ThinkNormal);
  expectLegalLines(fen);
  return lastLine();
}

ReportedLine lastLine() {
  std::vector<ReportedLine> all = reportedLines();
  if (all.empty()) {
    ADD_FAILURE() << "no line reported";
    return {};
  }
  return all.back();
}

void expectLegalLines(const char* fen) {
  reference::Grid grid = reference::gridFromFullFen(fen);
  for (const ReportedLine& line : reportedLines()) {
    ASSERT_FALSE(line.pv.empty()) << fen << " depth " << line.depth;
    EXPECT_TRUE(reference::isLegal(grid, line.pv[0])) << fen << " depth " << line.depth;
  }
}

void setHelpers(int32_t helpers) {
  engine::EngineParameters parameters = engine::defaultEngineParameters;
  parameters.words[engine::ParamThreads] = helpers + 1;
  moduleEntries().setEngineParameters(&parameters);
}

engine::Move moveOf(const char* text) {
  return engine::makeMove16(engine::makeSquare(text[0] - 'a', text[1] - '1'),
                            engine::makeSquare(text[2] - 'a', text[3] - '1'));
}

}  // namespace testing_host
