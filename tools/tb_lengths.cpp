// Writes tablebases/endgame_lengths.h, the number of entries of each side's
// table file for every endgame row.
//
// The files store every index up to the largest one that a legal position
// reaches: men on distinct squares, pawns on ranks 2-7, kings apart, the
// side not to move not in check, and for an en-passant index the square
// passed over and the one the pawn came from empty with the pawn behind it.
// The index orders positions by king pair first, so the largest index lies
// in the highest king pair that holds a legal position (in the en-passant
// region first, where there is one); only that pair is enumerated.
//
// Usage: tb_lengths OUTPUT [range]   ("range" writes the index ranges instead)
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "tablebases/endgame_rows.h"
#include "tablebases/index_functions.h"
#include "tablebases/index_tables.h"

using namespace tablebases;

namespace {

constexpr int listKinds = 5;

struct Man {
  int list;  // 0 first side, 1 second
  int kind;  // 0 pawn .. 4 queen
  int n;     // place among the men of its kind
};

int fileOf(int s) { return s & 7; }
int rankOf(int s) { return s >> 3; }

// Does the man of `kind` of the side moving `up` on `from` attack `target`,
// with `occupied` blocking lines?
bool attacks(int kind, bool up, int from, int target, const bool* occupied) {
  int df = fileOf(target) - fileOf(from), dr = rankOf(target) - rankOf(from);
  switch (kind) {
    case 0:
      return std::abs(df) == 1 && dr == (up ? 1 : -1);
    case 1:
      return (std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1);
    default: {
      bool diagonal = std::abs(df) == std::abs(dr) && df != 0;
      bool straight = (df == 0) != (dr == 0);
      if (!((kind == 2 && diagonal) || (kind == 3 && straight) || (kind == 4 && (diagonal || straight))))
        return false;
      int step = (df > 0) - (df < 0) + 8 * ((dr > 0) - (dr < 0));
      for (int s = from + step; s != target; s += step)
        if (occupied[s]) return false;
      return true;
    }
  }
}

struct Search {
  const TbIndexFunction* function;
  int side;
  std::vector<Man> men;
  uint32_t list[2][16];
  bool occupied[64];
  bool forbidden[64];  // squares that must stay empty (en passant)
  uint32_t enPassant;
  int fixedSlot[2] = {-1, -1};  // pawn slot fixed in advance, per list
  uint64_t best;
  bool found;

  bool legal() const {
    // The side not to move must not be in check.
    int target = int(list[1 - side][15]);
    bool up = side == 0;
    for (int k = 0; k < listKinds; ++k)
      for (int n = 0; n < function->plan.men[side][k]; ++n)
        if (attacks(k, up, int(list[side][3 * k + n]), target, occupied)) return false;
    return true;
  }

