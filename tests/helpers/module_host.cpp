#include "helpers/module_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "platform/module.h"
#include "platform/timer.h"

namespace testing_host {

namespace {

constexpr uint32_t TestHashBytes = 16u << 20;

std::mutex recordLock;
std::vector<ReportedLine> lines;
std::vector<int32_t> timers;
uint64_t nodes = 0;
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

void setNodeCount(uint64_t count) {
  std::lock_guard<std::mutex> guard(recordLock);
  nodes = count;
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

void clearRecords() {
  std::lock_guard<std::mutex> guard(recordLock);
  lines.clear();
  timers.clear();
  nodes = 0;
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

uint64_t lastNodeCount() {
  std::lock_guard<std::mutex> guard(recordLock);
  return nodes;
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

}  // namespace testing_host
