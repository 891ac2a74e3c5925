// A small retrograde solver for the tablebase tests: exact distance to mate
// of every position of a three-man endgame (White king and one White man
// against the bare Black king), with its own move generator on a 64-square
// board. Independent of the engine's search and of the tablebase code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_tb {

// Kinds of the extra White man.
enum class Man { Pawn, Knight, Bishop, Rook, Queen };

// Values: +n the side to move mates with its n-th move, -n it is mated
// after the opponent's n-th move (-0 checkmated now, stored as lossNow),
// 0 a draw; `illegal` for positions that cannot occur.
constexpr int16_t illegal = -32000;
constexpr int16_t lossNow = -30000;

struct Solution {
  Man man;
  // value[side][whiteKing][blackKing][manSquare], side 0 = White to move.
  std::vector<int16_t> value;
  int16_t at(int side, int wk, int bk, int m) const { return value[size_t(((side * 64 + wk) * 64 + bk) * 64 + m)]; }
};

// Solves the endgame; promotions read the solutions of the pieces.
Solution solve(Man man);

// Longest win for White to move (in moves).
int longestWin(const Solution& s);

}  // namespace testing_tb
