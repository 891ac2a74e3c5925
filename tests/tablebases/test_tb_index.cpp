// The tablebase index numbering: golden indices of positions, each row's
// length against its index range, and the index functions checked for
// injectivity, symmetry and range by enumerating positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "helpers/tb_rows.h"
#include "tablebases/endgame_table.h"
#include "tablebases/index_functions.h"
#include "tablebases/index_tables.h"

using namespace tablebases;

namespace {

int sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

struct Position {
  uint32_t list[2][16];
};

// A position from each side's men, e.g. "Kg1 Bc1 Pe4" (K P N B R Q), the
// first text for the side the row's name lists first.
Position position(const char* first, const char* second) {
  Position pos{};
  const char* texts[2] = {first, second};
  const char* kinds = "PNBRQ";
  for (int l = 0; l < 2; ++l) {
    std::vector<int> kind[5];
    for (const char* c = texts[l]; *c != '\0'; c += c[3] == ' ' ? 4 : 3) {
      int s = sq(c + 1);
      if (*c == 'K') pos.list[l][15] = uint32_t(s);
      else kind[std::strchr(kinds, *c) - kinds].push_back(s);
    }
    for (int k = 0; k < 5; ++k) {
      std::sort(kind[k].begin(), kind[k].end());
      for (size_t n = 0; n < kind[k].size(); ++n) pos.list[l][3 * k + n] = uint32_t(kind[k][n]);
    }
  }
  return pos;
}

const TbDesc& row(const char* name) { return tbDesc[testing_tb::rowId(name)]; }

uint64_t indexOf(const char* name, int side, const Position& pos, uint32_t ep = tbNoEnPassant, int invert = 0) {
  return row(name).indexFunction[side](pos.list[0], pos.list[1], ep, invert);
}

class TbIndex : public ::testing::Test {
 protected:
  void SetUp() override { tbBuildDescriptors(); }
};

}  // namespace

// The index functions keep pointers into the tables: building again must
// neither reallocate nor rebuild them.
TEST_F(TbIndex, ASecondBuildKeepsTheTables) {
  uint32_t* before = tbPawnOffsets2[3][2];
  tbBuildIndexTables();
  EXPECT_EQ(tbPawnOffsets2[3][2], before);
}

// The numbers under which the table files store these positions, one row
// per rule of the numbering, worked out from the format's rules by a
// separate computation (not from this code's tables): any slip in folding,
// ranking, placing or ordering the digits reads another position's entry.
TEST_F(TbIndex, GoldenIndices) {
  struct {
    const char* row;
    int side;
    const char *first, *second, *enPassant;
    uint64_t index;
  } cases[] = {
      // Black to move, no leading man: files mirrored, king pair (d1, d3).
      {"knk", 1, "Ke3 Nh8", "Ke1", nullptr, 10098},
      {"kpk", 0, "Ke1 Pe2", "Ke8", nullptr, 10487},
      // White's pawn leads for Black to move, the board turned.
      {"kpk", 1, "Ke1 Pe2", "Ke8", nullptr, 10854},
      {"kpkp", 0, "Ka1 Pe5", "Kh8 Pd5", nullptr, 128384},
      // After d7-d5: the en-passant region follows the ordinary one, whose
      // first index the lowest en-passant position takes.
      {"kpkp", 0, "Ka1 Pe5", "Kh8 Pd5", "d6", 3839037},
      {"kpkp", 0, "Ka1 Pb5", "Kc1 Pa5", "a6", 3838208},
      {"kppkp", 0, "Kb1 Pe5 Pg6", "Kh8 Pd5", "d6", 83179431},
      // Two pawns can take: the one on the lower square is the capturer.
      {"kppkp", 0, "Kb1 Pc5 Pe5", "Kh8 Pd5", "d6", 83179311},
      {"kqqpkp", 0, "Kb1 Qa3 Qc4 Pe5", "Kh8 Pd5", "d6", 5816097729},
      // The queen leads; rook, bishop, knight trail in that order.
      {"krbnkq", 1, "Kh4 Rc6 Bf3 Ng7", "Kb1 Qa8", nullptr, 702595650},
      // The knight is placed before the bishops, whose digit ranks higher.
      {"kbbnk", 1, "Kg5 Be3 Bb7 Na4", "Kc2", nullptr, 30245731},
      {"kbnpkp", 1, "Kf2 Bb3 Nh6 Pd4", "Kc7 Pe4", nullptr, 2957783668},
      {"kbnpkp", 1, "Kf2 Bb3 Nh6 Pd4", "Kc7 Pe4", "d3", 13655537767},
      // Two men a side with pawns: the pawn is the first trailing digit.
      {"kbpknp", 0, "Kg1 Bc1 Pe4", "Ka8 Nf6 Pb5", nullptr, 875376843},
  };
  for (auto& c : cases) {
    uint32_t ep = c.enPassant ? uint32_t(sq(c.enPassant)) : tbNoEnPassant;
    EXPECT_EQ(indexOf(c.row, c.side, position(c.first, c.second), ep), c.index)
        << c.row << " side " << c.side << " " << c.first << " / " << c.second;
  }
}

