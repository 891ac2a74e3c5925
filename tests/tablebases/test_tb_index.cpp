// The tablebase index scheme: its tables, indices of hand-computed
// positions, and the index functions checked for injectivity, symmetry and
// range by enumerating positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "tablebases/endgame_table.h"
#include "tablebases/index_functions.h"
#include "tablebases/index_tables.h"

using namespace tablebases;

namespace {

int sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

struct Position {
  uint32_t list[2][16];
};

// A position of row `name` from squares given per list in name order
// (after the king: q, r, b, n, p order of the name's letters is free).
Position makePosition(const char* name, const std::vector<int>& first, int firstKing,
                      const std::vector<int>& second, int secondKing) {
  Position pos{};
  int32_t men[2][5];
  tbParseName(name, men[0], men[1]);
  const std::vector<int>* squares[2] = {&first, &second};
  for (int l = 0; l < 2; ++l) {
    // Squares come in list-kind order: pawns, knights, bishops, rooks, queens.
    size_t at = 0;
    for (int k = 0; k < 5; ++k) {
      std::vector<int> kind(squares[l]->begin() + long(at), squares[l]->begin() + long(at + size_t(men[l][k])));
      std::sort(kind.begin(), kind.end());
      for (int n = 0; n < men[l][k]; ++n) pos.list[l][3 * k + n] = uint32_t(kind[size_t(n)]);
      at += size_t(men[l][k]);
    }
  }
  pos.list[0][15] = uint32_t(firstKing);
  pos.list[1][15] = uint32_t(secondKing);
  return pos;
}

const TbDesc& row(const char* name) {
  tbBuildDescriptors();
  for (const TbDesc& r : tbDesc)
    if (std::strcmp(r.name, name) == 0) return r;
  ADD_FAILURE() << "no row " << name;
  return tbDesc[0];
}

uint64_t indexOf(const char* name, int side, const Position& pos, uint32_t ep = tbNoEnPassant, int invert = 0) {
  return row(name).indexFunction[side](pos.list[0], pos.list[1], ep, invert);
}

class TbIndex : public ::testing::Test {
 protected:
  void SetUp() override { tbBuildDescriptors(); }
};

}  // namespace

TEST_F(TbIndex, KingPairTablesNumberWithoutGaps) {
  int pawns = 0, pawnless = 0;
  for (int i = 0; i < 64 * 64; ++i) {
    if (tbKingPairIndexPawns[i] != tbIllegalPair) {
      EXPECT_EQ(tbKingPairIndexPawns[i], pawns++);
    }
    if (tbKingPairIndexPawnless[i] != tbIllegalPair) {
      EXPECT_EQ(tbKingPairIndexPawnless[i], pawnless++);
    }
  }
  EXPECT_EQ(pawns, 1806);   // 3612 legal king placements halved by the file mirror
  EXPECT_EQ(pawnless, 462);  // the classic count under all eight symmetries
}

TEST_F(TbIndex, RankCountsAtTheEdges) {
  for (int k = 0; k < 64; ++k) EXPECT_EQ(tbRankCounts[0][k], (k < 8 || k >= 56) ? 48 : 47);
  EXPECT_EQ(tbRankCounts[1][sq("a8")], 47);  // only b7 attacks it; h6 + 9 does not wrap
  EXPECT_EQ(tbRankTables[1][sq("a8") * 64 + sq("b7")], tbNoRank);
  EXPECT_NE(tbRankTables[1][sq("a8") * 64 + sq("h6")], tbNoRank);
  EXPECT_EQ(tbRankCounts[1][sq("e5")], 45);
  EXPECT_EQ(tbRankCounts[2][sq("a1")], 61);
  EXPECT_EQ(tbRankCounts[5][sq("a1")], 60);
  EXPECT_EQ(tbRankCounts[5][sq("e5")], 55);
}

// The index functions keep pointers into the tables: building again must
// neither reallocate nor rebuild them.
TEST_F(TbIndex, ASecondBuildKeepsTheTables) {
  uint32_t* before = tbPawnOffsets2[3][2];
  tbBuildIndexTables();
  EXPECT_EQ(tbPawnOffsets2[3][2], before);
}

