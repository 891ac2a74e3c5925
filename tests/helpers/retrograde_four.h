// A retrograde solver for four-man endgames without pawns: White king and
// one White piece against Black king and one Black piece (KQKR for the
// tests). Exact distance to mate of every position, by backward induction
// over plies from the mates and from the captures, which lead into the
// three-man endgames of retrograde.h. Own move generation on a 64-square
// board; independent of the engine and of the tablebase code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "helpers/retrograde.h"

namespace testing_tb {

// Values as in retrograde.h: +n the side to move mates with its n-th move,
// -n it is mated by the opponent's n-th move, lossNow checkmated, 0 a draw,
// `illegal` for positions that cannot occur.
struct FourManSolution {
  Man white;  // the White piece
  Man black;  // the Black piece
  std::vector<int16_t> value;
  static size_t indexOf(int side, int wk, int wm, int bk, int bm) {
    return size_t((((side * 64 + wk) * 64 + wm) * 64 + bk) * 64 + bm);
  }
  int16_t at(int side, int wk, int wm, int bk, int bm) const { return value[indexOf(side, wk, wm, bk, bm)]; }
};

// Pieces only (no pawns). Solved once per process and kept.
const FourManSolution& solveFourMen(Man white, Man black);

// Longest win for White to move (in moves).
int longestWin(const FourManSolution& s);

}  // namespace testing_tb
