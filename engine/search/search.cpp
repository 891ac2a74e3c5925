// The main search node: searchNode searches a position at a remaining depth
// of 2 or more (its moves one by one through searchMove, in
// search_move.cpp). detectThreat gives the opponent a free move to see what
// it threatens; findFirstMove is the root's rescue search when its first
// move fails low.
#include "engine/search/search.h"

#include <algorithm>
#include <atomic>

#include "engine/board/makemove.h"
#include "engine/board/movegen.h"
#include "engine/eval/evaluate.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/search/rootsearch.h"
#include "engine/search/search_support.h"
#include "engine/control/shared_word.h"
#include "engine/search/threads.h"

namespace engine {

namespace {

// Margins of the node (engine units).
constexpr int32_t HashMoveMargin = 26;        // a shallow entry's move counts above upper + this
constexpr int32_t WindowEstimateMargin = 48;  // narrowing window above the estimate
constexpr int32_t BestSoFarBonus = 25;        // static value bonus of the best-so-far copy
constexpr int32_t FutilityNoPrune = -20;      // futility base at or below: nothing pruned
// The threat search's margin: a share (in percent of its engine word) over
// the null child's static value.
constexpr int32_t ThreatMargin = 6;
constexpr int32_t PercentScale = 100;

// Depths of the node's steps.
constexpr int32_t FrontierPruneDepth = 3;        // below it, a futility base for the move loop
constexpr int32_t WindowNarrowingDepth = 3;      // from here an estimate narrows the window
constexpr int32_t InternalSearchMinDepth = 5;    // from here the internal search finds a first move
constexpr int32_t BestSoFarFrontierDepth = 5;    // from here the best-so-far search is a frontier search
constexpr int32_t EntryMoveDepthSlack = 3;       // an entry this much too shallow still gives its move
constexpr int32_t NullMoveMinDepth = 4;
constexpr int32_t NullMoveReduction = 4;
constexpr int32_t NullMoveFrontierDepth = 6;     // below it the null child is a frontier node
constexpr int32_t NullVerifyDepth = 11;          // from here a null-move cut is verified
constexpr int32_t NullVerifyReduction = 9;
constexpr int32_t InternalSearchReduction = 3;
constexpr int32_t RescueReduction = 2;
// A position whose stored move takes back the parent's move is trusted
// only after this many plies without a capture or pawn move.
constexpr int32_t TakeBackClock = 2;

// The entry as the probe found it, read once.
HashEntry snapshotEntry(HashEntry* entry) {
  HashEntry seen{};
  seen.key = loadShared(entry->key);
  seen.lock = loadShared(entry->lock);
  seen.score = loadShared(entry->score);
  seen.flags = loadShared(entry->flags);
  seen.move = loadShared(entry->move);
  seen.depth = loadShared(entry->depth);
  seen.age = loadShared(entry->age);
  return seen;
}

// Releases a held hash entry at the end of the node: the flags it has now
// without the on-line mark, and the holder byte the probe found.
void releaseEntry(HashEntry* entry, uint16_t savedFlags) {
  uint16_t flags = loadShared(entry->flags);
  storeShared(entry->flags, uint16_t((flags & ~(EntryOnLine | EntryHolderMask)) | (savedFlags & EntryHolderMask)));
}

// Gives back an entry the node leaves early: exactly the flags it had
// before the probe, so a game-history mark or an ancestor's on-line mark
// (both may already be held in this thread's name) stays as it was.
void restoreEntry(HashEntry* entry, uint16_t savedFlags) { storeShared(entry->flags, savedFlags); }

bool holds(HashEntry* entry, const ThreadBoard* board) {
  return entry != nullptr && (loadShared(entry->flags) & EntryHolderMask) == board->threadId;
}

// The table entry a node holds from its probe to its store. On every way
// out before the store (a repetition, a bound from the table, a stop) the
// node gives it back exactly as the probe found it.
struct HeldEntry {
  HashEntry* entry;
  uint16_t savedFlags;  // the entry's flags before the probe
  const ThreadBoard* board;