// Indices of given positions, digit by digit: the table files are addressed
// by these numbers, so any slip in folding, ranking, placing or ordering the
// digits reads another position's entry.
TEST_F(TbIndex, HandComputedIndices) {
  // knk, Black to move: fold by 7, pair (d1, d3) = 162, knight a8 -> 54.
  Position knk = makePosition("knk", {sq("h8")}, sq("e3"), {}, sq("e1"));
  EXPECT_EQ(indexOf("knk", 1, knk), 10098u);
  // kpk, kings e1 / e8, pawn e2.
  Position kpk = makePosition("kpk", {sq("e2")}, sq("e1"), {}, sq("e8"));
  EXPECT_EQ(indexOf("kpk", 0, kpk), 10487u);
  EXPECT_EQ(indexOf("kpk", 1, kpk), 10854u);
  // kpkp after d7-d5: ordinary, and with the en-passant square d6.
  Position kpkp = makePosition("kpkp", {sq("e5")}, sq("a1"), {sq("d5")}, sq("h8"));
  EXPECT_EQ(indexOf("kpkp", 0, kpkp), 128384u);
  EXPECT_EQ(indexOf("kpkp", 0, kpkp, uint32_t(sq("d6"))), 3839037u);

  // krbnkq, Black to move (no fold: king b1 in the triangle). The queen
  // leads: a8 is rank 50 among the squares not next to h4, less one for b1.
  // Then rook c6 (61 squares left), bishop f3 (60), knight g7 (59), each
  // counting the placed squares below it.
  Position krbnkq = makePosition("krbnkq", {sq("g7"), sq("f3"), sq("c6")}, sq("h4"), {sq("a8")}, sq("b1"));
  uint64_t lead = tbPawnlessOffsets1[5][tbKingPairIndexPawnless[sq("b1") * 64 + sq("h4")]] + 49;
  EXPECT_EQ(indexOf("krbnkq", 1, krbnkq), lead * 215940 + 40 * 3540 + 20 * 59 + 50);

  // kbbnk, Black to move: no leading man; the knight a4 is placed first
  // (62 squares, digit 23), the bishops e3, b7 against kings and knight
  // (pairs(61) = 1830, digit 19 + pairs(46)), the bishops more significant.
  Position kbbnk = makePosition("kbbnk", {sq("a4"), sq("e3"), sq("b7")}, sq("g5"), {}, sq("c2"));
  uint64_t pair = uint64_t(tbKingPairIndexPawnless[sq("c2") * 64 + sq("g5")]);
  EXPECT_EQ(indexOf("kbbnk", 1, kbbnk), (pair * 1830 + 19 + 1035) * 62 + 23);

  // kbnpkp, Black to move, kings c7 / f2, Black pawn e4, White knight h6,
  // bishop b3, pawn d4. Ordinary: Black's pawn leads in the board turned
  // (e4 -> e5, rank 28 less one for the king's c2); then bishop (60),
  // knight (59), pawn (47).
  Position kbnpkp = makePosition("kbnpkp", {sq("d4"), sq("h6"), sq("b3")}, sq("f2"), {sq("e4")}, sq("c7"));
  lead = tbPawnOffsets1[1][tbKingPairIndexPawns[sq("c2") * 64 + sq("f7")]] + 27;
  EXPECT_EQ(indexOf("kbnpkp", 1, kbnpkp), lead * (60 * 59 * 47) + 16 * 2773 + 43 * 47 + 19);
  // After d2-d4, e4 takes on d3 (code 3): bishop and knight count the
  // kings, both pawns, d3 and d2 (58, then 57).
  pair = uint64_t(tbKingPairIndexPawns[sq("c7") * 64 + sq("f2")]);
  EXPECT_EQ(indexOf("kbnpkp", 1, kbnpkp, uint32_t(sq("d3"))),
            uint64_t(tbPawnTotal1[1]) * (60 * 59 * 47) + ((pair * 58 + 15) * 57 + 41) * 14 + 3);

  // kqqpkp, White to move, kings b1 / h8, queens a3 and c4, e5 takes d5 on
  // d6 (code 3): the queens rank 15 and 25 among the squares not next to h8.
  Position kqqpkp = makePosition("kqqpkp", {sq("e5"), sq("a3"), sq("c4")}, sq("b1"), {sq("d5")}, sq("h8"));
  pair = uint64_t(tbKingPairIndexPawns[sq("b1") * 64 + sq("h8")]);
  EXPECT_EQ(indexOf("kqqpkp", 0, kqqpkp, uint32_t(sq("d6"))),
            uint64_t(tbPawnTotal3[5][5][1]) * 47 + (tbPawnOffsets2[5][5][pair] + 15 + 300) * 14 + 3);

  // kppkp, White to move, same kings, e5 takes d5 on d6; the other pawn g6
  // counts e5, d5 and d6 below it (radix 44).
  Position kppkp = makePosition("kppkp", {sq("e5"), sq("g6")}, sq("b1"), {sq("d5")}, sq("h8"));
  EXPECT_EQ(indexOf("kppkp", 0, kppkp, uint32_t(sq("d6"))),
            uint64_t(tbPawnTotal2[1][1]) * 46 + pair * 616 + 14 * 35 + 3);
}

