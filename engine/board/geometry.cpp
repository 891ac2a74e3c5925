// The geometry tables, built at compile time by brute force over every pair
// of board squares, so each entry follows its definition directly.
#include "engine/board/geometry.h"

namespace engine {
namespace {

constexpr int32_t magnitude(int32_t v) { return v < 0 ? -v : v; }
constexpr int32_t sign(int32_t v) { return (v > 0) - (v < 0); }

struct Difference {
  int32_t fileDelta;
  int32_t rankDelta;
};

constexpr Difference differenceOf(int32_t from, int32_t to) {
  return {(to & 7) - (from & 7), (to >> 4) - (from >> 4)};
}

constexpr bool isKnightStep(Difference d) {
  int32_t f = magnitude(d.fileDelta);
  int32_t r = magnitude(d.rankDelta);
  return (f == 1 && r == 2) || (f == 2 && r == 1);
}

// Calls visit(from, to) for every ordered pair of distinct board squares.
template <typename Visit>
constexpr void forEachSquarePair(Visit visit) {
  for (int32_t from = 0; from < 128; ++from) {
    if (from & 0x88) continue;
    for (int32_t to = 0; to < 128; ++to)
      if (!(to & 0x88) && to != from) visit(from, to);
  }
}

constexpr std::array<uint8_t, 128> buildBoardSquares() {
  std::array<uint8_t, 128> table{};
  for (int32_t s = 0; s < 128; ++s) table[s] = (s & 0x88) ? 0 : uint8_t(s);
  return table;
}

constexpr std::array<uint8_t, DifferenceCount> buildDistances() {
  std::array<uint8_t, DifferenceCount> table{};
  // Differences that no two board squares have keep 8.
  for (auto& entry : table) entry = 8;
  table[DifferenceOffset] = 0;
  forEachSquarePair([&](int32_t from, int32_t to) {
    Difference d = differenceOf(from, to);
    int32_t f = magnitude(d.fileDelta);
    int32_t r = magnitude(d.rankDelta);
    table[to - from + DifferenceOffset] = uint8_t(f > r ? f : r);
  });
  return table;
}

constexpr std::array<uint8_t, DifferenceCount> buildAttackBits() {
  std::array<uint8_t, DifferenceCount> table{};
  forEachSquarePair([&](int32_t from, int32_t to) {
    Difference d = differenceOf(from, to);
    int32_t f = magnitude(d.fileDelta);
    int32_t r = magnitude(d.rankDelta);
    int32_t diff = to - from;
    uint8_t bits = 0;
    if (f <= 1 && r <= 1) bits |= AttackKingStep;
    bool orthogonal = f == 0 || r == 0;
    bool diagonal = f == r;
    if (orthogonal || diagonal) bits |= AttackLine;
    if (orthogonal) bits |= AttackOrthogonal;
    if (diagonal) bits |= AttackDiagonal;
    if (isKnightStep(d)) bits |= AttackKnightStep;
    if (diff == 15 || diff == 17) bits |= AttackWhitePawn;
    if (diff == -15 || diff == -17) bits |= AttackBlackPawn;
    table[diff + DifferenceOffset] = bits;
  });
  return table;
}

constexpr std::array<int8_t, DifferenceCount> buildSteps() {
  std::array<int8_t, DifferenceCount> table{};
  forEachSquarePair([&](int32_t from, int32_t to) {
    Difference d = differenceOf(from, to);
    int32_t f = magnitude(d.fileDelta);
    int32_t r = magnitude(d.rankDelta);
    int32_t step = 0;
    if (f == 0 || r == 0 || f == r)
      step = sign(d.rankDelta) * 16 + sign(d.fileDelta);
    else if (isKnightStep(d))
      step = to - from;
    table[to - from + DifferenceOffset] = int8_t(step);
  });
  return table;
}

}  // namespace

constinit const std::array<int32_t, DirectionCount> directionTable = {
    1, -1, 16, -16, 17, -17, 15, -15, 18, -18, 14, -14, 33, -33, 31, -31, 0};
constinit const std::array<uint8_t, 128> boardSquareTable = buildBoardSquares();
constinit const std::array<uint8_t, DifferenceCount> distanceTable = buildDistances();
constinit const std::array<uint8_t, DifferenceCount> attackBitsTable = buildAttackBits();
constinit const std::array<int8_t, DifferenceCount> stepTable = buildSteps();

}  // namespace engine
