// Search figures through the engine module: a fixed set of positions from
// every phase of the game, each searched to a fixed depth ("go depth") from
// a cleared table. Prints nodes, time and nodes per second per position,
// and last the totals as "nodes N time MS nps X". --threads T searches on
// T threads in all, as the "Threads" option counts them: the master and
// T - 1 helpers. With 1 (the default: the master alone, so no move is ever
// handed over) the node total is the same in every run and in both widths.
//
//   quillon_bench search [--depth D] [--threads T] [--positions N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/quillon_bench/commands.h"
#include "engine/module/engine_entries.h"
#include "engine/control/engine_interface.h"
#include "engine/search/threads.h"

using namespace engine;

namespace {

// Depth at which the whole set takes about 5 to 20 seconds in the release
// build on one thread (about 11 s on a busy 8-core machine).
constexpr int32_t DefaultDepth = 10;
constexpr uint32_t BenchHashBytes = 64u << 20;

const char* const BenchPositions[] = {
    // Openings.
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
    "rnbqkb1r/pp1p1ppp/4pn2/2p5/2PP4/5N2/PP2PPPP/RNBQKB1R w KQkq -",
    "rnbqk2r/ppp1bppp/4pn2/3p4/2PP4/2N2N2/PP2PPPP/R1BQKB1R w KQkq -",
    // Middlegames (Kiwipete third).
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "2r3k1/pp3ppp/2n1b3/q2pP3/3P4/P1PB1N2/5PPP/R2Q1RK1 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2NBPN2/PP3PPP/R1BQ1RK1 b - -",
    "r2q1rk1/pb1nbppp/1p2pn2/2pp4/3P4/1P1BPN2/PBPN1PPP/R2Q1RK1 w - -",
    "2kr3r/ppp2ppp/2n1b3/2b1P3/8/2N2N2/PPP2PPP/R1B1K2R w KQ -",
    // Endgames.
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "8/8/4k3/3p4/3P4/4K3/8/8 w - -",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -",
    "8/5pk1/6p1/8/3R4/6P1/5P1P/6K1 b - -",
    "8/8/1p4k1/p1p2p2/P1P2P2/1P4K1/8/8 w - -",
    "4k3/8/8/8/8/8/4P3/4K3 w - -",
    "8/8/8/4k3/8/8/3QK3/8 w - -",
    "2b5/8/4k3/8/8/3NK3/8/3B4 w - -",
};
constexpr int32_t PositionCount = int32_t(sizeof(BenchPositions) / sizeof(BenchPositions[0]));

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

int runSearch(int argc, char** argv) {
  int32_t threads = 1;
  int32_t depth = DefaultDepth;
  int32_t positions = PositionCount;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--threads") == 0) threads = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--depth") == 0) depth = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--positions") == 0) positions = std::atoi(argv[i + 1]);
  }
  if (threads < 1) threads = 1;
  if (positions < 1 || positions > PositionCount) positions = PositionCount;
  callbacks.setNodeCount = setNodeCount;
  callbacks.reportPv = reportPv;
  bindEngine(&callbacks, &entries);
  EngineParameters parameters;
  entries.getEngineParameters(&parameters);
  entries.setEngineParameters(&parameters);
  entries.initEngine(BenchHashBytes, 0);
  // The pool exists now; the helpers are set directly, so that more threads
  // than processors can be asked for (at most the helpers the pool started).
  setHelperCount(threads - 1);
  threads = nThreads.load() + 1;

  uint64_t totalNodes = 0;
  double totalSeconds = 0;
  for (int32_t i = 0; i < positions; ++i) {
    const char* fen = BenchPositions[i];
    entries.setEnginePosition(fen);
    entries.clearEngineHash();
    entries.resetStopFlags();
    entries.setTimeControl(0, depth, 0, 0, 0);
    lastNodes = 0;
    lastDepth = 0;
    auto start = std::chrono::steady_clock::now();
    entries.think(1, ThinkNormal);
    double seconds = secondsSince(start);
    totalNodes += lastNodes;
    totalSeconds += seconds;
    std::printf("%2d depth %2d nodes %12llu time %7.3f s nps %10.0f  %s\n", i + 1, lastDepth,
                (unsigned long long)lastNodes, seconds, lastNodes / (seconds > 0 ? seconds : 1e-9), fen);
  }
  std::printf("threads %d depth %d positions %d\n", threads, depth, positions);
  std::printf("nodes %llu time %lld nps %.0f\n", (unsigned long long)totalNodes,
              (long long)(totalSeconds * 1000), totalNodes / (totalSeconds > 0 ? totalSeconds : 1e-9));
  return 0;
}