  explicit HeldEntry(const ThreadBoard* owner) : entry(nullptr), savedFlags(0), board(owner) {}
  ~HeldEntry() { giveBack(); }
  HeldEntry(const HeldEntry&) = delete;
  HeldEntry& operator=(const HeldEntry&) = delete;

  bool held() const { return holds(entry, board); }
  // Gives the entry back as the probe found it and forgets it.
  void giveBack() {
    if (held()) restoreEntry(entry, savedFlags);
    entry = nullptr;
  }
  // The node stored into the entry or released it: nothing to give back.
  void settled() { entry = nullptr; }
};

// A copy of the node for a search of the same position (internal search,
// null-move verification): its state and its stacked moves.
void copyNode(Position* copy, const Position* node) {
  copyPosition(copy, node);
  for (const Move* m = node->moveStack; m < node->moveStackTop; ++m) pushMove(copy, *m);
}

// Under the lock: brings a stale board up to its split node's generation
// while that node still wants its work; otherwise leaves it stale.
bool resyncWhileOpen(ThreadBoard* board) {
  SearchLockHold lock(true);
  const bool open = splitNodeOpen(board);
  if (open) resyncGeneration(board);
  return open;
}

// One node while searchNode works on it: its bounds (the move loop hands
// pointers to `upper` and `best` to searchMove and to helpers, which fold
// their results into them), and the depth its result is stored at.
struct NodeSearch {
  Position* node;
  ThreadBoard* board;
  int32_t depth;
  int32_t upper;
  int32_t lower;
  int32_t best;
  Move* killers;
  Move* pv;
  Move* excluded;
  bool atRoot;
  int32_t storeDepth;
};

// Moves to try first, each pushed only when plausible here (the last
// pushed is tried first): the killers, the refutations of a known threat,
// and the captures onto the threatening piece's square or the last move's
// target. Then the node's search fields start afresh.
void prepareNode(NodeSearch* ns) {
  Position* node = ns->node;
  if ((node->searchFlags & SearchTacticalOnly) == 0) {
    pushIfPlausible(node, ns->killers[1]);
    pushIfPlausible(node, ns->killers[0]);
    int32_t target = moveTo(node->lastMove);
    if (threatKnown(node)) {
      int32_t square = node->threatenedPiece->square;
      if (isOnBoard(square)) {
        pushIfPlausible(node, node->sideRecord->refutations[square]);
        pushIfPlausible(node, node->sideRecord->refutations[square + SpareColumn]);
      }
      target = moveFrom(node->threatMove);
    }
    if (isMove(node->lastMove) || threatKnown(node)) pushCapturesOnto(node, target);
  }
  node->bestSoFar = ns->lower;
  if (hasFirstReply(node) && (node->searchFlags & SearchReplyPushed) == 0) pushIfPlausible(node, node->firstReply);
  node->hashMove = noMove;
  node->estimate = ScoreInfinite;
  node->boundType = 0;
}

// Is the entry marked on the current line (by this thread, the thread it
// works for, or the game's history)? Then the position repeats.
bool onThisLine(const HashEntry& seen, const ThreadBoard* board) {
  const int32_t holder = seen.flags & EntryHolderMask;
  return (seen.flags & EntryOnLine) != 0 &&
         (holder == MarkHolder || holder == board->threadId ||
          (board->splitOwner != nullptr && holder == board->splitOwner->threadId));
}

// Does the stored move take back the move that led to the parent, with a
// score for it? Such an entry's score and move are not used.
bool takesBackParentMove(const Position* node, const HashEntry& seen) {
  const Position* parent = node->parent;
  return parent != nullptr && isMove(seen.move) && moveFrom(seen.move) == moveTo(parent->lastMove) &&
         moveTo(seen.move) == moveFrom(parent->lastMove) && node->halfMoveClock >= TakeBackClock &&
         seen.score >= 1;
}

// How the node uses an entry of some depth.
enum class EntryUse { Used, Returns, Forgotten };

// An entry of some depth: a reduced node whose entry bounds it below its
// upper bound returns at once; the entry's move, when the entry is deep
// enough or a clear cut, goes first, with the entry's score as the
// estimate. A move not plausible here means a key collision: the entry is
// given back and forgotten.
EntryUse takeEntryMove(NodeSearch* ns, HeldEntry* held, const HashEntry& seen, int32_t required) {
  Position* node = ns->node;
  if ((node->searchFlags & SearchReduced) != 0 && (seen.flags & EntryUpperBound) != 0 && seen.score < ns->upper)
    return EntryUse::Returns;
  const bool moveUsable = seen.depth + EntryMoveDepthSlack >= required ||
                          ((seen.flags & EntryLowerBound) != 0 && seen.score > ns->upper + HashMoveMargin);
  if (!moveUsable || !isMove(seen.move)) return EntryUse::Used;
  if (!isPlausibleMove(node, seen.move)) {
    held->giveBack();
    return EntryUse::Forgotten;
  }
  pushMove(node, seen.move);
  node->hashMove = seen.move;
  node->estimate = (seen.flags & EntryUpperBound) != 0 ? seen.score : ScoreInfinite;
  return EntryUse::Used;
}

// May a tactical-only node take a lower bound from the table? Only when
// its hash move recaptures, is its first reply, or takes a piece of a
// higher code.
bool tacticalLowerUsable(const Position* node) {
  if ((node->searchFlags & SearchTacticalOnly) == 0) return true;
  const Move hm = node->hashMove;
  return isMove(hm) && (moveTo(hm) == moveTo(node->lastMove) || hm == node->firstReply ||
                        pieceOn(node, moveTo(hm))->kindCopy.code > pieceOn(node, moveFrom(hm))->kindCopy.code);
}

// An entry deep enough for the node: its move is the line, its bound
// narrows the window (an exact score ends the node). True when the node
// returns *score.
bool applyEntryBounds(NodeSearch* ns, const HashEntry& seen, int32_t* score) {
  Position* node = ns->node;
  if (isMove(seen.move)) {
    ns->pv[0] = seen.move;
    ns->pv[1] = noMove;
  }
  const bool lowerBound = (seen.flags & EntryUpperBound) == 0;
  const bool exact = (seen.flags & (EntryUpperBound | EntryLowerBound)) == (EntryUpperBound | EntryLowerBound);
  if (lowerBound && seen.score > ns->lower) {
    if (tacticalLowerUsable(node)) {
      ns->lower = seen.score;
      node->bestSoFar = ns->lower;
    }
  } else if (exact) {
    *score = seen.score;
    return true;
  } else if (!lowerBound && seen.score < ns->upper) {
    ns->upper = seen.score;
  }
  if (ns->upper <= ns->lower) {
    *score = ns->lower;
    return true;
  }
  return false;
}

// The table probe (below the root, and only with a table of at least one
// bucket): the entry is held for this node, and what it stores may end the
// node at once (a repetition scores 0) or give it a move, an estimate and
// narrower bounds. True when the node returns *score.
bool probeTable(NodeSearch* ns, HeldEntry* held, int32_t* score) {
  Position* node = ns->node;
  if (ns->atRoot || engineHash.entries == nullptr || entryCount < EntriesPerBucket) return false;
  const int32_t required = EntryDepthScale * ns->depth + (threatKnown(node) ? 1 : 0);
  HashKey key{node->key, node->lock, 0};
  held->entry = hashProbeOrReplace(&engineHash, &key, required, ns->board->threadId, &held->savedFlags);
  if (held->entry == nullptr) return false;
  const HashEntry seen = snapshotEntry(held->entry);
  if (onThisLine(seen, ns->board)) {
    *score = 0;
    return true;
  }
  bool useEntry = true;
  if (seen.depth > 0) {
    if (takesBackParentMove(node, seen)) {
      useEntry = false;
    } else {
      const EntryUse use = takeEntryMove(ns, held, seen, required);
      if (use == EntryUse::Returns) {
        *score = ns->lower;
        return true;
      }
      useEntry = use == EntryUse::Used;
    }
  }
  if (useEntry && seen.depth >= required && applyEntryBounds(ns, seen, score)) return true;
  ns->storeDepth = required - ((node->searchFlags & SearchTacticalOnly) != 0 ? 1 : 0);
  return false;
}

// The null move: the opponent moves twice; when even that fails to reach
// upper the node cuts (verified by a much shallower search of the node
// itself when deep). True when the node cuts, with best set.
bool cutByNullMove(NodeSearch* ns) {
  Position* node = ns->node;
  const int32_t depth = ns->depth, upper = ns->upper;
  if (ns->board->materialSum <= 0 || depth < NullMoveMinDepth || ns->atRoot || threatKnown(node) ||
      upper >= ScoreMate)
    return false;
  Position nullChild;
  initPosition(&nullChild, ns->board);
  makeNullMove(node, &nullChild);
  startChild(node, &nullChild);
  nullChild.killers[0] = node->killers[0];
  nullChild.killers[1] = node->killers[1];
  Move nullKillers[2] = {node->killers[0], node->killers[1]};
  Move line[PvLength];
  line[0] = noMove;
  int32_t v;
  if (depth < NullMoveFrontierDepth)
    v = -searchFrontier(&nullChild, 1, -upper + 1, -upper, nullKillers, line);
  else
    v = -searchNode(&nullChild, depth - NullMoveReduction, -upper + 1, -upper, nullKillers, line, nullptr);
  if (v >= upper && depth >= NullVerifyDepth) {
    Position copy;
    copyNode(&copy, node);
    Move verifyLine[PvLength];
    v = searchNode(&copy, depth - NullVerifyReduction, upper, ns->lower, ns->killers, verifyLine, ns->excluded);
  }
  if (v < upper) return false;
  node->movesSearched = 1;
  ns->pv[0] = noMove;
  node->boundType = BoundLower;
  ns->best = v;
  return true;
}

// An estimate and a first move where the table gave none: at the root of
// the iteration the driver's previous line (in the killers), elsewhere an
// internal search of the node at reduced depth. False when that search was
// stopped or its bounds moved: the node then returns.
bool estimateFirstMove(NodeSearch* ns) {
  Position* node = ns->node;
  const int32_t depth = ns->depth;
  if (node->hashMove != noMove) return true;
  if (depth < InternalSearchMinDepth) {
    node->estimate = ScoreInfinite;
    return true;
  }
  if (depth == searchDepth && ns->atRoot && isMove(ns->killers[0])) {
    if (isMove(ns->killers[1])) pushMove(node, ns->killers[1]);
    node->estimate = previousScore;
    node->hashMove = ns->killers[0];
    return true;
  }
  Position copy;
  copyNode(&copy, node);
  Move internalLine[PvLength];
  internalLine[0] = noMove;
  node->estimate =
      searchNode(&copy, depth - InternalSearchReduction, ns->upper, ns->lower, ns->killers, internalLine, ns->excluded);
  if (stopRequested() || generationStale(ns->board)) return false;
  if (isMove(internalLine[0])) node->hashMove = internalLine[0];
  return true;
}

// Narrows the window to the estimate (plus a margin) near the root; three
// plies down a window already narrowed stays as it is.
void narrowWindow(NodeSearch* ns) {
  Position* node = ns->node;
  const Position* parent = node->parent;
  const bool deep = parent != nullptr && parent->parent != nullptr && parent->parent->parent != nullptr;
  if (deep && ns->upper != ScoreInfinite) {
    node->estimate = ScoreInfinite;
  } else if (ns->lower < ScoreMate && node->estimate > -ScoreInfinite) {
    node->estimate += WindowEstimateMargin;
    ns->upper = std::min(node->entryUpper, std::max(ns->lower + 1, node->estimate));
  } else {
    node->estimate = ScoreInfinite;
  }
}

// The best-so-far search: a shallow search of the node with a bonus on its
// value gives a lower bound that later steps measure moves against (the
// threats' payback, the futility base), and below the root a move to try.
void searchBestSoFar(NodeSearch* ns) {
  Position* node = ns->node;
  if (engineWord(ParamThreatDetection) == 0 || (node->searchFlags & SearchTacticalOnly) != 0) return;
  Position copy;
  copyPosition(&copy, node);
  copy.stateFlags |= StateQuiesceAgain | StateScratchSearch;
  copy.staticValue += BestSoFarBonus;
  Move copyKillers[2] = {node->hashMove, noMove};
  Move copyLine[PvLength];
  copyLine[0] = noMove;
  int32_t v;
  if (ns->depth < BestSoFarFrontierDepth) {
    v = quiesce(&copy, ScoreInfinite, node->bestSoFar, copyKillers, copyLine);
  } else {
    copy.stateFlags &= node->sideRecord->flagMask;
    v = searchFrontier(&copy, 1, ScoreInfinite, node->bestSoFar, copyKillers, copyLine);
  }
  node->bestSoFar = v;
  if (!ns->atRoot) {
    if (isMove(copyLine[0])) pushIfPlausible(node, copyLine[0]);
    if (v > ScoreMate) node->hashMove = noMove;
  }
}

// Moves the loop passes over: a tactical-only node's non-tactical moves,
// futile moves (counted as searched), moves already taken from the stack,
// and in check the moves that do not answer it. A move that leaves a known
// threat unanswered is marked so for its search.
bool skipMove(Position* node, Move move, bool fromStack, const TakenMoves* taken) {
  if ((node->searchFlags & SearchTacticalOnly) != 0 && skippedInTacticalNode(node, move)) return true;
  if (node->futilityBase > FutilityNoPrune) {
    const PieceRecord* mover = pieceOn(node, moveFrom(move));
    if (moveGain(node, move) <= node->futilityBase && !isEnPassantCapture(node, move) &&
        threatTarget(moveTo(move), mover, ThreatClassMinor) == NoSquare) {
      addShared(node->movesSearched, 1);
      return true;
    }
  }
  if (!fromStack && taken->contains(move)) return true;
  return leavesCheckUnanswered(node, move, node->inCheck != 0);
}

// After a move: does the loop end? On a stop; on bounds moved by another
// thread, unless this is the board's split node and the node its board
// works for is still open (its best only rose: it goes on after a resync;
// once that node is cut or stopped this one stops too, recalls its helpers
// and hands out nothing more); on a cut. Otherwise the window for the next
// move.
bool moveLoopEnds(NodeSearch* ns) {
  if (stopRequested()) return true;
  if (generationStale(ns->board)) {
    if (ns->board->splitPoint != ns->node) return true;
    if (!resyncWhileOpen(ns->board)) {
      stopSplitNode(ns->node);
      return true;
    }
  }
  return nextMoveWindow(ns->node, &ns->upper, &ns->best);
}

// The move loop: the hash move first, then the stack, then the picker.
// From the second move on, a deep enough node offers each move to an idle
// helper and searches it itself when none takes it.
void searchMoves(NodeSearch* ns, Position* child) {
  Position* node = ns->node;
  if (isMove(node->hashMove)) pushMove(node, node->hashMove);
  node->movesSearched = 0;
  TakenMoves taken;
  startMoveLoop(node, child, &taken);
  for (;;) {
    bool fromStack = false;
    const Move move = takeNextMove(node, &taken, false, &fromStack);
    if (move == noMove) break;
    if (skipMove(node, move, fromStack, &taken)) continue;
    bool handed = false;
    if (ns->depth >= MinSplitDepth && loadShared(node->movesSearched) >= 1 &&
        (node->searchFlags & SearchTacticalOnly) == 0 && !stopRequested() && !generationStale(ns->board) &&
        !isExcluded(ns->excluded, move))
      handed = handOff(node, ns->depth, &ns->upper, &ns->best, ns->killers, ns->pv, move, child);
    if (!handed) searchMove(node, ns->depth, &ns->upper, &ns->best, ns->killers, ns->pv, move, child, ns->excluded);
    if (moveLoopEnds(ns)) break;
  }
}

// The node's end: it waits for its helpers (a node whose board's split
// node was cut or stopped meanwhile stays stale, and stores nothing); a
// node where no move counted is checkmate or stalemate.
void finishNode(NodeSearch* ns) {
  Position* node = ns->node;
  if (ns->board->splitPoint == node) {
    waitForHelpers(node);
    resyncWhileOpen(ns->board);
  }
  if ((node->searchFlags & SearchTacticalOnly) == 0 && (ns->best == -ScoreInfinite || node->movesSearched == 0))
    ns->best = kingAttacked(node) ? node->matedScore : 0;
}

// Stores the result into the entry this thread holds, or releases it: a
// deeper entry with the same score or a bound keeps its own, a tactical-only
// node stores no upper bound, and a stopped or stale node stores nothing.
void storeResult(NodeSearch* ns, HeldEntry* held) {
  if (!held->held()) return;
  const Position* node = ns->node;
  HashEntry* entry = held->entry;
  if ((ns->best == loadShared(entry->score) || node->boundType != 0) && loadShared(entry->depth) > ns->storeDepth) {
    releaseEntry(entry, held->savedFlags);
  } else if ((node->searchFlags & SearchTacticalOnly) != 0 && ns->best < ns->upper) {
    releaseEntry(entry, held->savedFlags);
  } else if (!stopRequested() && !generationStale(ns->board)) {
    storeShared(entry->score, int16_t(ns->best));
    storeShared(entry->depth, uint8_t(ns->storeDepth));
    if (isMove(ns->pv[0])) storeShared(entry->move, ns->pv[0]);
    storeShared(entry->flags, uint16_t(node->boundType | (held->savedFlags & EntryHolderMask)));
  } else {
    releaseEntry(entry, held->savedFlags);
  }
  held->settled();
}

}  // namespace

void detectThreat(Position* node, int32_t bound, int32_t depth) {
  if ((node->stateFlags & StateFinal) != 0) return;
  Position nullChild;
  initPosition(&nullChild, node->board);
  makeNullMove(node, &nullChild);
  startChild(node, &nullChild);
  nullChild.stateFlags |= StateQuiesceAgain | StateScratchSearch;
  nullChild.killers[0] = nullChild.killers[1] = noMove;
  int32_t l = std::max(engineWord(ParamThreatMargin) * ThreatMargin / PercentScale + nullChild.staticValue, bound);
  Move killers[2] = {node->killers[0], node->killers[1]};
  Move line[PvLength];
  line[0] = noMove;
  int32_t v;
  if (depth > 1) {
    v = searchNode(&nullChild, depth, ScoreInfinite, l, killers, line, nullptr);
  } else if (depth == 1) {
    nullChild.stateFlags &= node->sideRecord->flagMask;
    v = searchFrontier(&nullChild, 1, ScoreInfinite, l, killers, line);
  } else {
    v = quiesce(&nullChild, ScoreInfinite, l, killers, line);
  }
  // The reply found is the threat, unless it is no real move or castling.
  Move reply = line[0];
  int32_t from = moveFrom(reply);
  bool castling = isOnBoard(from) && squareAt(node->board, from)->kindCopy.code == KingCode &&
                  (moveTo(reply) - from == CastlingKingStep || from - moveTo(reply) == CastlingKingStep);
  if (isMove(reply) && isOnBoard(from) && !castling) {
    node->threatMove = reply;
    node->threatenedPiece = squareAt(node->board, moveTo(reply));
    node->threatGrade = squareAt(node->board, from)->kindCopy.code >= node->threatenedPiece->kindCopy.code ? 1 : 0;
    node->searchFlags |= SearchThreatKnown;
    if (v >= ScoreMate) node->searchFlags |= SearchMateThreat;
  } else {
    node->searchFlags &= ~SearchThreatKnown;
  }
}

void findFirstMove(Position* root, int32_t depth, int32_t upper, int32_t lower, Move* killers) {
  Position copy;
  copyPosition(&copy, root);
  Move copyKillers[2] = {killers[1], noMove};
  Move exclusion[2] = {noMove, killers[0]};
  Move line[PvLength];
  line[0] = noMove;
  searchNode(&copy, depth - RescueReduction, upper, lower, copyKillers, line, &exclusion[1]);
  if (isMove(line[0])) pushMove(root, line[0]);
}

bool nextMoveWindow(Position* node, int32_t* upper, int32_t* best) {
  // A helper raising best between the reads and the store would otherwise
  // leave upper below best: the loop would end as if cut, with moves unsearched.
  SearchLockHold lock(node->board->splitPoint == node);
  const int32_t bestNow = loadShared(*best), upperNow = loadShared(*upper);
  const bool cut = upperNow <= bestNow;
  if (!cut && upperNow > node->estimate && bestNow < ScoreDecided)
    storeShared(*upper, node->estimate > bestNow ? node->estimate : bestNow + 1);
  return cut;
}

int32_t searchNode(Position* node, int32_t depth, int32_t upper, int32_t lower, Move* killers, Move* pv,
                   Move* excluded) {
  node->excluded = excluded;
  pv[0] = noMove;
  if (plyOf(node) >= MaxSearchPly) return std::clamp(node->staticValue, lower, upper);
  NodeSearch ns{node, node->board, depth, upper, lower, lower, killers, pv, excluded, excluded != nullptr, 0};

  // Step 1. Futility base, and the mate-distance cut: a node that cannot
  // score above a mate here returns before any work.
  if (depth < FrontierPruneDepth && (node->searchFlags & SearchNoFrontierPrune) == 0)
    node->futilityBase = lower + futilityMargin - node->staticValue;
  else
    node->futilityBase = -ScoreInfinite;
  if (upper <= node->matedScore) return upper;

  // Step 2. Moves to try first, and the node's search fields.
  prepareNode(&ns);

  // Step 3. The table: a repetition or a bound stored for the position may
  // end the node here; the entry stays held until the store.
  HeldEntry held(ns.board);
  int32_t stored = 0;
  if (probeTable(&ns, &held, &stored)) return stored;
  node->boundType = BoundUpper;

  // Step 4. The child record and the node's own fields for its moves.
  Position child;
  node->inCheck = threatOnKing(node) ? 1 : 0;
  ns.best = ns.lower;
  node->movesSearched = 0;

  // Step 5. A null move that fails high cuts the node without its moves.
  if (!cutByNullMove(&ns)) {
    // Step 6. From the depth that pays for it, an estimate and a first move
    // narrow the window for the moves after the first.
    node->entryUpper = ns.upper;
    if (depth >= WindowNarrowingDepth) {
      if (!estimateFirstMove(&ns)) return ns.lower;
      narrowWindow(&ns);
    } else {
      node->estimate = ScoreInfinite;
    }

    // Step 7. The best-so-far search; the position is now on this line
    // (repetitions of it below score 0), and the loop orders quiet moves by
    // history.
    searchBestSoFar(&ns);
    if (held.held()) std::atomic_ref<uint16_t>(held.entry->flags).fetch_or(EntryOnLine, std::memory_order_relaxed);
    node->searchFlags |= SearchHistoryOrder;

    // Step 8. The move loop.
    searchMoves(&ns, &child);
  }

  // Step 9. Wait for the helpers; mate and stalemate.
  finishNode(&ns);

  // Step 10. Store into the entry this thread holds, or release it.
  storeResult(&ns, &held);
  return ns.best;
}

}  // namespace engine
