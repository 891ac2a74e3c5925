// Static geometry tables of the 0x88 board, identical in every build.
//
// The three difference tables are indexed by (to - from) + DifferenceOffset,
// where from and to are board squares; they tell in one look-up whether a
// piece can reach a square (`attackBitsTable`, tested against a kind's
// attack bit), which unit step leads there (`stepTable`) and how many king
// steps away it is (`distanceTable`). Move generation, the attack tests, the
// evaluation and the exchange routine read them; nothing writes them (they
// are constant-initialised, so no start-up code fills them).
#pragma once
#include <array>
#include <cstdint>

namespace engine {

constexpr int32_t DifferenceOffset = 119;
constexpr int32_t DifferenceCount = 239;

// Attack bits: what a square difference allows. A kind's attack bit (king 1,
// queen 2, rook 4, bishop 8, knight 0x10, White pawn 0x20, Black pawn 0x40)
// set in an entry means the kind can reach the target, the path aside.
constexpr uint8_t AttackKingStep = 0x01;
constexpr uint8_t AttackLine = 0x02;        // shared rank, file or diagonal
constexpr uint8_t AttackOrthogonal = 0x04;  // shared rank or file
constexpr uint8_t AttackDiagonal = 0x08;    // shared diagonal
constexpr uint8_t AttackKnightStep = 0x10;
constexpr uint8_t AttackWhitePawn = 0x20;   // difference +15 or +17
constexpr uint8_t AttackBlackPawn = 0x40;   // difference -15 or -17
constexpr uint8_t AttackSlider = AttackLine | AttackOrthogonal | AttackDiagonal;

// Directions in +/- pairs: 0-3 orthogonal, 4-7 diagonal, 8-15 knight, then
// a closing 0. King and queen use 0-7, rook 0-3, bishop 4-7, knight 8-15.
constexpr int32_t DirectionCount = 17;
extern const std::array<int32_t, DirectionCount> directionTable;

// The square itself for a board square, 0 for an off-board index.
extern const std::array<uint8_t, 128> boardSquareTable;

// King distance; 8 for the differences that no two board squares have.
extern const std::array<uint8_t, DifferenceCount> distanceTable;
extern const std::array<uint8_t, DifferenceCount> attackBitsTable;
// Unit step along the shared line, the knight step for a knight difference,
// else 0.
extern const std::array<int8_t, DifferenceCount> stepTable;

inline int32_t squareDistance(int32_t from, int32_t to) { return distanceTable[to - from + DifferenceOffset]; }
inline int32_t attackBits(int32_t from, int32_t to) { return attackBitsTable[to - from + DifferenceOffset]; }
inline int32_t stepToward(int32_t from, int32_t to) { return stepTable[to - from + DifferenceOffset]; }

}  // namespace engine
