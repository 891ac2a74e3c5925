// Benchmarks and debugging aids of the engine, one command per file:
//
//   quillon_bench perft DEPTH [FEN]
//   quillon_bench search [--depth D] [--threads T] [--positions N]
//     (T search threads in all: the master and T - 1 helpers; default 1)
//   quillon_bench eval [--endgame] [--repeat N]
#include <cstdio>
#include <cstring>

#include "bench/quillon_bench/commands.h"

namespace {

struct BenchCommand {
  const char* name;
  int (*run)(int argc, char** argv);
};

const BenchCommand Commands[] = {
    {"perft", runPerft},
    {"search", runSearch},
    {"eval", runEval},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    for (const BenchCommand& command : Commands)
      if (std::strcmp(argv[1], command.name) == 0) return command.run(argc, argv);
  }
  std::fprintf(stderr, "usage: quillon_bench perft DEPTH [FEN]\n"
                       "       quillon_bench search [--depth D] [--threads T] [--positions N]\n"
                       "           (T search threads in all: the master and T - 1 helpers; default 1)\n"
                       "       quillon_bench eval [--endgame] [--repeat N]\n");
  return 2;
}
