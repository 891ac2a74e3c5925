// quillon_bench eval [--endgame] [--repeat N]
//
// Speed of the static evaluation: a fixed set of positions, each set up
// from its text and evaluated whole (entry, evaluator, bias, drift and
// contempt) N times in a row on the master board. The default set keeps
// enough material for the evaluation with more material; `--endgame` takes
// a set that the evaluation with reduced material scores. Prints one line
// per position (its static value, to spot a changed evaluation), then
// "checksum C" and last "evals N time MS eps X".
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/quillon_bench/commands.h"
#include "engine/board/setup.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/control/control.h"
#include "helpers/perft.h"

using namespace engine;

namespace {

constexpr int32_t DefaultRepeat = 20000;

// Openings and middlegames: every term of the evaluation with more
// material comes up (castling rights, shelters, passed pawns, open files,
// bishop pairs, queenless middlegames and a few drawish material balances).
const char* const MiddlegamePositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "rnbqkb1r/pp1p1ppp/4pn2/2p5/2PP4/5N2/PP2PPPP/RNBQKB1R w KQkq - 0 4",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "2r3k1/pp3ppp/2n1b3/q2pP3/3P4/P1PB1N2/5PPP/R2Q1RK1 w - - 1 18",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2NBPN2/PP3PPP/R1BQ1RK1 b - - 3 8",
    "r2q1rk1/pb1nbppp/1p2pn2/2pp4/3P4/1P1BPN2/PBPN1PPP/R2Q1RK1 w - - 2 10",
    "2kr3r/ppp2ppp/2n1b3/2b1P3/8/2N2N2/PPP2PPP/R1B1K2R w KQ - 4 11",
    "r2qr1k1/1b1nbppp/pp1ppn2/8/2PNP3/1PN1BP2/P2QB1PP/2RR2K1 b - - 0 14",
    "2rr2k1/pp3ppp/2n1p3/8/3P4/2N2P2/PP4PP/2RR2K1 w - - 0 20",
    "r4rk1/pp3ppp/2n5/3p4/3P4/2N5/PP3PPP/R4RK1 w - - 5 16",
    "4rrk1/1p3ppp/p1n5/2b1p3/4P3/P1N2B2/1P3PPP/3R1RK1 w - - 7 22",
    "3r2k1/5ppp/p1b5/1p6/4P3/1B3P2/PP4PP/3R2K1 w - - 0 28",
    "1r4k1/5ppp/2n5/2P5/1P6/5N2/5PPP/3R2K1 b - - 12 31",
    "6k1/5pp1/4q2p/8/3Q4/7P/5PP1/6K1 w - - 20 40",
};

// Endings for the evaluation with reduced material: pawn endings, rook and
// minor-piece endings, the drawn balances and a few mating material sets.
const char* const EndgamePositions[] = {
    "8/8/4k3/3p4/3P4/4K3/8/8 w - - 0 50",
    "8/8/1p4k1/p1p2p2/P1P2P2/1P4K1/8/8 w - - 0 40",
    "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1",
    "8/5pk1/6p1/8/3R4/6P1/5P1P/6K1 b - - 3 35",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 30",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/8/8/4k3/8/8/3QK3/8 w - - 0 60",
    "2b5/8/4k3/8/8/3NK3/8/3B4 w - - 0 70",
    "8/5k2/3b4/8/2B5/4PK2/5P2/8 b - - 4 45",
    "8/6k1/8/3n4/8/1P2N3/P4K2/8 b - - 2 38",
    "5k2/8/8/8/8/8/P7/2B3K1 w - - 0 55",
    "3r4/5k2/8/8/3P4/3K4/8/4R3 w - - 9 52",
    "8/4k3/8/2b5/8/8/5N2/3K4 w - - 30 80",
    "8/8/2k5/8/8/8/3K4/3R4 b - - 40 90",
};

template <size_t N>
constexpr int32_t countOf(const char* const (&)[N]) {
  return int32_t(N);
}

int usage() {
  std::fprintf(stderr, "usage: quillon_bench eval [--endgame] [--repeat N]\n");
  return 2;
}

}  // namespace

int runEval(int argc, char** argv) {
  bool endgame = false;
  long repeat = DefaultRepeat;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--endgame") == 0) {
      endgame = true;
    } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::strtol(argv[++i], nullptr, 10);
    } else {
      return usage();
    }
  }
  if (repeat < 1) return usage();
  const char* const* positions = endgame ? EndgamePositions : MiddlegamePositions;
  const int32_t count = endgame ? countOf(EndgamePositions) : countOf(MiddlegamePositions);

  uint64_t evals = 0;
  int64_t checksum = 0;
  std::chrono::steady_clock::duration spent{};
  for (int32_t i = 0; i < count; ++i) {
    if (!perft::setUp(positions[i])) {
      std::fprintf(stderr, "position refused: %s\n", positions[i]);
      return 1;
    }
    Position* root = &rootPosition;
    // As the root driver does: the engine plays the side to move, no
    // randomisation, and one evaluation re-derives the weights.
    engineSide = root->side;
    openingOffset = 0;
    evaluate(root, 1);
    const bool middlegame = root->board->materialSum > middlegameThreshold;
    if (middlegame == endgame) std::fprintf(stderr, "note: takes the other evaluator: %s\n", positions[i]);

    const auto start = std::chrono::steady_clock::now();
    for (long n = 0; n < repeat; ++n) {
      evaluate(root, 0);
      checksum += root->staticValue;
    }
    spent += std::chrono::steady_clock::now() - start;
    evals += uint64_t(repeat);
    std::printf("%-72s %6d\n", positions[i], int(root->staticValue));
  }

  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(spent).count();
  const uint64_t eps = evals * 1000 / uint64_t(ms > 0 ? ms : 1);
  std::printf("checksum %" PRId64 "\n", checksum);
  std::printf("evals %" PRIu64 " time %" PRId64 " eps %" PRIu64 "\n", evals, ms, eps);
  return 0;
}
