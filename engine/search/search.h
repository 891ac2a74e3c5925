// The main search: its search flags (those the move picker reads stand with
// the position record, the history table it reads with the picker,
// engine/board/movegen.h).
#pragma once
#include <cstdint>

#include "engine/board/board.h"
#include "engine/board/movegen.h"
#include "engine/hash/hash.h"

namespace engine {

// Search flags of a node (SearchSpecialMove 0x1, SearchEnPassantValid 0x4
// and SearchMaterialToZero 0x1000 are set by make; SearchThreatKnown 0x8,
// SearchTacticalOnly 0x40 and SearchHistoryOrder 0x800 are read by the move
// picker: all six stand with the position record, engine/board/board.h).
constexpr uint32_t SearchNoFrontierPrune = 0x20; // no futility pruning below depth 3 here
constexpr uint32_t SearchMateThreat = 0x80;     // the threat is a mate threat
constexpr uint32_t SearchReduced = 0x200;       // searched at less than full depth
constexpr uint32_t SearchExtended = 0x400;
constexpr uint32_t SearchSharedNode = 0x2000;   // a helper's copy of a split node
constexpr uint32_t SearchReplyPushed = 0x8000;  // the parent pushed the first reply already

// Bound types a node stores with its result: the table entry's bound bits.
constexpr uint16_t BoundUpper = EntryUpperBound;
constexpr uint16_t BoundExact = EntryUpperBound | EntryLowerBound;
constexpr uint16_t BoundLower = EntryLowerBound;

// The bound type of a node after one more move's result is folded in: a cut
// (lower bound) stands over an exact score, an exact score over none.
inline uint16_t foldBoundType(uint16_t node, uint16_t move) {
  if (node == BoundLower || move == BoundLower) return BoundLower;
  if (node == BoundExact || move == BoundExact) return BoundExact;
  return node;
}

// Score scale: the outer bounds, mate scores and decided scores.
constexpr int32_t ScoreInfinite = 9999;
constexpr int32_t ScoreMated = 9998;  // a checkmated side at ply p scores -9998 + p
constexpr int32_t ScoreMate = 9900;   // at or above: a mate score
constexpr int32_t ScoreDecided = 9000;
constexpr int32_t ScorePruned = 9998; // a child score meaning "pruned, counts as searched"

}  // namespace engine

namespace engine {

// Set while one thread halves the history counters (the others skip it).
extern int32_t historyHalving;

// Longest principal variation a node hands back: its move, up to 18 below
// it, and the closing noMove.
constexpr int32_t PvLength = 20;
// A table entry's depth counts half units: a node stores twice its depth
// (plus one when it knows a threat).
constexpr int32_t EntryDepthScale = 2;

// Searches a node at depth 2 or more; `excluded` is non-null only at the
// root (the last entry of the exclusion list, read back to its noMove).
int32_t searchNode(Position* node, int32_t depth, int32_t upper, int32_t lower, Move* killers, Move* pv,
                   Move* excluded);
// Searches one move of a node and folds its result into *best and *upper;
// true when the move was abandoned unfinished (a stop, or bounds moved by
// another thread), so that a helper knows to take it up again
// (search_move.cpp).
bool searchMove(Position* node, int32_t depth, int32_t* upper, int32_t* best, Move* killers, Move* pv, Move move,
                Position* child, Move* excluded);
// After a move of the loop: true when the node has cut (upper <= best);
// otherwise narrows *upper toward the node's estimate for the next move.
// While the node is its board's split point its helpers change both bounds
// under the search lock, so this reads and writes them under it too.
bool nextMoveWindow(Position* node, int32_t* upper, int32_t* best);
// The readers of a pair of bounds that other threads share, both under the
// search lock, since a writer changes the pair whole under it: the pair as
// one reading (`sharedPair` false: a plain read of the thread's own pair),
// and the decision to search an abandoned move again.
void readBounds(bool sharedPair, int32_t* upper, int32_t* best, int32_t* upperSeen, int32_t* bestSeen);
bool resumeAbandonedMove(Position* node, int32_t* upper, int32_t* best);
// Gives the opponent a free move to find what it threatens.
void detectThreat(Position* node, int32_t bound, int32_t depth);
// The root's rescue search when its first move fails low: pushes a move.
void findFirstMove(Position* root, int32_t depth, int32_t upper, int32_t lower, Move* killers);

// A node with one unit of depth left (0 and below for a threat-bearing
// child): all moves, the replies by quiesce or, for checks, by itself.
int32_t searchFrontier(Position* node, int32_t depth, int32_t upper, int32_t lower, Move* killers, Move* pv);
// Captures, recaptures and the moves put first, over a stand-pat value.
int32_t quiesce(Position* node, int32_t upper, int32_t lower, Move* killers, Move* pv);
// Plays out the captures on the last move's square with both sides'
// attackers (x-rays included) against (upper, lower). `reply`, when given
// and the exchange pays, receives the side to move's first capture.
int32_t staticExchange(Position* node, int32_t upper, int32_t lower, Move* reply);
// Marks single-pawn endings that cannot be won (state flags 0x20, 0x40).
void recogniseDraws(Position* node);

// Is `move` possible in this position: own piece on its from-square, no own
// piece on its target, the piece's pattern reaches it with the line clear
// (pawns by their push, double-push and capture rules)?
bool isPlausibleMove(const Position* node, Move move);
// Adds a quiet move's cut to the history table (halving all past 30000).
void addHistory(int32_t kindIndex, int32_t square, int32_t amount);

}  // namespace engine