  void place(size_t i) {
    if (i == men.size()) {
      if (!legal()) return;
      uint64_t index = (*function)(list[0], list[1], enPassant, 0);
      if (index == tbOutsideScheme) return;
      if (!found || index > best) best = index;
      found = true;
      return;
    }
    const Man& m = men[i];
    uint32_t* slot = &list[m.list][3 * m.kind + m.n];
    if (*slot != 64) {  // fixed in advance (the pawn taken en passant)
      place(i + 1);
      return;
    }
    int first = m.kind == 0 ? 8 : 0, last = m.kind == 0 ? 55 : 63;
    // Like men in ascending order, as the lists hold them.
    if (m.n > 0 && !(m.kind == 0 && fixedSlot[m.list] == m.n - 1))
      first = std::max(first, int(list[m.list][3 * m.kind + m.n - 1]) + 1);
    for (int s = first; s <= last; ++s) {
      if (occupied[s] || forbidden[s]) continue;
      occupied[s] = true;
      *slot = uint32_t(s);
      place(i + 1);
      occupied[s] = false;
    }
    *slot = 64;
  }
};

// King squares (to move, other) on the real board whose frame gives pair p.
void kingsForPair(int32_t p, const int16_t* pairTable, uint32_t flip, int* king, int* other) {
  for (int i = 0; i < 64 * 64; ++i)
    if (pairTable[i] == p) {
      *king = (i / 64) ^ int(flip);
      *other = (i % 64) ^ int(flip);
      return;
    }
}

uint64_t largestLegalIndex(const TbIndexFunction& f, int side, bool enPassantRegion) {
  const TbIndexPlan& plan = f.plan;
  bool pawns = plan.pawns;
  const int16_t* pairTable = pawns ? tbKingPairIndexPawns : tbKingPairIndexPawnless;
  int32_t pairCount = pawns ? tbPawnPairCount : tbPawnlessPairCount;
  int moverTotal = 0;
  for (int k = 0; k < listKinds; ++k) moverTotal += plan.men[side][k];
  bool leadHasPawns = moverTotal == 0 || plan.men[side][0] > 0;
  uint32_t flip = (pawns && side == 1 && leadHasPawns && !enPassantRegion) ? 56u : 0u;

  for (int32_t p = pairCount - 1; p >= 0; --p) {
    Search s{};
    s.function = &f;
    s.side = side;
    int king = 0, other = 0;
    kingsForPair(p, pairTable, flip, &king, &other);
    for (int l = 0; l < 2; ++l)
      for (int w = 0; w < 16; ++w) s.list[l][w] = 64;
    s.list[side][15] = uint32_t(king);
    s.list[1 - side][15] = uint32_t(other);
    s.occupied[king] = s.occupied[other] = true;
    for (int l = 0; l < 2; ++l)
      for (int k = listKinds - 1; k >= 0; --k)
        for (int n = 0; n < plan.men[l][k]; ++n) s.men.push_back({l, k, n});
    s.enPassant = tbNoEnPassant;
    if (!enPassantRegion) {
      s.place(0);
    } else {
      // The mover takes on e; the pawn that passed it stands behind it.
      bool up = side == 0;
      int firstE = up ? 40 : 16;
      for (int e = firstE; e < firstE + 8; ++e) {
        int captured = up ? e - 8 : e + 8, origin = up ? e + 8 : e - 8;
        if (s.occupied[e] || s.occupied[captured] || s.occupied[origin]) continue;
        Search t = s;
        t.enPassant = uint32_t(e);
        t.forbidden[e] = t.forbidden[origin] = true;
        t.occupied[captured] = true;
        // The taken pawn holds the first pawn slot; the index sorts squares
        // itself, so the list order does not matter.
        t.list[1 - side][0] = uint32_t(captured);
        t.fixedSlot[1 - side] = 0;
        t.place(0);
        if (t.found && (!s.found || t.best > s.best)) s.best = t.best;
        s.found = s.found || t.found;
      }
    }
    if (s.found) return s.best + 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT [range]\n", argv[0]);
    return 2;
  }
  bool rangesOnly = argc > 2 && std::strcmp(argv[2], "range") == 0;
  tbBuildIndexTables();
  const int rows = 441;
  std::vector<uint64_t> length(rows * 2, 0);
  std::atomic<int> next{1};
  auto worker = [&] {
    for (int job; (job = next.fetch_add(1)) < rows * 2;) {
      int row = job / 2, side = job % 2;
      if (row == 0) continue;
      TbIndexFunction f = tbMakeIndexFunction(tbRowData[row].name, row, tbRowData[row].flags, side);
      uint64_t range = tbIndexRange(f);
      uint64_t value = range;
      if (!rangesOnly) {
        value = 0;
        if (f.plan.bothHavePawns && !f.plan.swapForBlack) value = largestLegalIndex(f, side, true);
        if (value == 0) value = largestLegalIndex(f, side, false);
      }
      length[size_t(job)] = value;
      std::fprintf(stderr, "%-8s %d range %llu length %llu\n", tbRowData[row].name, side,
                   (unsigned long long)range, (unsigned long long)value);
    }
  };
  std::vector<std::thread> threads;
  unsigned count = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < count; ++i) threads.emplace_back(worker);
  for (auto& t : threads) t.join();
  // A symmetric row stores one table: both sides read White to move's.
  for (int row = 1; row < rows; ++row)
    if (tbRowData[row].flags & 1) length[size_t(row * 2 + 1)] = length[size_t(row * 2)];

  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fprintf(out,
               "// Entries of each side's table (White to move, Black to move) per row.\n"
               "// Written by tools/tb_lengths (%s); do not edit by hand.\n"
               "#pragma once\n#include <cstdint>\n\nnamespace tablebases {\n\n"
               "inline constexpr uint64_t tbRowLengths[441][2] = {\n",
               rangesOnly ? "index ranges" : "largest legal index + 1");
  for (int row = 0; row < rows; ++row)
    std::fprintf(out, "    {%lluu, %lluu},  // %s\n", (unsigned long long)length[size_t(row * 2)],
                 (unsigned long long)length[size_t(row * 2 + 1)], tbRowData[row].name);
  std::fprintf(out, "};\n\n}  // namespace tablebases\n");
  std::fclose(out);
  return 0;
}
