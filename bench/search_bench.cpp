// Search figures through the engine module: a fixed set of positions, each
// searched to a fixed depth from a cleared table, with T helper threads
// beside the master (0 = the master alone). Prints nodes, time and nodes per
// second per position and the node total last (single-threaded totals are
// the same in every run and in both widths).
//
//   search_bench [--threads T] [--depth D]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/engine_interface.h"
#include "platform/module.h"

using namespace engine;

namespace {

const char* const BenchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "2r3k1/pp3ppp/2n1b3/q2pP3/3P4/P1PB1N2/5PPP/R2Q1RK1 w - -",
};

EngineEntries entries{};
HostCallbacks callbacks{};
uint64_t lastNodes = 0;
int32_t lastDepth = 0;

void setNodeCount(uint64_t nodes) { lastNodes = nodes; }
void reportPv(const SearchInfo* info) { lastDepth = info->depth; }

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int32_t helpers = 0;
  int32_t depth = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--threads") == 0) helpers = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--depth") == 0) depth = std::atoi(argv[i + 1]);
  }
  const char* name = sizeof(void*) == 8 ? "qln12.x64.so" : "qln12.w32.so";
  void* module = platform::loadModuleBesideExecutable(name);
  auto init = reinterpret_cast<EngineInitFunction>(platform::findModuleSymbol(module, "EngineInit"));
  if (init == nullptr) {
    std::printf("cannot load %s\n", name);
    return 1;
  }
  callbacks.setNodeCount = setNodeCount;
  callbacks.reportPv = reportPv;
  init(&callbacks, &entries);
  EngineParameters parameters;
  entries.getEngineParameters(&parameters);
  entries.initEngine(64u << 20, 0);
  // Helpers: 0 keeps the master alone; the thread word counts helpers.
  entries.setEngineParameters(&parameters);
  if (helpers > 0) {
    parameters.words[ParamThreads] = helpers;
    entries.setEngineParameters(&parameters);
  }

  uint64_t totalNodes = 0;
  double totalSeconds = 0;
  for (const char* fen : BenchPositions) {
    entries.setEnginePosition(fen);
    entries.clearEngineHash();
    entries.resetStopFlags();
    entries.setTimeControl(0, depth, 0, 0, 0);
    auto start = std::chrono::steady_clock::now();
    entries.think(1, ThinkNormal);
    double seconds = secondsSince(start);
    totalNodes += lastNodes;
    totalSeconds += seconds;
    std::printf("depth %2d nodes %12llu time %7.3f s nps %10.0f  %s\n", lastDepth, (unsigned long long)lastNodes,
                seconds, lastNodes / (seconds > 0 ? seconds : 1e-9), fen);
  }
  std::printf("helpers %d depth %d time %.3f s nps %.0f\n", helpers, depth, totalSeconds,
              totalNodes / (totalSeconds > 0 ? totalSeconds : 1e-9));
  std::printf("Nodes: %llu\n", (unsigned long long)totalNodes);
  return 0;
}