// A row's length is the size of its table files, which leave out only the
// tail of the index range (positions that cannot occur there): every length
// lies within the last thousandth of its range. The ranges of the smallest
// rows are totals of the scheme that the files have in full.
TEST_F(TbIndex, LengthsFillTheIndexRanges) {
  for (int i = 1; i < tbRowCount; ++i) {
    for (int side = 0; side < 2; ++side) {
      if (side == 1 && (tbDesc[i].flags & tbSymmetric)) continue;
      uint64_t range = tbIndexRange(tbDesc[i].indexFunction[side]), length = tbDesc[i].positions[side];
      EXPECT_LE(length, range) << tbDesc[i].name << " side " << side;
      EXPECT_LT(range - length, range / 1000) << tbDesc[i].name << " side " << side;
    }
  }
  struct {
    const char* name;
    int side;
    uint64_t range;
  } totals[] = {{"knk", 0, 26282},      {"knk", 1, 28644},      {"kbk", 0, 27243},   {"krk", 0, 27036},
                {"kqk", 0, 25635},      {"kpk", 0, 81664},      {"kpk", 1, 84012},   {"kpkp", 0, 3863492},
                {"kpkp", 1, 3863492},   {"kppkp", 0, 84219362}};
  for (auto& c : totals) EXPECT_EQ(tbIndexRange(row(c.name).indexFunction[c.side]), c.range) << c.name;
}

