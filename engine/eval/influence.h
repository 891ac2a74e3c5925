// The parts of the influence passes that the evaluation with more material
// and the one with reduced material share: the king-zone weights that make
// squares near a king worth more to the attacker, the knight pass and the
// schedule of ray walks that turn the per-square line and knight values of
// the evaluation block into entries of the knight, queen, rook and bishop
// tables.
//
// Everything here works on one thread's board record during one evaluator
// call, after the seeding has filled `controlFlagMap`, `lineInfluenceMap`
// and `knightInfluenceMap`.
#pragma once
#include <cstdint>

#include "engine/board/board.h"

namespace engine {

// What a square of a king's zone adds to the attacker's line value (slider)
// and knight value (knight), already scaled by the king-safety word.
struct ZoneWeight {
  int32_t slider;
  int32_t knight;
};

// The king-zone weight of `square` for the king of `defender`; flags are the
// square's control flags as seeded so far (the defender's pawn-attack bit is
// read). Zero when the square lies outside the zone or the side has no
// shelter square.
ZoneWeight kingZoneWeight(ThreadBoard* board, int32_t defender, int32_t square, uint16_t flags);

// Gives every square of the knight table, per colour, the sum of the
// colour's knight values a knight's step away; nothing without knights.
void spreadKnightInfluence(ThreadBoard* board);

// Walks every rank and file (with queens or rooks on the board) and every
// diagonal of two or more squares (with queens or bishops) in both
// directions with `accumulateRay`.
void walkInfluenceRays(ThreadBoard* board);

}  // namespace engine
