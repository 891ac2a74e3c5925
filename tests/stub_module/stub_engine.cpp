// A stand-in engine module for the front end's protocol tests. It binds
// through EngineInit like the real module, prints one "stub ..." line for
// each entry the front end calls (so a test sees exactly what reached the
// engine), and runs a scripted "search" that reports through the host's
// callbacks:
//   - depth N (type 0): one line per depth 1..N, then it returns;
//   - move time, clock (types 4, 6): lines every few milliseconds until the
//     host's one-shot timer calls the timer entry;
//   - ponder and infinite analysis: lines until "stopThinking" (or, after
//     "ponderHit", until the timer fires); its first line comes only after
//     a short pause, so a test can send "stop" before any line exists.
// In infinite analysis it reports one line per principal variation asked.
#include <atomic>
#include <cstdarg>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#include "engine/control/engine_interface.h"

namespace {

using engine::Move;

constexpr int32_t TypeDepth = 0;
constexpr int32_t ModeNormal = 0;
constexpr int32_t ModeInfinite = 2;
constexpr int32_t ReportPauseMs = 5;
constexpr int32_t FirstLinePauseMs = 150;
constexpr int32_t PonderHitTimerMs = 40;
constexpr int32_t MaxScriptedDepth = 60;
constexpr int32_t MaxLines = 8;

engine::HostCallbacks host;
engine::EngineParameters live;
std::atomic<int32_t> stopFlag{0};
int32_t controlType = 0;
int32_t controlTime = 0;

// Principal variations from the start position: knight moves, legal there.
const Move variations[MaxLines][3] = {
    {0x2506, 0x5576, 0x0C0C},  // g1f3 g8f6
    {0x2201, 0x5271, 0x0C0C},  // b1c3 b8c6
    {0x3414, 0x4464, 0x0C0C},  // e2e4 e7e5
    {0x3313, 0x4363, 0x0C0C},  // d2d4 d7d5
    {0x3212, 0x4262, 0x0C0C},  // c2c4 c7c5
    {0x2616, 0x4666, 0x0C0C},  // g2g3 g7g5
    {0x2010, 0x4060, 0x0C0C},  // a2a3 a7a5
    {0x2717, 0x4767, 0x0C0C},  // h2h3 h7h5
};

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
  char line[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof(line), format, arguments);
  va_end(arguments);
  std::fprintf(stdout, "%s\n", line);
  std::fflush(stdout);
}

void pause(int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void reportDepth(int32_t depth, int32_t lines, int32_t startMs) {
  if (host.reportCurrMove != nullptr) host.reportCurrMove(depth, engine::noMove, 0);
  for (int32_t line = 0; line < lines && line < MaxLines; ++line) {
    if (host.setNodeCount != nullptr) host.setNodeCount(uint64_t(depth) * 1000);
    engine::SearchInfo info = {line, depth, 20 - line * 7, startMs + depth, 3, variations[line], 0};
    if (host.reportPv != nullptr) host.reportPv(&info);
  }
}

void setEngineParameters(const engine::EngineParameters* parameters) {
  live = *parameters;
  say("stub setEngineParameters threads %d contempt %d clear %d margin %d depth %d", live.words[engine::ParamThreads],
      live.words[engine::ParamContempt], live.words[engine::ParamClearHash], live.words[engine::ParamThreatMargin],
      live.words[engine::ParamMaxDepth]);
}
void getEngineParameters(engine::EngineParameters* out) { *out = engine::defaultEngineParameters; }
void clearEngineHash() { say("stub clearEngineHash"); }
// The most the stand-in "allocates", so a larger request comes short.
constexpr uint32_t MostTableBytes = 256u << 20;
uint32_t initEngine(uint32_t bytes, int32_t pieces) {
  say("stub initEngine %u %d", bytes, pieces);
  return bytes < MostTableBytes ? bytes : MostTableBytes;
}
void releaseEngineHash() { say("stub releaseEngineHash"); }
int32_t setEnginePosition(const char* text) {
  say("stub setEnginePosition %s", text != nullptr ? text : "(null)");
  // A text with an "X" stands for one the engine refuses.
  return text != nullptr && std::strchr(text, 'X') != nullptr ? -1 : 0;
}
int32_t playEngineMove(Move move, int32_t letter) {
  say("stub playEngineMove %04x %c", move, static_cast<char>(letter));
  return 0;
}
void setTimeControl(int32_t type, int32_t time, int32_t moves, int32_t increment, int32_t extra) {
  controlType = type;
  controlTime = time;
  say("stub setTimeControl %d %d %d %d %d", type, time, moves, increment, extra);
}
void setMoveNumber(int32_t) {}
void resetStopFlags() { stopFlag.store(0); }

void think(int32_t lines, int32_t mode) {
  say("stub think %d %d", lines, mode);
  int32_t shown = mode == ModeInfinite ? lines : 1;
  if (mode == ModeNormal && controlType == TypeDepth) {
    for (int32_t depth = 1; depth <= controlTime && depth <= MaxScriptedDepth; ++depth) reportDepth(depth, shown, 0);
    return;
  }
  if (mode == ModeNormal && host.setSearchTimer != nullptr) {
    // Move time in ms; clock time in seconds, of which a thirtieth is used.
    int32_t ms = controlType == 4 ? controlTime : controlTime * 1000 / 30 + 1;
    host.setSearchTimer(ms);
  } else if (mode != ModeNormal) {
    pause(FirstLinePauseMs);
  }
  for (int32_t depth = 1; stopFlag.load() == 0; ++depth) {
    reportDepth(depth < MaxScriptedDepth ? depth : MaxScriptedDepth, shown, 0);
    pause(ReportPauseMs);
  }
  if (host.setSearchTimer != nullptr) host.setSearchTimer(0);
}

void ponderHit() {
  say("stub ponderHit");
  if (host.setSearchTimer != nullptr) host.setSearchTimer(PonderHitTimerMs);
}
void stopThinking() {
  say("stub stopThinking");
  stopFlag.store(1);
}
void onTimer(void*, bool) { stopFlag.store(1); }

}  // namespace

extern "C" __attribute__((visibility("default"))) void EngineInit(engine::HostCallbacks* in,
                                                                   engine::EngineEntries* out) {
  host = *in;
  live = engine::defaultEngineParameters;
  out->setEngineParameters = setEngineParameters;
  out->getEngineParameters = getEngineParameters;
  out->clearEngineHash = clearEngineHash;
  out->initEngine = initEngine;
  out->releaseEngineHash = releaseEngineHash;
  out->setEnginePosition = setEnginePosition;
  out->playEngineMove = playEngineMove;
  out->setTimeControl = setTimeControl;
  out->setMoveNumber = setMoveNumber;
  out->resetStopFlags = resetStopFlags;
  out->think = think;
  out->ponderHit = ponderHit;
  out->stopThinking = stopThinking;
  out->onTimer = onTimer;
}
