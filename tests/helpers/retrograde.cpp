#include "helpers/retrograde.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace testing_tb {

namespace {

int fileOf(int s) { return s & 7; }
int rankOf(int s) { return s >> 3; }
bool onBoard(int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; }
bool adjacent(int a, int b) { return std::max(std::abs(fileOf(a) - fileOf(b)), std::abs(rankOf(a) - rankOf(b))) <= 1; }

const int kingSteps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
const int knightSteps[8][2] = {{1, 2}, {2, 1}, {-1, 2}, {-2, 1}, {1, -2}, {2, -1}, {-1, -2}, {-2, -1}};

// Squares the man attacks from `from` with the kings on the board.
bool manAttacks(Man man, int from, int target, int blockerA, int blockerB) {
  int df = fileOf(target) - fileOf(from), dr = rankOf(target) - rankOf(from);
  switch (man) {
    case Man::Pawn: return std::abs(df) == 1 && dr == 1;
    case Man::Knight: return (std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1);
    default: {
      bool diagonal = std::abs(df) == std::abs(dr) && df != 0, straight = (df == 0) != (dr == 0);
      bool can = (man == Man::Bishop && diagonal) || (man == Man::Rook && straight) ||
                 (man == Man::Queen && (diagonal || straight));
      if (!can) return false;
      int step = (df > 0) - (df < 0) + 8 * ((dr > 0) - (dr < 0));
      for (int s = from + step; s != target; s += step)
        if (s == blockerA || s == blockerB) return false;
      return true;
    }
  }
}

struct Solver {
  Man man;
  std::vector<int16_t> v;
  std::map<Man, const Solution*> promoted;
  int16_t& at(int side, int wk, int bk, int m) { return v[size_t(((side * 64 + wk) * 64 + bk) * 64 + m)]; }

  bool legal(int side, int wk, int bk, int m) const {
    if (wk == bk || wk == m || bk == m || adjacent(wk, bk)) return false;
    if (man == Man::Pawn && (m < 8 || m > 55)) return false;
    // Black to move may be in check; White to move must not leave Black in check.
    if (side == 0 && manAttacks(man, m, bk, wk, -1)) return false;
    return true;
  }
  bool blackInCheck(int wk, int bk, int m) const { return manAttacks(man, m, bk, wk, -1); }

  // Child values from the mover's opponent's view, through `visit`.
  template <class Visit>
  void children(int side, int wk, int bk, int m, Visit visit) {
    if (side == 0) {
      for (auto& st : kingSteps) {
        int f = fileOf(wk) + st[0], r = rankOf(wk) + st[1];
        if (!onBoard(f, r)) continue;
        int to = r * 8 + f;
        if (to == m || adjacent(to, bk)) continue;
        visit(at(1, to, bk, m));
      }
      if (man == Man::Pawn) {
        int one = m + 8;
        if (one != wk && one != bk) {
          if (rankOf(one) == 7) {
            for (auto& p : promoted) {
              int16_t val = p.second->at(1, wk, bk, one);
              visit(val);
            }
          } else {
            visit(at(1, wk, bk, one));
            int two = m + 16;
            if (rankOf(m) == 1 && two != wk && two != bk) visit(at(1, wk, bk, two));
          }
        }
        return;
      }
      if (man == Man::Knight) {
        for (auto& st : knightSteps) {
          int f = fileOf(m) + st[0], r = rankOf(m) + st[1];
          if (!onBoard(f, r)) continue;
          int to = r * 8 + f;
          if (to != wk && to != bk) visit(at(1, wk, bk, to));
        }
        return;
      }
      for (auto& st : kingSteps) {
        bool diagonal = st[0] != 0 && st[1] != 0;
        if ((man == Man::Rook && diagonal) || (man == Man::Bishop && !diagonal)) continue;
        for (int f = fileOf(m) + st[0], r = rankOf(m) + st[1]; onBoard(f, r); f += st[0], r += st[1]) {
          int to = r * 8 + f;
          if (to == wk || to == bk) break;
          visit(at(1, wk, bk, to));
        }
      }
    } else {
      for (auto& st : kingSteps) {
        int f = fileOf(bk) + st[0], r = rankOf(bk) + st[1];
        if (!onBoard(f, r)) continue;
        int to = r * 8 + f;
        if (adjacent(to, wk)) continue;
        if (to == m) {
          // Capturing the man: bare kings, a draw, unless it is defended.
          if (!adjacent(m, wk)) visit(int16_t(0));
          continue;
        }
        if (manAttacks(man, m, to, wk, -1)) continue;
        visit(at(0, wk, to, m));
      }
    }
  }