namespace {

int fileOf(int s) { return s & 7; }
int rankOf(int s) { return s >> 3; }
int distance(int a, int b) { return std::max(std::abs(fileOf(a) - fileOf(b)), std::abs(rankOf(a) - rankOf(b))); }

// Board symmetry number t (0..7) of a square: bit 0 mirrors files, bit 1
// ranks, bit 2 reflects in the a1-h8 diagonal.
int transform(int s, int t) {
  if (t & 4) s = (fileOf(s) << 3) | rankOf(s);
  if (t & 1) s ^= 7;
  if (t & 2) s ^= 56;
  return s;
}

// Both kings on the a1-h8 diagonal or both on a8-h1: such positions keep
// two numbers (the fold does not reflect them further).
bool onOneDiagonal(int a, int b) {
  return (fileOf(a) == rankOf(a) && fileOf(b) == rankOf(b)) ||
         (fileOf(a) + rankOf(a) == 7 && fileOf(b) + rankOf(b) == 7);
}

// A contact check by a man of list kind k of the side to move (its pawns
// moving up when `up`) on the king: squares the scheme does not rank.
bool contactCheck(int k, bool up, int s, int king) {
  int df = fileOf(king) - fileOf(s), dr = rankOf(king) - rankOf(s);
  switch (k) {
    case 0: return std::abs(df) == 1 && dr == (up ? 1 : -1);
    case 1: return (std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1);
    case 2: return std::abs(df) == 1 && std::abs(dr) == 1;
    case 3: return std::abs(df) + std::abs(dr) == 1;
    default: return std::max(std::abs(df), std::abs(dr)) == 1;
  }
}

// Enumerates every position of a row with up to four men and checks that
// the index is below the range and that equal indices mean symmetric images.
void checkInjective(const char* name, int side, bool withEnPassant) {
  const TbDesc& r = row(name);
  const TbIndexFunction& f = r.indexFunction[side];
  uint64_t range = tbIndexRange(f);
  int32_t men[2][5];
  tbParseName(name, men[0], men[1]);
  bool pawns = f.plan.pawns;
  struct Slot { int list, kind; };
  std::vector<Slot> slots;
  for (int l = 0; l < 2; ++l)
    for (int k = 0; k < 5; ++k)
      for (int n = 0; n < men[l][k]; ++n) slots.push_back({l, k});
  std::vector<int64_t> owner(range, -1);
  int64_t positions = 0;
  std::vector<int> square(slots.size() + 2);
  // Canonical code of a position: the smallest code over its symmetry images.
  auto code = [&](const std::vector<int>& s, uint32_t ep) {
    int64_t best = -1;
    for (int t = 0; t < (pawns ? 2 : 8); ++t) {
      int img[8];
      const size_t n = s.size();
      for (size_t i = 0; i < n; ++i) img[i] = transform(s[i], t);
      // Like men are interchangeable: sort within each kind.
      size_t at = 2;
      for (int l = 0; l < 2; ++l)
        for (int k = 0; k < 5; ++k) {
          std::sort(img + at, img + at + size_t(men[l][k]));
          at += size_t(men[l][k]);
        }
      int64_t c = ep == tbNoEnPassant ? 0 : transform(int(ep), t) + 1;
      for (size_t i = 0; i < n; ++i) c = c * 64 + img[i];
      if (best < 0 || c < best) best = c;
    }
    return best;
  };
  std::vector<int> s(slots.size() + 2);
  const int total = int(slots.size()) + 2;
  std::vector<int> counter(size_t(total), 0);
  int64_t combos = 1;
  for (int i = 0; i < total; ++i) combos *= 64;
  for (int64_t c = 0; c < combos; ++c) {
    int64_t v = c;
    for (int i = 0; i < total; ++i) {
      s[size_t(i)] = int(v % 64);
      v /= 64;
    }
    int king = s[size_t(side)], other = s[size_t(1 - side)];  // s[0] first king, s[1] second
    if (distance(king, other) < 2) continue;
    bool ok = true;
    for (int i = 2; i < total && ok; ++i) {
      for (int j = 0; j < i && ok; ++j) ok = s[size_t(i)] != s[size_t(j)];
      const Slot& sl = slots[size_t(i - 2)];
      if (sl.kind == 0 && (s[size_t(i)] < 8 || s[size_t(i)] > 55)) ok = false;
      if (ok && sl.list == side && contactCheck(sl.kind, side == 0, s[size_t(i)], other)) ok = false;
      // Like men in ascending order only (one of each arrangement).
      if (ok && i > 2 && slots[size_t(i - 3)].list == sl.list && slots[size_t(i - 3)].kind == sl.kind &&
          s[size_t(i - 1)] > s[size_t(i)])
        ok = false;
    }
    if (!ok) continue;
    Position pos{};
    size_t at = 2;
    int nth[2][5] = {};
    for (const Slot& sl : slots) pos.list[sl.list][3 * sl.kind + nth[sl.list][sl.kind]++] = uint32_t(s[at++]);
    pos.list[0][15] = uint32_t(s[0]);
    pos.list[1][15] = uint32_t(s[1]);
    std::vector<uint32_t> eps = {tbNoEnPassant};
    if (withEnPassant) {
      // Every square a pawn of the side not to move can just have passed.
      for (int n = 0; n < men[1 - side][0]; ++n) {
        int p = int(pos.list[1 - side][n]);
        int e = side == 0 ? p + 8 : p - 8, origin = side == 0 ? p + 16 : p - 16;
        if (rankOf(p) != (side == 0 ? 4 : 3)) continue;
        if (std::find(s.begin(), s.end(), e) != s.end() || std::find(s.begin(), s.end(), origin) != s.end()) continue;
        // Only when a pawn of the side to move can take on e.
        bool capturer = false;
        for (int m = 0; m < men[side][0]; ++m) {
          int q = int(pos.list[side][m]);
          capturer |= rankOf(q) == rankOf(p) && std::abs(fileOf(q) - fileOf(p)) == 1;
        }
        if (capturer) eps.push_back(uint32_t(e));
      }
    }
    for (uint32_t ep : eps) {
      uint64_t index = f(pos.list[0], pos.list[1], ep, 0);
      ASSERT_LT(index, range) << name << " side " << side;
      int64_t canonical = code(s, ep);
      if (owner[index] < 0) owner[index] = canonical;
      else ASSERT_EQ(owner[index], canonical) << name << " side " << side << " index " << index;
      ++positions;
    }
  }
  EXPECT_GT(positions, 0);
}

}  // namespace

// The three-man rows, and kpkp with its en-passant positions (the larger
// rows take too long to enumerate; the solver's tables cover kqkr).
TEST_F(TbIndex, SmallRowsAreInjective) {
  for (const char* name : {"kpk", "knk", "kbk", "krk", "kqk"})
    for (int side = 0; side < 2; ++side) checkInjective(name, side, false);
  for (int side = 0; side < 2; ++side) checkInjective("kpkp", side, true);
}