TEST_F(TbIndex, IndexRangesAndTheFirstEnPassantIndex) {
  struct {
    const char* name;
    int side;
    uint64_t range;
  } cases[] = {{"knk", 0, 26282},     {"knk", 1, 28644},   {"kbk", 0, 27243},
               {"krk", 0, 27036},     {"kqk", 0, 25635},   {"kpk", 0, 81664},   {"kpk", 1, 84012},
               {"kpkp", 0, 3863492},  {"kpkp", 1, 3863492}, {"kbnk", 0, 1550621},
               {"kppkp", 0, 84219362}};
  for (auto& c : cases) EXPECT_EQ(tbIndexRange(row(c.name).indexFunction[c.side]), c.range) << c.name;
  // The en-passant region starts right after the ordinary one.
  Position lowest = makePosition("kpkp", {sq("b5")}, sq("a1"), {sq("a5")}, sq("c1"));
  EXPECT_EQ(indexOf("kpkp", 0, lowest, uint32_t(sq("a6"))), 3838208u);
}

// The committed length table (1 + the largest index of a legal position)
// matches the entry counts of known table files.
TEST_F(TbIndex, LengthTableHoldsKnownFileSizes) {
  struct {
    const char* name;
    uint64_t white, black;
  } cases[] = {{"kpk", 81664, 84012},          {"knk", 26282, 28644},
               {"krk", 27030, 28644},          {"kqk", 25629, 28644},
               {"kpkp", 3863492, 3863492},     {"knkn", 1603202, 1603202},
               {"kbnk", 1550620, 1747284},     {"kppkp", 84219361, 89391280},
               {"knnknn", 1301488080, 1301488080}, {"kbnknn", 2744597400, 2602976160},
               {"kppkpp", 1917741812, 1917741812}, {"kqqpkq", 7297961576, 8514011520}};
  for (auto& c : cases) {
    EXPECT_EQ(row(c.name).positions[0], c.white) << c.name;
    EXPECT_EQ(row(c.name).positions[1], c.black) << c.name;
  }
  EXPECT_EQ(tbExtentCount(row("kqqpkq"), 0), 4);
  EXPECT_EQ(tbExtentCount(row("kqqpkq"), 1), 4);
  EXPECT_EQ(tbExtentCount(row("kbnknn"), 0), 1);  // not split, though over 2^31
}

TEST_F(TbIndex, EveryRowHasARangeAtLeastItsLength) {
  for (int i = 1; i < tbRowCount; ++i) {
    for (int side = 0; side < 2; ++side) {
      if (side == 1 && (tbDesc[i].flags & tbSymmetric)) continue;
      EXPECT_GE(tbIndexRange(tbDesc[i].indexFunction[side]), tbDesc[i].positions[side])
          << tbDesc[i].name << " side " << side;
    }
  }
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

TEST_F(TbIndex, ThreeMenRowsAreInjective) {
  for (const char* name : {"kpk", "knk", "kbk", "krk", "kqk"})
    for (int side = 0; side < 2; ++side) checkInjective(name, side, false);
}

// Two four-man rows (one with en passant) always; the rest when
// QUILLON_LONG_TESTS is set, since each takes seconds.
TEST_F(TbIndex, FourMenRowsAreInjective) {
  std::vector<const char*> rows = {"kpkp"};
  if (std::getenv("QUILLON_LONG_TESTS")) rows.insert(rows.end(), {"knkp", "kppk", "kqkr", "knkn", "krkp"});
  for (const char* name : rows)
    for (int side = 0; side < 2; ++side)
      if (!(side == 1 && (row(name).flags & tbSymmetric))) checkInjective(name, side, row(name).indexFunction[side].plan.bothHavePawns);
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
  Position adjacent = makePosition("krk", {sq("a8")}, sq("d4"), {}, sq("e5"));
  EXPECT_EQ(indexOf("krk", 0, adjacent), tbOutsideScheme);
  Position lastRank = makePosition("kpk", {sq("e8")}, sq("a1"), {}, sq("h1"));
  EXPECT_EQ(indexOf("kpk", 0, lastRank), tbOutsideScheme);
  // Impossible en-passant positions: the e5 pawn checks the king on f6;
  // the king stands on d7, where the pawn came from; the pawn "passed"
  // d5 from d6, against its direction.
  Position check = makePosition("kpkp", {sq("e5")}, sq("a1"), {sq("d5")}, sq("f6"));
  EXPECT_EQ(indexOf("kpkp", 0, check, uint32_t(sq("d6"))), tbOutsideScheme);
  Position origin = makePosition("kpkp", {sq("e5")}, sq("d7"), {sq("d5")}, sq("h8"));
  EXPECT_EQ(indexOf("kpkp", 0, origin, uint32_t(sq("d6"))), tbOutsideScheme);
  Position backward = makePosition("kpkp", {sq("e4")}, sq("a1"), {sq("d4")}, sq("h8"));
  EXPECT_EQ(indexOf("kpkp", 0, backward, uint32_t(sq("d5"))), tbOutsideScheme);
  // An en-passant square on a row whose pawns are all on one side is ignored.
  Position kpk = makePosition("kpk", {sq("e2")}, sq("e1"), {}, sq("e8"));
  EXPECT_EQ(indexOf("kpk", 0, kpk, uint32_t(sq("d6"))), 10487u);
}
