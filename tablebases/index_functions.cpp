#include "tablebases/index_functions.h"

#include <algorithm>
#include <cstring>

#include "tablebases/index_tables.h"

namespace tablebases {

namespace {

constexpr int32_t listKinds = 5;      // pawn, knight, bishop, rook, queen
constexpr int32_t kingWord = 15;
constexpr int32_t maxMen = 8;
constexpr uint64_t enPassantCodes = 14;

// A man on a square of the current frame, with its rank-table kind.
struct Man {
  int32_t kind;
  uint32_t square;
};

// Insertion sort of the few squares of one kind (at most three).
void sortSquares(uint32_t* squares, int32_t count) {
  for (int32_t i = 1; i < count; ++i)
    for (int32_t j = i; j > 0 && squares[j - 1] > squares[j]; --j) std::swap(squares[j - 1], squares[j]);
}

void sortMen(Man* men, int32_t count) {
  for (int32_t i = 1; i < count; ++i)
    for (int32_t j = i; j > 0 && men[j - 1].square > men[j].square; --j) std::swap(men[j - 1], men[j]);
}

// Squares already on the board when a digit is formed: d(s) counts the
// placed squares below s.
struct Placed {
  uint32_t square[16];
  int32_t count = 0;
  void add(uint32_t s) { square[count++] = s; }
  uint32_t below(uint32_t s) const {
    uint32_t n = 0;
    for (int32_t i = 0; i < count; ++i) n += square[i] < s ? 1u : 0u;
    return n;
  }
};

// One digit of the index: its value and radix.
struct Digit {
  uint64_t value;
  uint64_t radix;
};

// Value and radix of a group of like men (1 to 3) on sorted squares, given
// the digits d of each square and the squares m still free.
Digit likeGroupDigit(const uint64_t* d, int32_t count, uint64_t m) {
  switch (count) {
    case 1: return {d[0], m};
    case 2: return {d[0] + tbPairs(d[1]), tbPairs(m)};
    default: return {d[0] + tbPairs(d[1]) + tbTriples(d[2]), tbTriples(m)};
  }
}

// The leading index: the king pair p, or the group's offset at p plus its
// rank value G. Men are sorted by kind (descending), then square.
uint64_t leadingIndex(const Man* men, int32_t count, int32_t p, uint32_t king, uint32_t other,
                      bool pawns) {
  if (count == 0) return uint64_t(p);
  uint64_t r[3];
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* row = tbRankTables[men[i].kind] + other * 64;
    if (row[men[i].square] == tbNoRank) return tbOutsideScheme;
    r[i] = row[men[i].square] - ((row[king] != tbNoRank && king < men[i].square) ? 1u : 0u);
  }
  auto n = [king, other](int32_t kind) { return uint64_t(tbPairCount(kind, king, other)); };
  int32_t k0 = men[0].kind, k1 = count > 1 ? men[1].kind : 0, k2 = count > 2 ? men[2].kind : 0;
  uint64_t g;
  uint32_t offset;
  if (count == 1) {
    g = r[0];
    offset = (pawns ? tbPawnOffsets1[k0] : tbPawnlessOffsets1[k0])[p];
  } else if (count == 2) {
    g = k0 == k1 ? r[0] + tbPairs(r[1]) : r[1] + n(k1) * r[0];
    offset = (pawns ? tbPawnOffsets2[k0][k1] : tbPawnlessOffsets2[k0][k1])[p];
  } else {
    if (k0 == k1 && k1 == k2) g = r[0] + tbPairs(r[1]) + tbTriples(r[2]);
    else if (k0 == k1) g = r[2] + n(k2) * (r[0] + tbPairs(r[1]));
    else if (k1 == k2) g = r[0] + n(k0) * (r[1] + tbPairs(r[2]));
    else g = r[2] + n(k2) * (r[1] + n(k1) * r[0]);
    offset = (pawns ? tbPawnOffsets3[k0][k1][k2] : tbPawnlessOffsets3[k0][k1][k2])[p];
  }
  return uint64_t(offset) + g;
}

// Total of the leading group's offset table (the number of leading values).
uint64_t leadingTotal(const Man* men, int32_t count, bool pawns) {
  if (count == 0) return uint64_t(pawns ? tbPawnPairCount : tbPawnlessPairCount);
  int32_t k0 = men[0].kind, k1 = count > 1 ? men[1].kind : 0, k2 = count > 2 ? men[2].kind : 0;
  if (count == 1) return pawns ? tbPawnTotal1[k0] : tbPawnlessTotal1[k0];
  if (count == 2) return pawns ? tbPawnTotal2[k0][k1] : tbPawnlessTotal2[k0][k1];
  return pawns ? tbPawnTotal3[k0][k1][k2] : tbPawnlessTotal3[k0][k1][k2];
}

// Collects the men of a list of kinds [firstKind, lastKind] as rank-table
// kinds (list kind + 1, or `pawnKind` for pawns), squares through `frame`.
int32_t collectMen(const uint32_t* list, const int32_t* menOfKind, int32_t firstKind, int32_t lastKind,
                   int32_t pawnKind, uint32_t frame, Man* out) {
  int32_t count = 0;
  for (int32_t k = lastKind; k >= firstKind; --k) {
    int32_t start = count;
    for (int32_t n = 0; n < menOfKind[k]; ++n)
      out[count++] = {k == 0 ? pawnKind : k + 1, list[3 * k + n] ^ frame};
    sortMen(out + start, count - start);
  }
  return count;
}

// Sorted squares of one kind of a list, through a frame.
int32_t squaresOf(const uint32_t* list, int32_t kind, int32_t count, uint32_t frame, uint32_t* out) {
  for (int32_t n = 0; n < count; ++n) out[n] = list[3 * kind + n] ^ frame;
  sortSquares(out, count);
  return count;
}

// A digit of like men of one kind against the placed squares. `base`
// is subtracted first (8 for pawns, whose squares start at a2).
Digit digitOf(const uint32_t* squares, int32_t count, const Placed& placed, uint64_t freeSquares,
              uint32_t base) {
  uint64_t d[3];
  for (int32_t i = 0; i < count; ++i) d[i] = squares[i] - base - placed.below(squares[i]);
  return likeGroupDigit(d, count, freeSquares);
}

// Does a man of the list (its king included) stand on the square?
bool holdsSquare(const uint32_t* list, const int32_t* menOfKind, uint32_t square) {
  if (list[kingWord] == square) return true;
  for (int32_t k = 0; k < listKinds; ++k)
    for (int32_t n = 0; n < menOfKind[k]; ++n)
      if (list[3 * k + n] == square) return true;
  return false;
}

bool pawnOnEdgeRank(const uint32_t* list, int32_t pawns) {
  for (int32_t n = 0; n < pawns; ++n)
    if (list[n] < 8 || list[n] > 55) return true;
  return false;
}

// The pawnless trailing men: one digit per kind, queen down to knight, placed
// single men first (queen down to knight), then the like groups.
uint64_t pawnlessTrailing(uint64_t index, const uint32_t* list, const int32_t* men, uint32_t (*frame)(uint32_t, const void*),
                          const void* frameState, Placed placed, uint64_t* rangeOut) {
  Digit digit[listKinds] = {};
  for (int32_t pass = 0; pass < 2; ++pass) {
    for (int32_t k = listKinds - 1; k >= 1; --k) {
      int32_t count = men[k];
      if (count == 0 || (pass == 0) != (count == 1)) continue;
      uint32_t squares[3];
      for (int32_t n = 0; n < count; ++n) squares[n] = frame(list[3 * k + n], frameState);
      sortSquares(squares, count);
      digit[k] = digitOf(squares, count, placed, uint64_t(64 - placed.count), 0);
      for (int32_t n = 0; n < count; ++n) placed.add(squares[n]);
    }
  }
  uint64_t range = 1;
  for (int32_t k = listKinds - 1; k >= 1; --k) {
    if (men[k] == 0) continue;
    index = index * digit[k].radix + digit[k].value;
    range *= digit[k].radix;
  }
  if (rangeOut) *rangeOut = range;
  return index;
}

struct PawnlessFrame {
  uint32_t fold;
  bool reflect;
};

uint32_t pawnlessFrame(uint32_t s, const void* state) {
  const PawnlessFrame* f = static_cast<const PawnlessFrame*>(state);
  s ^= f->fold;
  return f->reflect ? tbDiagonalReflect[s] : s;
}

uint64_t pawnlessIndexWithRange(const TbIndexPlan& plan, const uint32_t* first, const uint32_t* second,
                                uint64_t* rangeOut) {
  int32_t side = plan.sideToMove;
  const uint32_t* mover = side == 0 ? first : second;
  const uint32_t* waiter = side == 0 ? second : first;
  const int32_t* moverMen = plan.men[side];
  const int32_t* waiterMen = plan.men[1 - side];

  // Fold on the king to move: into the quadrant a1-d4, then into the
  // triangle a1-d1-d4 (other king on or below the diagonal when it is on it).
  PawnlessFrame frame{tbQuadrantFold[mover[kingWord]], false};
  uint32_t king = mover[kingWord] ^ frame.fold, other = waiter[kingWord] ^ frame.fold;
  frame.reflect = !(tbTriangle[king] == 1 && (tbOffDiagonal[king] == 1 || tbOnOrBelowDiagonal[other] == 1));
  king = pawnlessFrame(mover[kingWord], &frame);
  other = pawnlessFrame(waiter[kingWord], &frame);
  int32_t p = tbKingPairIndexPawnless[king * 64 + other];
  if (p == tbIllegalPair) return tbOutsideScheme;

  // The leading index.
  Man lead[maxMen];
  int32_t leadCount = 0;
  for (int32_t k = listKinds - 1; k >= 1; --k) {
    int32_t start = leadCount;
    for (int32_t n = 0; n < moverMen[k]; ++n) lead[leadCount++] = {k + 1, pawnlessFrame(mover[3 * k + n], &frame)};
    sortMen(lead + start, leadCount - start);
  }
  uint64_t index = leadingIndex(lead, leadCount, p, king, other, false);
  if (index == tbOutsideScheme) return tbOutsideScheme;

  // The trailing digits.
  Placed placed;
  placed.add(king);
  placed.add(other);
  for (int32_t i = 0; i < leadCount; ++i) placed.add(lead[i].square);
  uint64_t trailingRange = 1;
  index = pawnlessTrailing(index, waiter, waiterMen, pawnlessFrame, &frame, placed, &trailingRange);
  if (rangeOut) *rangeOut = leadingTotal(lead, leadCount, false) * trailingRange;
  return index;
}

// Everything the pawn routine needs about one position in one frame.
struct PawnSetup {
  const uint32_t* mover;
  const uint32_t* waiter;
  const int32_t* moverMen;
  const int32_t* waiterMen;
  uint32_t trailingFrame;  // t(s) = s ^ trailingFrame
  uint32_t leadingFrame;   // l(s) = s ^ leadingFrame
  bool waiterPawnsLead;    // the side to move has only its king
};

PawnSetup pawnSetup(const TbIndexPlan& plan, const uint32_t* first, const uint32_t* second, int32_t invert) {
  PawnSetup s;
  int32_t side = plan.sideToMove;
  s.mover = side == 0 ? first : second;
  s.waiter = side == 0 ? second : first;
  s.moverMen = plan.men[side];
  s.waiterMen = plan.men[1 - side];
  s.trailingFrame = tbFileMirror[s.mover[kingWord]] ^ tbRankFlip[invert != 0 ? 1 : 0];
  int32_t moverTotal = 0;
  for (int32_t k = 0; k < listKinds; ++k) moverTotal += s.moverMen[k];
  s.waiterPawnsLead = moverTotal == 0;
  bool leadHasPawns = s.waiterPawnsLead || s.moverMen[0] > 0;
  s.leadingFrame = s.trailingFrame ^ ((side == 1 && leadHasPawns) ? 56u : 0u);
  return s;
}

// Trailing kinds in significance order: pawns first in the two-a-side
// six-man rows, else queen down to knight and pawns last.
int32_t trailingOrder(const TbIndexPlan& plan, int32_t* order) {
  static const int32_t ascending[listKinds] = {0, 1, 2, 3, 4};
  static const int32_t descending[listKinds] = {4, 3, 2, 1, 0};
  std::memcpy(order, plan.ascendingTrailing ? ascending : descending, sizeof(ascending));
  return listKinds;
}

// Appends the trailing digits in significance order: pawns (given, without
// a pawn taken en passant) against the placed pawns, pieces against the
// placed men; pieces are placed as their digit is formed.
uint64_t appendTrailingDigits(uint64_t index, uint64_t* range, const TbIndexPlan& plan, const PawnSetup& s,
                              const uint32_t* pawns, int32_t pawnCount, const Placed& pawnsPlaced,
                              Placed menPlaced) {
  int32_t order[listKinds];
  trailingOrder(plan, order);
  for (int32_t i = 0; i < listKinds; ++i) {
    int32_t k = order[i];
    int32_t count = k == 0 ? pawnCount : s.waiterMen[k];
    if (count == 0) continue;
    uint32_t squares[3];
    if (k == 0) std::copy(pawns, pawns + count, squares);
    else squaresOf(s.waiter, k, count, s.trailingFrame, squares);
    Digit digit = k == 0 ? digitOf(squares, count, pawnsPlaced, uint64_t(48 - pawnsPlaced.count), 8)
                         : digitOf(squares, count, menPlaced, uint64_t(64 - menPlaced.count), 0);
    if (k != 0)
      for (int32_t n = 0; n < count; ++n) menPlaced.add(squares[n]);
    index = index * digit.radix + digit.value;
    *range *= digit.radix;
  }
  return index;
}

uint64_t ordinaryPawnIndex(const TbIndexPlan& plan, const PawnSetup& s, uint64_t* rangeOut) {
  uint32_t t = s.trailingFrame, l = s.leadingFrame;
  uint32_t king = s.mover[kingWord], other = s.waiter[kingWord];
  int32_t p = tbKingPairIndexPawns[(king ^ l) * 64 + (other ^ l)];
  if (p == tbIllegalPair) return tbOutsideScheme;

  // The leading group: the side to move's men (its pawns kind 1),
  // or the other side's pawns (kind 0) when it has only its king.
  Man lead[maxMen];
  int32_t leadCount = s.waiterPawnsLead ? collectMen(s.waiter, s.waiterMen, 0, 0, 0, l, lead)
                                        : collectMen(s.mover, s.moverMen, 0, listKinds - 1, 1, l, lead);
  uint64_t index = leadingIndex(lead, leadCount, p, king ^ l, other ^ l, true);
  if (index == tbOutsideScheme) return tbOutsideScheme;

  // Trailing digits, compared in the trailing frame. Pawns subtract
  // the placed pawns; pieces subtract kings, leading men, trailing pawns and
  // earlier trailing pieces.
  int32_t trailingMen[listKinds];
  for (int32_t k = 0; k < listKinds; ++k) trailingMen[k] = s.waiterMen[k];
  if (s.waiterPawnsLead) trailingMen[0] = 0;
  Placed pawnsPlaced, menPlaced;
  menPlaced.add(king ^ t);
  menPlaced.add(other ^ t);
  if (s.waiterPawnsLead) {
    for (int32_t n = 0; n < s.waiterMen[0]; ++n) menPlaced.add(s.waiter[n] ^ t);
  } else {
    for (int32_t k = 0; k < listKinds; ++k)
      for (int32_t n = 0; n < s.moverMen[k]; ++n) menPlaced.add(s.mover[3 * k + n] ^ t);
    for (int32_t n = 0; n < s.moverMen[0]; ++n) pawnsPlaced.add(s.mover[n] ^ t);
  }
  for (int32_t n = 0; n < trailingMen[0]; ++n) menPlaced.add(s.waiter[n] ^ t);
  uint32_t trailingPawns[3];
  squaresOf(s.waiter, 0, trailingMen[0], t, trailingPawns);
  uint64_t range = 1;
  index = appendTrailingDigits(index, &range, plan, s, trailingPawns, trailingMen[0], pawnsPlaced, menPlaced);
  if (rangeOut) *rangeOut = leadingTotal(lead, leadCount, true) * range;
  return index;
}

uint64_t enPassantPawnIndex(const TbIndexPlan& plan, const PawnSetup& s, uint32_t enPassant,
                            uint64_t* rangeOut) {
  uint32_t t = s.trailingFrame;
  bool up = plan.sideToMove == 0;  // the mover's pawns go up in the trailing frame
  uint32_t e = enPassant ^ t;
  uint32_t king = s.mover[kingWord] ^ t, other = s.waiter[kingWord] ^ t;
  int32_t p = tbKingPairIndexPawns[king * 64 + other];
  if (p == tbIllegalPair) return tbOutsideScheme;

  // Step 1. The capturing pawn and its code: the first of the mover's pawns
  // in ascending square order that can take on e; else the highest one.
  uint32_t moverPawns[3];
  int32_t moverPawnCount = squaresOf(s.mover, 0, s.moverMen[0], t, moverPawns);
  int32_t capturer = -1;
  uint64_t code = 0;
  for (int32_t i = 0; i < moverPawnCount && capturer < 0; ++i) {
    uint32_t c = moverPawns[i], file = c & 7;
    uint32_t towardLowFile = up ? c + 7 : c - 9, towardHighFile = up ? c + 9 : c - 7;
    if (towardLowFile == e && file != 0) {
      capturer = i;
      code = file - 1;
    } else if (towardHighFile == e && file != 7) {
      capturer = i;
      code = file + 7;
    }
  }
  if (capturer < 0) {
    capturer = moverPawnCount - 1;
    code = (moverPawns[capturer] & 7) + 7;
  }
  if (code >= enPassantCodes) return tbOutsideScheme;
  // The square passed over lies on the sixth rank counted the way the
  // capturer moves, and it and the square the pawn came from are empty;
  // any other en-passant square is impossible and no entry belongs to it.
  if ((e >> 3) != (up ? 5u : 2u)) return tbOutsideScheme;
  uint32_t captured = up ? e - 8 : e + 8, origin = up ? e + 8 : e - 8;
  for (uint32_t empty : {enPassant, origin ^ t})
    if (holdsSquare(s.mover, s.moverMen, empty) || holdsSquare(s.waiter, s.waiterMen, empty))
      return tbOutsideScheme;

  // Step 2. The rest group: the mover's pieces, ranked like a leading group.
  Man rest[maxMen];
  int32_t restCount = collectMen(s.mover, s.moverMen, 1, listKinds - 1, 1, t, rest);
  uint64_t index = leadingIndex(rest, restCount, p, king, other, true);
  if (index == tbOutsideScheme) return tbOutsideScheme;

  // Step 3. The other side's pawns without the captured one, and the
  // mover's pawns without the capturer.
  uint32_t waiterPawns[3];
  int32_t waiterPawnCount = squaresOf(s.waiter, 0, s.waiterMen[0], t, waiterPawns);
  int32_t capturedAt = -1;
  for (int32_t i = 0; i < waiterPawnCount; ++i)
    if (waiterPawns[i] == captured) capturedAt = i;
  if (capturedAt < 0) return tbOutsideScheme;
  std::copy(waiterPawns + capturedAt + 1, waiterPawns + waiterPawnCount, waiterPawns + capturedAt);
  --waiterPawnCount;
  uint32_t capturerSquare = moverPawns[capturer];
  std::copy(moverPawns + capturer + 1, moverPawns + moverPawnCount, moverPawns + capturer);
  --moverPawnCount;

  Placed fixedSquares;  // capturer, captured pawn, e and the square the pawn came from
  fixedSquares.add(capturerSquare);
  fixedSquares.add(captured);
  fixedSquares.add(e);
  fixedSquares.add(origin);

  // Step 4. Digits: trailing men but the captured pawn, in significance
  // order; then the mover's remaining pawns; then the capture code.
  Placed menPlaced = fixedSquares;
  menPlaced.add(king);
  menPlaced.add(other);
  for (int32_t k = 0; k < listKinds; ++k)
    if (k != 0)
      for (int32_t n = 0; n < s.moverMen[k]; ++n) menPlaced.add(s.mover[3 * k + n] ^ t);
  for (int32_t i = 0; i < moverPawnCount; ++i) menPlaced.add(moverPawns[i]);
  for (int32_t i = 0; i < waiterPawnCount; ++i) menPlaced.add(waiterPawns[i]);
  Placed pawnsPlaced = fixedSquares;
  for (int32_t i = 0; i < moverPawnCount; ++i) pawnsPlaced.add(moverPawns[i]);
  uint64_t range = 1;
  index = appendTrailingDigits(index, &range, plan, s, waiterPawns, waiterPawnCount, pawnsPlaced, menPlaced);
  if (moverPawnCount > 0) {
    Digit digit = digitOf(moverPawns, moverPawnCount, fixedSquares, uint64_t(48 - fixedSquares.count), 8);
    index = index * digit.radix + digit.value;
    range *= digit.radix;
  }
  index = index * enPassantCodes + code;
  range *= enPassantCodes;
  if (rangeOut) *rangeOut = leadingTotal(rest, restCount, true) * range;
  return index;
}

}  // namespace

