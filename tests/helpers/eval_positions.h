// Helpers for the evaluation tests: colour-mirrored positions, and running
// the two evaluators' stages on a board built from a FEN board field.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "engine/board/board.h"

namespace testing_eval {

// A board record and a position on it, built from a FEN board field.
struct EvalPosition {
  std::unique_ptr<engine::ThreadBoard> board = std::make_unique<engine::ThreadBoard>();
  std::unique_ptr<engine::Position> pos = std::make_unique<engine::Position>();
};

// Builds a position (half-move clock 0 unless given).
void buildEvalPosition(EvalPosition& ep, const std::string& field, int32_t side, uint32_t castling = 0,
                       int32_t clock = 0);

// The board field with ranks reversed and colours exchanged.
std::string mirrorField(const std::string& field);
// Castling state flags with the colours exchanged.
uint32_t mirrorCastling(uint32_t flags);

// The pawn bits of the control-flag map (0x01, 0x02, 0x20, 0x40) as the
// influence passes set them, computed square by square from the board.
void setPawnControlFlags(engine::ThreadBoard* board);

// Runs the evaluator that the board's material selects, stage by stage,
// with the pawn control flags above standing in for the influence passes.
// Returns the score from White's point of view; engineSide and
// openingOffset are set as given first.
int32_t runEvaluatorStages(EvalPosition& ep, int32_t engineSideValue);

}  // namespace testing_eval

namespace testing_eval {

// A position and its colour mirror run through the evaluator stages
// (engine side = side to move in each). `compared` is false when the
// position falls under one of the evaluation's deliberate asymmetries (a lone
// bishop with pawns on the board, an attacking piece on a far square of a
// king zone whose mirror square is outside the mirrored zone, knight and
// bishop base values that differ by colour, the pure-pawn passer rule for
// the side not to move); `tolerance` is 1 when scaling by f/64 rounds the
// negated scalar differently.
struct MirrorPair {
  bool compared = false;
  int32_t score = 0;        // White's view
  int32_t mirrorScore = 0;  // White's view of the mirror
  int32_t tolerance = 0;
};
MirrorPair mirrorPair(const std::string& field, int32_t side, uint32_t castling, int32_t clock);

}  // namespace testing_eval
