// Perft: counts the leaves of the legal move tree of a position to a fixed
// depth with the engine's own picker, make, key update and unmake, the way
// the search walks it. A move is legal when the mover's king is not
// attacked afterwards. The counts of well-known positions check move
// generation, make and unmake together.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/board/board.h"

namespace perft {

// Plies of the walk; deeper runs than this are refused.
constexpr int32_t MaxPerftDepth = 16;

// One ply record per depth on one board; the root is plies[0].
struct PerftPlies {
  engine::Position plies[MaxPerftDepth + 1];
};

// Builds the hash keys (once) and sets the engine's game up from a position
// text; the root is then `engine::rootPosition`. False when refused.
bool setUp(const char* fen);

// Leaves below `root` at `depth` (1 = the legal moves of the root). The
// plies after the first are taken from `work`.
uint64_t countLeaves(engine::Position* root, int32_t depth, PerftPlies* work);

struct DivideEntry {
  engine::Move move;
  uint64_t leaves;
};
// The legal root moves in picker order with the leaves below each.
std::vector<DivideEntry> divide(engine::Position* root, int32_t depth, PerftPlies* work);

// Checks made at every node of a checked walk.
struct CheckReport {
  uint64_t leaves = 0;
  uint64_t boardMismatches = 0;     // board after unmake differs from before make
  uint64_t positionMismatches = 0;  // parent's state changed by make and unmake
  uint64_t keyMismatches = 0;       // incremental key differs from one built anew
  std::string firstFailure;         // the move path of the first mismatch
};
// A slow walk that compares, around every move, the board record and the
// parent's state before make and after unmake, and each child's key and
// lock with those computed from its pieces. It first gives the root's board
// non-zero evaluation weights, so that the pieces' current values, which
// unmake must restore, differ from square to square.
CheckReport checkedWalk(engine::Position* root, int32_t depth, PerftPlies* work);

}  // namespace perft
