// The exchange routine: plays out the captures on the square of the last
// move with both sides' attackers, x-ray attackers included, against a pair
// of bounds, without making any move.
#include <cstdint>

#include "engine/board/board.h"
#include "engine/board/geometry.h"
#include "engine/eval/eval_weights.h"
#include "engine/search/search.h"

namespace engine {

namespace {

// Most attackers a side can bring to one square (16 pieces, less the king
// standing on it at worst); the lists never overflow.
constexpr int32_t MaxExchangeAttackers = 16;
// Even taking the piece on the target must come within this of lower.
constexpr int32_t ExchangeHopelessMargin = 13;

// One attacker of the target square.
struct ExchangeEntry {
  int32_t square;
  int32_t value;   // the piece's current value
  int32_t change;  // piece-square value at the target minus at its own square
  uint64_t bit;    // its square bit
  uint64_t behind; // the square bit of the piece it stands behind; 0 when direct
};

struct ExchangeList {
  ExchangeEntry entries[MaxExchangeAttackers];
  int32_t count;
};

// One bit of 64 per board square: rank x 8 + file.
inline uint64_t squareBit(int32_t square) { return uint64_t(1) << ((square + (square & 7)) >> 1); }

// Does the piece on `square` reach `target` along the line of `step`,
// directly or through further pieces that reach it along the same line?
bool reachesAlongLine(const ThreadBoard* board, int32_t square, int32_t target, int32_t step) {
  const PieceRecord* piece = squareAt(board, square);
  if (piece->colour == 0) return false;
  int32_t attackBit = piece->kindCopy.attackBit;
  if ((attackBits(square, target) & attackBit) == 0 || stepToward(square, target) != step) return false;
  if ((attackBit & AttackSlider) == 0) return true;  // a pawn or king next to the target
  int32_t s = square + step;
  while (s != target && isEmptySquare(board, s)) s += step;
  return s == target || reachesAlongLine(board, s, target, step);
}

// Collects the side's pieces that take part in an exchange on `target`, in
// piece-list order.
void collectAttackers(const ThreadBoard* board, const SideRecord* side, int32_t target, ExchangeList* list) {
  list->count = 0;
  const PieceRecord* end = boardPiece(board);
  for (const PieceRecord* p = side->head.next; p != end; p = p->next) {
    int32_t from = p->square;
    if (from == target) continue;
    int32_t attackBit = p->kindCopy.attackBit;
    if ((attackBits(from, target) & attackBit) == 0) continue;
    uint64_t behind = 0;
    if ((attackBit & AttackSlider) != 0) {
      // Walk toward the target: clear = direct; blocked by a piece that
      // itself reaches the target on this line = x-ray; otherwise dropped.
      int32_t step = stepToward(from, target);
      int32_t s = from + step;
      while (s != target && isEmptySquare(board, s)) s += step;
      if (s != target) {
        if (!reachesAlongLine(board, s, target, step)) continue;
        behind = squareBit(s);
      }
    }
    QL_CHECK(list->count < MaxExchangeAttackers);
    ExchangeEntry& e = list->entries[list->count++];
    e.square = from;
    e.value = p->currentValue;
    e.change = p->kindCopy.pieceSquareTable[target] - p->kindCopy.pieceSquareTable[from];
    e.bit = squareBit(from);
    e.behind = behind;
  }
}

// The cheapest usable attacker of the list (direct, or x-ray whose front
// piece has been used), the first found on equal value; null when none.
const ExchangeEntry* cheapestAttacker(const ExchangeList* list, uint64_t used) {
  const ExchangeEntry* best = nullptr;
  for (int32_t i = 0; i < list->count; ++i) {
    const ExchangeEntry* e = &list->entries[i];
    if ((used & e->bit) != 0) continue;
    if (e->behind != 0 && (used & e->behind) == 0) continue;
    if (best == nullptr || e->value < best->value) best = e;
  }
  return best;
}

}  // namespace

int32_t staticExchange(Position* node, int32_t upper, int32_t lower, Move* reply) {
  ThreadBoard* board = node->board;

  // Step 1. Stand pat.
  int32_t v = node->staticValue;
  if (lower < v) {
    if (v >= upper) return v;
    lower = v;
  }

  // Step 2. The target is the square the last move went to.
  if (node->lastMove == noMove) return lower;
  int32_t target = moveTo(node->lastMove);
  const PieceRecord* victimPiece = squareAt(board, target);
  if (victimPiece->colour == 0) return lower;
  int32_t victim = victimPiece->currentValue;

  // Step 3. Even the whole victim cannot lift the score to lower.
  if (evalOffset.load(std::memory_order_relaxed) + lower - v - victim > ExchangeHopelessMargin) return lower;

  // Step 4. Both sides' attackers.
  ExchangeList lists[2];
  collectAttackers(board, node->sideRecord, target, &lists[0]);
  collectAttackers(board, node->sideRecord->otherSide, target, &lists[1]);

  // Step 5. Alternate the captures, side to move first, each side free to
  // stop; the bounds close in until one side's choice is settled.
  int32_t base = v + victim;
  int32_t low = lower, high = upper;
  int32_t result = v;
  int32_t firstSquare = NoSquare;
  uint64_t used = 0;
  for (int32_t turn = 0;; turn ^= 1) {
    const ExchangeEntry* e = cheapestAttacker(&lists[turn], used);
    if (e == nullptr) break;
    used |= e->bit;
    int32_t score;
    if (turn == 0) {
      if (firstSquare == NoSquare) firstSquare = e->square;
      score = base + e->change;
      if (score < high) {
        if (low >= score) return low;
        high = score;
      }
      base -= e->value;
    } else {
      score = base - e->change;
      if (score > low) {
        if (reply != nullptr) *reply = makeMove16(firstSquare, target);
        if (score >= high) return high;
        low = score;
      }
      base += e->value;
    }
    result = score;
  }

  // Step 6. The last score reached, within the bounds.
  if (low >= result) return low;
  if (reply != nullptr && firstSquare != NoSquare) *reply = makeMove16(firstSquare, target);
  return result < high ? result : high;
}

}  // namespace engine