uint64_t tbPawnlessIndex(const TbIndexPlan& plan, const uint32_t* first, const uint32_t* second,
                         uint32_t, int32_t) {
  return pawnlessIndexWithRange(plan, first, second, nullptr);
}

uint64_t tbPawnIndex(const TbIndexPlan& plan, const uint32_t* first, const uint32_t* second,
                     uint32_t enPassant, int32_t invert) {
  // A symmetric row stores White to move only: Black to move reads it with
  // the lists exchanged and the board turned.
  if (plan.swapForBlack) {
    TbIndexPlan white = plan;
    white.sideToMove = 0;
    white.swapForBlack = false;
    return tbPawnIndex(white, second, first, enPassant, invert ? 0 : 1);
  }
  if (pawnOnEdgeRank(first, plan.men[0][0]) || pawnOnEdgeRank(second, plan.men[1][0]))
    return tbOutsideScheme;
  PawnSetup s = pawnSetup(plan, first, second, invert);
  if (enPassant == tbNoEnPassant || enPassant > 63 || !plan.bothHavePawns)
    return ordinaryPawnIndex(plan, s, nullptr);
  // A position outside the ordinary scheme has the side to move giving
  // check: impossible, with or without en passant, and its ordinary range
  // is never computed.
  uint64_t ordinaryRange = 0;
  if (ordinaryPawnIndex(plan, s, &ordinaryRange) == tbOutsideScheme) return tbOutsideScheme;
  uint64_t e = enPassantPawnIndex(plan, s, enPassant, nullptr);
  return e == tbOutsideScheme ? e : ordinaryRange + e;
}