  void run() {
    v.assign(size_t(2 * 64 * 64 * 64), illegal);
    const int16_t undecided = 32000;
    for (int side = 0; side < 2; ++side)
      for (int wk = 0; wk < 64; ++wk)
        for (int bk = 0; bk < 64; ++bk)
          for (int m = 0; m < 64; ++m)
            if (legal(side, wk, bk, m)) at(side, wk, bk, m) = undecided;
    // Mates and stalemates, and moves into decided sub-endgames, settle as
    // the levels grow: level n decides wins in n and losses in n.
    int quietLevels = 0;
    for (int level = 0; level < 300 && quietLevels < 3; ++level) {
      bool changed = false;
      std::vector<std::pair<size_t, int16_t>> decided;
      for (int side = 0; side < 2; ++side)
        for (int wk = 0; wk < 64; ++wk)
          for (int bk = 0; bk < 64; ++bk)
            for (int m = 0; m < 64; ++m) {
              int16_t& cur = at(side, wk, bk, m);
              if (cur != undecided) continue;
              int moves = 0, opponentWinsWithin = 0, bestLoss = 1000;
              bool drawn = false, open = false;
              children(side, wk, bk, m, [&](int16_t c) {
                ++moves;
                if (c == undecided) open = true;
                else if (c == lossNow) bestLoss = std::min(bestLoss, 0);
                else if (c < 0) bestLoss = std::min(bestLoss, int(-c));
                else if (c == 0) drawn = true;
                else opponentWinsWithin = std::max(opponentWinsWithin, int(c));
              });
              int16_t result = undecided;
              if (moves == 0) {
                bool check = side == 1 && blackInCheck(wk, bk, m);
                result = check ? lossNow : 0;
              } else if (bestLoss <= level) {
                result = int16_t(bestLoss + 1);  // win in bestLoss + 1
              } else if (!open && !drawn && bestLoss == 1000 && opponentWinsWithin <= level) {
                result = int16_t(-opponentWinsWithin);  // mated after the opponent's n-th move
              } else if (!open && drawn && bestLoss == 1000) {
                result = 0;  // the best the mover has is a draw
              }
              if (result != undecided) decided.push_back({size_t(&cur - v.data()), result});
            }
      for (auto& d : decided) {
        v[d.first] = d.second;
        changed = true;
      }
      quietLevels = changed ? 0 : quietLevels + 1;
    }
    for (auto& x : v)
      if (x == undecided) x = 0;  // never forced: a draw
  }
};

}  // namespace

Solution solve(Man man) {
  static std::map<Man, Solution> cache;
  auto found = cache.find(man);
  if (found != cache.end()) return found->second;
  Solver s;
  s.man = man;
  if (man == Man::Pawn)
    for (Man p : {Man::Queen, Man::Rook, Man::Bishop, Man::Knight}) {
      cache.emplace(p, solve(p));
      s.promoted[p] = &cache.at(p);
    }
  s.run();
  Solution result{man, std::move(s.v)};
  cache.emplace(man, result);
  return result;
}

int longestWin(const Solution& s) {
  int longest = 0;
  for (int wk = 0; wk < 64; ++wk)
    for (int bk = 0; bk < 64; ++bk)
      for (int m = 0; m < 64; ++m) longest = std::max(longest, int(s.at(0, wk, bk, m)));
  return longest;
}

}  // namespace testing_tb
