// Index functions of the endgames: each maps a position, given as the probe's
// two square lists, to its number in one side's table file.
//
// All 880 functions follow one scheme, so they are one generic routine
// driven by a plan made from the row's name: which side moves, which men
// lead (ranked among their allowed squares per king pair), which trail as
// digits of falling radix and in what order they are placed.
//
// Square lists (a1 = 0 .. h8 = 63), 16 words each: word 3k + n is the
// square of the n-th man of kind k (0 pawn, 1 knight, 2 bishop, 3 rook,
// 4 queen) in ascending square order; word 15 is the king. The first list
// belongs to the side named first in the row's name.
#pragma once
#include <cstdint>

namespace tablebases {

constexpr uint32_t tbNoEnPassant = 127;
// What a position outside the scheme (adjacent kings, a contact check by
// the side to move, a pawn on the first or last rank) gets: never a valid
// index, and no table is read out of bounds to produce it.
constexpr uint64_t tbOutsideScheme = UINT64_MAX;

struct TbIndexPlan {
  int32_t men[2][5];      // per list: pawns, knights, bishops, rooks, queens
  int32_t sideToMove;     // 0: the first list's side, 1: the second's
  bool pawns;             // the row has pawns
  bool bothHavePawns;     // en-passant region exists
  bool ascendingTrailing; // two-a-side six-man rows with pawns
  bool swapForBlack;      // symmetric row with pawns, Black to move
};

using TbIndexRoutine = uint64_t (*)(const TbIndexPlan& plan, const uint32_t* first,
                                    const uint32_t* second, uint32_t enPassant, int32_t invert);

struct TbIndexFunction {
  TbIndexRoutine routine = nullptr;
  TbIndexPlan plan{};
  uint64_t operator()(const uint32_t* first, const uint32_t* second, uint32_t enPassant,
                      int32_t invert) const {
    return routine(plan, first, second, enPassant, invert);
  }
};

// The function of row `name` (e.g. "krpkr") for a side to move (0 or 1);
// `id` tells the two-a-side six-man pawn rows apart. Needs the index tables.
TbIndexFunction tbMakeIndexFunction(const char* name, int32_t id, uint32_t flags, int32_t side);

// One past the largest index the function can produce (its range).
uint64_t tbIndexRange(const TbIndexFunction& function);

uint64_t tbPawnlessIndex(const TbIndexPlan& plan, const uint32_t* first, const uint32_t* second,
                         uint32_t enPassant, int32_t invert);
uint64_t tbPawnIndex(const TbIndexPlan& plan, const uint32_t* first, const uint32_t* second,
                     uint32_t enPassant, int32_t invert);

}  // namespace tablebases