TbIndexFunction tbMakeIndexFunction(const char* name, int32_t id, uint32_t flags, int32_t side) {
  TbIndexFunction f;
  int32_t list = -1;
  for (const char* c = name; *c; ++c) {
    if (*c == 'k') {
      ++list;
      continue;
    }
    int32_t kind = *c == 'n' ? 1 : *c == 'b' ? 2 : *c == 'r' ? 3 : *c == 'q' ? 4 : 0;
    f.plan.men[list][kind]++;
  }
  f.plan.sideToMove = side;
  f.plan.pawns = f.plan.men[0][0] + f.plan.men[1][0] > 0;
  f.plan.bothHavePawns = f.plan.men[0][0] > 0 && f.plan.men[1][0] > 0;
  // Rows 201..265: three against three with pawns, two men on each side.
  f.plan.ascendingTrailing = id >= 201 && id <= 265;
  f.plan.swapForBlack = f.plan.pawns && (flags & 1) != 0 && side == 1;
  f.routine = f.plan.pawns ? tbPawnIndex : tbPawnlessIndex;
  return f;
}

uint64_t tbIndexRange(const TbIndexFunction& function) {
  // Any position gives the radices; the ranges do not depend on squares.
  TbIndexPlan plan = function.plan;
  if (plan.swapForBlack) {
    plan.sideToMove = 0;
    plan.swapForBlack = false;
    std::swap(plan.men[0], plan.men[1]);
  }
  uint32_t first[16], second[16];
  // Kings on a1 and h8 (legal for both pair tables), men on distinct
  // squares of ranks 2..7.
  uint32_t next = 8;
  for (int32_t k = 0; k < listKinds; ++k) {
    for (int32_t n = 0; n < 3; ++n) {
      first[3 * k + n] = n < plan.men[0][k] ? next++ : 0;
    }
  }
  for (int32_t k = 0; k < listKinds; ++k)
    for (int32_t n = 0; n < 3; ++n) second[3 * k + n] = n < plan.men[1][k] ? next++ : 0;
  first[kingWord] = plan.sideToMove == 0 ? 0 : 63;
  second[kingWord] = plan.sideToMove == 0 ? 63 : 0;
  uint64_t range = 0;
  if (!plan.pawns) {
    pawnlessIndexWithRange(plan, first, second, &range);
    return range;
  }
  PawnSetup s = pawnSetup(plan, first, second, 0);
  ordinaryPawnIndex(plan, s, &range);
  if (!plan.bothHavePawns) return range;
  // The en-passant region: radices only depend on the men's counts.
  uint64_t rest = 1;
  int32_t moverPieces = 0;
  for (int32_t k = 1; k < listKinds; ++k) moverPieces += s.moverMen[k];
  Man restMen[maxMen];
  int32_t restCount = collectMen(s.mover, s.moverMen, 1, listKinds - 1, 1, 0, restMen);
  rest = leadingTotal(restMen, restCount, true);
  int32_t order[listKinds];
  trailingOrder(plan, order);
  int32_t waiterPawns = s.waiterMen[0] - 1, moverPawns = s.moverMen[0] - 1;
  int32_t fixed = 4, menPlaced = fixed + 2 + moverPieces + moverPawns + waiterPawns;
  uint64_t product = 1;
  for (int32_t i = 0; i < listKinds; ++i) {
    int32_t k = order[i];
    int32_t count = k == 0 ? waiterPawns : s.waiterMen[k];
    if (count == 0) continue;
    uint64_t m = k == 0 ? uint64_t(48 - fixed - moverPawns) : uint64_t(64 - menPlaced);
    product *= count == 1 ? m : count == 2 ? tbPairs(m) : tbTriples(m);
    if (k != 0) menPlaced += count;
  }
  if (moverPawns > 0) product *= moverPawns == 1 ? uint64_t(44) : tbPairs(44);
  return range + rest * product * enPassantCodes;
}

}  // namespace tablebases