// Mirrored positions give equal indices; so does the colour-swapped board
// probed through the invert flag.
TEST_F(TbIndex, MirrorAndColourSwap) {
  uint32_t x = 12345;
  auto next = [&x](int mod) {
    x = x * 1103515245u + 12345u;
    return int((x >> 8) % uint32_t(mod));
  };
  for (int i = 1; i < tbRowCount; ++i) {
    const TbDesc& r = tbDesc[i];
    int32_t men[2][5];
    tbParseName(r.name, men[0], men[1]);
    for (int trial = 0; trial < 20; ++trial) {
      Position pos{};
      bool used[64] = {};
      auto take = [&](int lo, int hi) {
        int s;
        do s = lo + next(hi - lo + 1);
        while (used[s]);
        used[s] = true;
        return s;
      };
      pos.list[0][15] = uint32_t(take(0, 63));
      do pos.list[1][15] = uint32_t(take(0, 63));
      while (distance(int(pos.list[0][15]), int(pos.list[1][15])) < 2);
      for (int l = 0; l < 2; ++l)
        for (int k = 0; k < 5; ++k) {
          std::vector<int> v;
          for (int n = 0; n < men[l][k]; ++n) v.push_back(take(k == 0 ? 8 : 0, k == 0 ? 55 : 63));
          std::sort(v.begin(), v.end());
          for (int n = 0; n < men[l][k]; ++n) pos.list[l][3 * k + n] = uint32_t(v[size_t(n)]);
        }
      for (int side = 0; side < 2; ++side) {
        const TbIndexFunction& f = r.indexFunction[side];
        uint64_t index = f(pos.list[0], pos.list[1], tbNoEnPassant, 0);
        if (index == tbOutsideScheme) continue;
        Position mirror = pos, swapped = pos;
        for (int l = 0; l < 2; ++l)
          for (int w = 0; w < 16; ++w) {
            mirror.list[l][w] ^= 7;
            swapped.list[l][w] ^= 56;
          }
        for (int l = 0; l < 2; ++l)
          for (int k = 0; k < 5; ++k) {
            std::sort(mirror.list[l] + 3 * k, mirror.list[l] + 3 * k + men[l][k]);
            std::sort(swapped.list[l] + 3 * k, swapped.list[l] + 3 * k + men[l][k]);
          }
        EXPECT_EQ(f(mirror.list[0], mirror.list[1], tbNoEnPassant, 0), index) << r.name << " mirror";
        if (f.plan.pawns) {
          EXPECT_EQ(f(swapped.list[0], swapped.list[1], tbNoEnPassant, 1), index) << r.name << " swap";
        } else if (!onOneDiagonal(int(pos.list[0][15]), int(pos.list[1][15]))) {
          EXPECT_EQ(f(swapped.list[0], swapped.list[1], tbNoEnPassant, 0), index) << r.name << " flip";
        }
      }
    }
  }
}

TEST_F(TbIndex, OutsideTheSchemeIsNeverAValidIndex) {
  // Adjacent kings, and a pawn on the last rank.
  EXPECT_EQ(indexOf("krk", 0, position("Kd4 Ra8", "Ke5")), tbOutsideScheme);
  EXPECT_EQ(indexOf("kpk", 0, position("Ka1 Pe8", "Kh1")), tbOutsideScheme);
  // Impossible en-passant positions: the e5 pawn checks the king on f6;
  // the king stands on d7, where the pawn came from; the pawn "passed"
  // d5 from d6, against its direction.
  const uint32_t d6 = uint32_t(sq("d6"));
  EXPECT_EQ(indexOf("kpkp", 0, position("Ka1 Pe5", "Kf6 Pd5"), d6), tbOutsideScheme);
  EXPECT_EQ(indexOf("kpkp", 0, position("Kd7 Pe5", "Kh8 Pd5"), d6), tbOutsideScheme);
  EXPECT_EQ(indexOf("kpkp", 0, position("Ka1 Pe4", "Kh8 Pd4"), uint32_t(sq("d5"))), tbOutsideScheme);
  // An en-passant square on a row whose pawns are all on one side is ignored.
  Position kpk = position("Ke1 Pe2", "Ke8");
  EXPECT_EQ(indexOf("kpk", 0, kpk, d6), indexOf("kpk", 0, kpk));
}
