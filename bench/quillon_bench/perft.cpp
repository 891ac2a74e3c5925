// quillon_bench perft DEPTH [FEN]
//
// The legal move tree of the position (default the start position)
// to DEPTH plies; prints each legal root move in coordinate text with the
// leaves below it (a divide, to compare with another move generator), then
// as its last line "nodes N time MS nps X".
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/quillon_bench/commands.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/perft.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: quillon_bench perft DEPTH [FEN]\n");
  return 2;
}

}  // namespace

int runPerft(int argc, char** argv) {
  if (argc < 3) return usage();
  char* end = nullptr;
  const long depth = std::strtol(argv[2], &end, 10);
  if (*end != '\0' || depth < 1 || depth > perft::MaxPerftDepth) {
    std::fprintf(stderr, "depth must be 1 to %d\n", int(perft::MaxPerftDepth));
    return 2;
  }
  // The position text is the rest of the command line.
  std::string fen;
  for (int i = 3; i < argc; ++i) fen += std::string(i > 3 ? " " : "") + argv[i];
  if (!perft::setUp(fen.empty() ? nullptr : fen.c_str())) {
    std::fprintf(stderr, "position refused: %s\n", fen.c_str());
    return 1;
  }

  auto work = std::make_unique<perft::PerftPlies>();
  const auto start = std::chrono::steady_clock::now();
  const std::vector<perft::DivideEntry> entries = perft::divide(&engine::rootPosition, int32_t(depth), work.get());
  const auto stop = std::chrono::steady_clock::now();

  uint64_t nodes = 0;
  for (const perft::DivideEntry& entry : entries) {
    std::printf("%s: %" PRIu64 "\n", testing_board::moveText(entry.move).c_str(), entry.leaves);
    nodes += entry.leaves;
  }
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(stop - start).count();
  const uint64_t nps = nodes * 1000 / uint64_t(ms > 0 ? ms : 1);
  std::printf("nodes %" PRIu64 " time %" PRId64 " nps %" PRIu64 "\n", nodes, ms, nps);
  return 0;
}
