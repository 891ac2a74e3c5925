// The main search node: searchNode searches a position at a remaining depth
// of 2 or more; searchMove searches one of its moves (on the master thread
// or on a helper that was handed the move). detectThreat gives the
// opponent a free move to see what it threatens; findFirstMove is the
// root's rescue search when its first move fails low.
#include "engine/search/search.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "engine/board/legality.h"
#include "engine/board/makemove.h"
#include "engine/board/movegen.h"
#include "engine/eval/attack_data.h"
#include "engine/eval/eval_terms.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/search/hook_slots.h"
#include "engine/search/rootsearch.h"
#include "engine/search/search_support.h"
#include "engine/control/shared_word.h"
#include "engine/search/threads.h"

namespace engine {

namespace {

// Margins of the node (engine units).
constexpr int32_t HashMoveMargin = 26;         // a shallow entry's move counts above upper + this
constexpr int32_t WindowEstimateMargin = 48;   // narrowing window above the estimate
constexpr int32_t BestSoFarBonus = 25;         // static value bonus of the best-so-far copy
constexpr int32_t FutilityNoPrune = -20;       // futility base at or below: nothing pruned
constexpr int32_t ImprovementExempt = 49;      // a move improving the static value this much is not reduced
constexpr int32_t KingMoveMaterial = 3399;     // above it, a king move is reduced twice
constexpr int32_t RootDropMargin = 18;         // a root score this far below the last one reopens the iteration
constexpr int32_t DrawMarkDepthLimit = 30;

// Depths of the null move, its verification and the internal search.
constexpr int32_t NullMoveMinDepth = 4;
constexpr int32_t NullMoveReduction = 4;
constexpr int32_t NullMoveFrontierDepth = 6;
constexpr int32_t NullVerifyDepth = 11;
constexpr int32_t NullVerifyReduction = 9;
constexpr int32_t InternalSearchReduction = 3;
constexpr int32_t LegalityTestDepth = 9;
constexpr int32_t DeepThreatDepth = 8;

// Threat-target class bounds.
constexpr int32_t ThreatClassMinor = 6;
constexpr int32_t ThreatClassRook = 7;
constexpr int32_t ThreatClassKing = 11;

bool queenOnBoard(const ThreadBoard* board) {
  return board->kinds[WhiteQueen].count + board->kinds[BlackQueen].count > 0;
}

// The exclusion list is read backwards from its last entry to the noMove
// before the first.
bool isExcluded(const Move* excluded, Move move) {
  if (excluded == nullptr) return false;
  for (const Move* m = excluded; *m != noMove; --m)
    if (*m == move) return true;
  return false;
}
bool exclusionEmpty(const Move* excluded) { return excluded == nullptr || *excluded == noMove; }

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

// Did the move into this position capture or promote?
bool arrivedByCaptureOrPromotion(const Position* node) {
  if (node->captured != boardPiece(node->board)) return true;
  if ((node->searchFlags & SearchSpecialMove) == 0 || !isMove(node->lastMove)) return false;
  return squareAt(node->board, moveTo(node->lastMove))->kindCopy.code != KingCode;
}

// A copy of the node for a search of the same position (internal search,
// null-move verification): its state and its stacked moves.
void copyNode(Position* copy, const Position* node) {
  copyPosition(copy, node);
  for (const Move* m = node->moveStack; m < node->moveStackTop; ++m) pushMove(copy, *m);
}

// The tablebase probe of a child under the search lock; 1 with the child's
// distance to mate in *distance when found.
int32_t probeChild(Position* child, int32_t* distance) {
  TablebaseHook hook = tablebaseHook.load(std::memory_order_relaxed);
  ThreadBoard* board = child->board;
  if (hook == nullptr || board->pieceCount > tbPieceLimit) return 0;
  int32_t ep = 0;
  if ((child->searchFlags & SearchEnPassantValid) != 0) {
    // Passed only when a pawn of the side to move can take.
    int32_t pushed = child->enPassantSquare + child->opponent * 16;
    for (int32_t beside : {pushed - 1, pushed + 1}) {
      const PieceRecord* p = squareAt(board, beside);
      if (p->colour == child->side && p->kindCopy.code == PawnCode) ep = child->enPassantSquare;
    }
  }
  enterSearchLock();
  int32_t found = hook(board, child->side, ep, distance);
  leaveSearchLock();
  return found;
}

// A root line is made under the search lock and printed once the lock is
// left, since every helper's bound update waits for that lock while the
// host prints. Lines are numbered in the order they were made; a line that
// reaches the printer after a newer one is dropped, so the last line
// printed is always the newest best.
struct RootReport {
  bool pending;
  int32_t depth;
  int32_t score;
  int32_t mark;
  uint64_t number;
  Move line[PvLength];
};
std::atomic<uint64_t> rootReportsMade{0};
std::mutex rootReportLock;
uint64_t rootReportsPrinted = 0;

void prepareRootReport(RootReport* report, int32_t depth, int32_t score, const Move* pv, int32_t mark) {
  report->pending = true;
  report->depth = depth;
  report->score = score;
  report->mark = mark;
  report->number = rootReportsMade.fetch_add(1, std::memory_order_relaxed) + 1;
  int32_t i = 0;
  for (; i < PvLength - 1 && pv[i] != noMove; ++i) report->line[i] = pv[i];
  report->line[i] = noMove;
}

void sendRootReport(const RootReport* report) {
  if (!report->pending) return;
  std::lock_guard<std::mutex> guard(rootReportLock);
  if (report->number <= rootReportsPrinted) return;
  rootReportsPrinted = report->number;
  callInfoHook(report->depth, report->score, report->line, report->mark);
}

// The node's pair of bounds as one reading: under the lock while other
// threads share them, since a writer changes the pair whole under it.
void readBounds(bool sharedPair, int32_t* upper, int32_t* best, int32_t* upperSeen, int32_t* bestSeen) {
  if (sharedPair) enterSearchLock();
  *bestSeen = loadShared(*best);
  *upperSeen = loadShared(*upper);
  if (sharedPair) leaveSearchLock();
}

// After a move abandoned at a node whose bounds other threads share: true
// when it is to be searched again (no stop, the node's bounds still apart,
// and the split node the board works for still wants its work), with best
// so far, the futility base and the board's generation brought up to date.
// Judged under the lock, so never on a pair of bounds half changed.
bool resumeAbandonedMove(Position* node, int32_t* upper, int32_t* best) {
  ThreadBoard* board = node->board;
  enterSearchLock();
  const bool resume = !stopRequested() && loadShared(*best) < loadShared(*upper) && splitNodeOpen(board);
  if (resume) {
    // Helpers fold their best so far into the owner's split node under the
    // lock: the owner's own update goes under it too.
    storeShared(node->bestSoFar, std::max(loadShared(node->bestSoFar), loadShared(*best)));
    resyncGeneration(board);
  }
  leaveSearchLock();
  if (resume && node->futilityBase != -ScoreInfinite)
    node->futilityBase = futilityMargin + loadShared(node->bestSoFar) - node->staticValue;
  return resume;
}

// Under the lock: brings a stale board up to its split node's generation
// while that node still wants its work; otherwise leaves it stale.
bool resyncWhileOpen(ThreadBoard* board) {
  enterSearchLock();
  const bool open = splitNodeOpen(board);
  if (open) resyncGeneration(board);
  leaveSearchLock();
  return open;
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
  int32_t l = std::max(engineWord(ParamThreatMargin) * 6 / 100 + nullChild.staticValue, bound);
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
  Move reply = line[0];
  int32_t from = moveFrom(reply);
  bool castling = isOnBoard(from) && squareAt(node->board, from)->kindCopy.code == KingCode &&
                  (moveTo(reply) - from == 2 || from - moveTo(reply) == 2);
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
  searchNode(&copy, depth - 2, upper, lower, copyKillers, line, &exclusion[1]);
  if (isMove(line[0])) pushMove(root, line[0]);
}

bool searchMove(Position* node, int32_t depth, int32_t* upper, int32_t* best, Move* killers, Move* pv, Move move,
                Position* child, Move* excluded) {
  ThreadBoard* board = node->board;
  const bool atRoot = excluded != nullptr;
  const bool shared = (node->searchFlags & SearchSharedNode) != 0;
  const int32_t from = moveFrom(move), to = moveTo(move);
  bool research = false;
  Move line[PvLength];

  for (;;) {
    // Step 1. The upper bound the child's window is built from (step 14),
    // against which its result is judged.
    int32_t d = depth - 1;
    bool windowed = false;
    int32_t windowUpper = 0;
    const bool capture = isCapture(node, move);
    const int32_t moverCode = pieceOn(node, from)->kindCopy.code;
    const bool queenCapture = pieceOn(node, to)->kindCopy.code == QueenCode && pieceOn(node, to)->colour != 0;
    makeMove(node, move, child);
    startChild(node, child);
    PieceRecord* mover = pieceOn(child, to);
    line[0] = noMove;
    int32_t childScore = 0;
    bool scored = false;
    AttackData* saved = nullptr;

    // Step 2. Excluded root moves are never chosen.
    if (isExcluded(excluded, move)) {
      childScore = ScoreInfinite;
      scored = true;
    }
    // Step 3. Root announcement, of legal moves only: below depth 10 an
    // illegal root move is still searched (and refuted by the king's
    // capture), but a GUI is never shown it.
    if (!scored && atRoot) {
      CurrMoveHook hook = currMoveHook.load(std::memory_order_relaxed);
      const bool illegal = hook != nullptr && moverKingAttacked(child);
      if (searchDepth > 9 && illegal) {
        childScore = ScoreInfinite;
        scored = true;
      } else if (exclusionEmpty(excluded)) {
        if (hook != nullptr && !illegal) hook(depth, child, research ? 1 : 0);
        onFirstRootMove.store(move == node->hashMove ? 1 : 0, std::memory_order_relaxed);
      }
    }
    // Step 4. A final child.
    if (!scored && (child->stateFlags & StateFinal) != 0) {
      childScore = child->staticValue;
      scored = true;
    }
    // Step 5. Legality at depth, then the tablebases.
    if (!scored && depth >= LegalityTestDepth) {
      int32_t g = 0;
      if (moverKingAttacked(child)) {
        childScore = ScoreInfinite;
        scored = true;
      } else if (probeChild(child, &g) == 1) {
        // g > 0: the child's side mates with its g-th move, so this node's
        // side is mated 2g plies below this node. g < 0: a loss in -g counts
        // the loser's turns: the child's side is checkmated at its -g-th
        // turn, after -g - 1 moves of this side, 2(-g) - 1 plies below this
        // node (a loss in 1 is checkmated now). Scored as the search scores
        // the same mates when it finds them itself.
        int32_t m = node->matedScore;
        childScore = g == 0 ? 0 : g > 0 ? -m - 2 * g : m - 2 * g - 1;
        scored = true;
      } else {
        research = research || loadShared(*best) == -ScoreInfinite;
      }
    }

    if (!scored) {
      // Step 6. The threat mark for the child.
      markChildThreat(node, child, move, d, 0);

      // Step 7. Does the move hang material?
      if (d > 1 && (node->searchFlags & SearchTacticalOnly) == 0 && move != node->hashMove && !research) {
        int32_t f = std::max(engineWord(ParamHangingMargin) * 27 / 100 - node->staticValue, child->staticValue);
        Move reply = noMove;
        staticExchange(child, f + 1, f, &reply);
        if (isMove(reply)) {
          if (moverCode == KingCode) {
            childScore = ScoreInfinite;
            scored = true;
          } else if ((node->searchFlags & SearchReduced) != 0 && move != node->firstReply) {
            childScore = ScorePruned;
            scored = true;
          } else {
            child->searchFlags |= SearchReduced | SearchTacticalOnly;
            d = depth - 2;
            if (!hasFirstReply(child)) {
              if (threatKnown(node) && node->threatenedPiece == mover)
                child->firstReply = reply;
              else
                pushMove(child, reply);
            } else if ((node->searchFlags & SearchMateThreat) != 0 ||
                       (threatKnown(node) && node->threatenedPiece->currentValue >= mover->currentValue)) {
              pushMove(child, reply);
            } else {
              child->searchFlags |= SearchReplyPushed;
              pushMove(child, child->firstReply);
              pushMove(child, reply);
            }
          }
        }
      }
    }

    if (!scored) {
      const bool childTactical = (child->searchFlags & SearchTacticalOnly) != 0;
      const bool nodeReduced = (node->searchFlags & SearchReduced) != 0;
      // Step 8. A fresh evaluation for the children that need one.
      if (!childTactical && d >= 3) {
        bool refresh;
        if (d == 3) {
          refresh = queenCapture && !nodeReduced;
        } else if (nodeReduced) {
          refresh = d >= 8;
        } else {
          refresh = true;
          if (!capture && moverCode != PawnCode && d <= 7) {
            const uint8_t* map = board->evalBlock.kingZoneMap;
            bool rookLeavesCorner = (from == 7 && (node->stateFlags & StateWhiteKingSide) != 0) ||
                                    (from == 119 && (node->stateFlags & StateBlackKingSide) != 0);
            bool kingChangesZone = moverCode == KingCode && map != nullptr && map[from] != map[to];
            bool kingInCheck = moverCode == KingCode && threatOnKing(node);
            refresh = (child->searchFlags & SearchSpecialMove) != 0 || (moverCode == RookCode && rookLeavesCorner) ||
                      kingChangesZone || kingInCheck;
          }
        }
        if (refresh) {
          saved = claimAttackData(board);
          if (saved != nullptr) evaluate(child, 0);
        }
      }

      // Step 9. Threat detection for the child, or the move's own threat.
      bool skipExtension = false;
      bool detect = engineWord(ParamThreatDetection) != 0 && (node->searchFlags & SearchTacticalOnly) == 0 &&
                    !childTactical && !(hasFirstReply(child) && !capture && !research);
      if (detect) {
        if (d <= DeepThreatDepth) {
          int32_t t = d > 3 && (!hasFirstReply(child) || queenOnBoard(board) || research) ? 1 : 0;
          detectThreat(child, loadShared(node->bestSoFar), t);
        } else {
          // A re-search looks for the threat with the main node on the
          // child's null child, which probes the table with a key made from
          // the child's: the child's key is completed first, not only at
          // the dispatch below, or the probe would use a sibling's key.
          if (research) updateHashKey(child);
          detectThreat(child, loadShared(node->bestSoFar), research ? 3 : 1);
          if (!research && !threatKnown(child)) child->searchFlags |= SearchReduced;
        }
      } else {
        int32_t bound = d <= DeepThreatDepth || childTactical ? ThreatClassMinor : ThreatClassRook;
        int32_t target = threatTarget(to, mover, bound);
        if (target == NoSquare) {
          if (d > 1 && (node->searchFlags & SearchTacticalOnly) == 0) {
            if (childTactical)
              skipExtension = true;
            else
              child->searchFlags |= SearchReduced;
          }
        } else {
          child->threatMove = makeMove16(to, target);
          child->threatenedPiece = pieceOn(child, target);
          child->threatGrade = 0;
          child->searchFlags |= SearchThreatKnown;
          int32_t payback = child->threatenedPiece->currentValue + mover->kindCopy.pieceSquareTable[target] -
                            mover->kindCopy.pieceSquareTable[to];
          if (!research && loadShared(node->movesSearched) > 0 &&
              child->staticValue + loadShared(node->bestSoFar) >= payback) {
            child->threatGrade = 4;
            child->searchFlags |= SearchReduced | SearchThreatKnown;
          }
        }
      }

      // Step 10. Extensions.
      if (!skipExtension && (node->searchFlags & SearchExtended) == 0 &&
          (child->searchFlags & SearchTacticalOnly) == 0) {
        bool lastQueen = queenCapture && !queenOnBoard(board);
        bool hashCapture = move == node->hashMove && capture && d >= 3 && move != node->firstReply &&
                           (node->searchFlags & SearchTacticalOnly) == 0 && arrivedByCaptureOrPromotion(node);
        if ((child->searchFlags & SearchMateThreat) != 0 || threatOnKing(child) || lastQueen || hashCapture) {
          child->searchFlags |= SearchExtended;
          d += 1;
        }
        if (hasFirstReply(child) && threatKnown(child) && child->threatGrade == 0 && to != moveTo(node->firstReply))
          child->searchFlags |= SearchNoFrontierPrune;
      }

      // Step 11. Replies to check.
      if (threatOnKing(node) && to != moveFrom(node->threatMove) && (node->searchFlags & SearchExtended) == 0) {
        if (research || move == node->hashMove) {
          d = depth;
          child->searchFlags |= SearchExtended;
        } else {
          child->searchFlags |= SearchReduced;
        }
      }
      if (atRoot && (to == moveTo(node->lastMove) || (threatKnown(node) && to == moveFrom(node->threatMove))) &&
          (child->searchFlags & SearchTacticalOnly) == 0) {
        d = depth;
        child->searchFlags |= SearchExtended;
      }

      // Step 12. Reductions.
      bool exempt = false;
      if (engineWord(ParamReductionExemptions) != 0) {
        bool improves = child->staticValue <= -node->staticValue - ImprovementExempt &&
                        (child->searchFlags & SearchTacticalOnly) == 0;
        bool passedPush = moverCode == PawnCode && (node->sideRecord->pawnMarks[to] & PassedMark) != 0 &&
                          (!queenOnBoard(board) || board->materialSum < heavyMaterialThreshold);
        exempt = capture || improves || (threatKnown(child) && child->threatGrade <= 2) || passedPush ||
                 (threatKnown(node) && (!hasFirstReply(child) || research)) ||
                 (atRoot && research && move != node->hashMove);
      }
      if (!exempt) {
        if (atRoot && move != node->hashMove && !research) child->searchFlags |= SearchReduced;
        if (research) {
          d -= 1;
        } else if (hasFirstReply(child)) {
          child->searchFlags |= SearchReduced | SearchTacticalOnly;
        } else if (move == node->hashMove) {
          d -= 1;
        } else if ((engineWord(ParamLateReduction) != 0 && loadShared(node->movesSearched) > 2) ||
                   (moverCode == KingCode && (child->searchFlags & SearchSpecialMove) == 0 &&
                    board->materialSum > KingMoveMaterial)) {
          d -= 2;
          child->searchFlags |= SearchReduced;
        } else {
          d -= 1;
        }
      }

      // Step 13. Draw marks of single-pawn endings.
      int32_t bishopValue = board->kinds[WhiteBishop].value;
      if ((board->materialSum == 0 || board->materialSum == bishopValue) &&
          (board->kinds[WhitePawn].count == 1 || board->kinds[BlackPawn].count == 1) && d < DrawMarkDepthLimit)
        recogniseDraws(child);

      // Step 14. The child's window and the draw rules, from one reading of
      // the node's bounds.
      int32_t windowBest = 0;
      readBounds(shared || board->splitPoint == node, upper, best, &windowUpper, &windowBest);
      windowed = true;
      int32_t childUpper = -windowBest, childLower = -windowUpper;
      if (windowUpper > 0) {
        if (child->shuffleCount > 0) {
          if (windowBest >= 0) {
            childScore = 0;
            scored = true;
          } else {
            childLower = 0;
            if (research)
              d += 1;
            else
              child->searchFlags |= SearchReduced;
          }
        }
        if (!scored && (child->stateFlags & node->sideRecord->drawMark) != 0) {
          if (windowBest >= 0) {
            childScore = 0;
            scored = true;
          } else {
            childLower = 0;
          }
        }
      }
      if ((child->searchFlags & SearchReduced) != 0) {
        childUpper = -windowBest;
        childLower = -windowBest - 1;
      }

      // Step 15. Dispatch by the new depth.
      if (!scored) {
        if ((child->searchFlags & SearchMaterialToZero) != 0 && queenCapture &&
            (d >= 1 || (threatKnown(child) && child->threatGrade <= 2)))
          d += 1;
        bool searched = true;
        if (d <= 0) {
          if (threatKnown(child) && child->threatGrade <= 2) {
            childScore = searchFrontier(child, d, childUpper, childLower, node->killers, line);
          } else {
            childScore = quiesce(child, childUpper, childLower, node->killers, line);
            searched = false;
          }
        } else if (d == 1) {
          childScore = searchFrontier(child, 1, childUpper, childLower, node->killers, line);
        } else {
          updateHashKey(child);
          childScore = searchNode(child, d, childUpper, childLower, node->killers, line, nullptr);
        }
        // Step 16. Abandon on a stop or when the bounds moved elsewhere. A
        // node whose bounds other threads share (a helper's copy of a split
        // node, or the owner's own split node while helpers work on it)
        // goes on after a resync while it is still wanted: it searches the
        // move again, as it would leave the node incomplete otherwise.
        // Other nodes return.
        if (searched && (stopRequested() || generationStale(board))) {
          if (saved != nullptr) restoreAttackData(saved, board);
          unmakeMove(child);
          if ((shared || board->splitPoint == node) && resumeAbandonedMove(node, upper, best)) continue;
          return true;
        }
      }
    }

    // Step 17. The result.
    if (saved != nullptr) restoreAttackData(saved, board);
    unmakeMove(child);
    int32_t s = -childScore;
    if (s <= loadShared(*best)) {
      if (childScore != ScoreInfinite) addShared(node->movesSearched, 1);
      return false;
    }
    if (!research && (child->searchFlags & SearchReduced) != 0) {
      research = true;
      continue;
    }
    // Bounds of a node that helpers share are changed under the lock, with
    // a re-check (another thread may have raised them meanwhile).
    bool locked = shared || board->splitPoint == node;
    if (locked) {
      enterSearchLock();
      if (s <= loadShared(*best)) {
        leaveSearchLock();
        if (childScore != ScoreInfinite) addShared(node->movesSearched, 1);
        return false;
      }
    }
    // The score is judged against the bound its child's window was built
    // from (another thread may have moved upper since): below it exact; at
    // or above it a fail high, searched again with the entry bound when the
    // window was narrowed below it and the score stays under it (step 21);
    // otherwise a cut. A node that goes on gets its upper bound above the
    // score before best is raised, so that no thread sees the pair crossed
    // (and drops its move as cut) while the node is not.
    const int32_t upperNow = loadShared(*upper);
    const int32_t bound = windowed ? windowUpper : upperNow;
    const bool exact = s < bound;
    const bool widen = !exact && depth > 2 && bound < node->entryUpper && s < node->entryUpper;
    if ((exact || widen) && s >= upperNow) storeShared(*upper, node->entryUpper);
    storeShared(*best, s);
    // A helper's raise makes the node's other helpers start their moves
    // again against the new bounds; the owner's own fail high at its split
    // node stops the node's helpers.
    if (shared) {
      setBoardGeneration(board, bumpNodeGeneration(board->splitNode));
    } else if (locked && s >= upperNow) {
      bumpNodeGeneration(node);
    }

    RootReport report;
    report.pending = false;

    // Step 18. Killers, refutations and the move itself as the line.
    recordGoodMove(node, child, killers, move, atRoot);
    setPv(pv, move, nullptr);

    // Step 19. Root feedback to the driver.
    if (depth == searchDepth && atRoot && exclusionEmpty(excluded)) {
      if (move == node->hashMove) {
        if (s <= previousScore - RootDropMargin) {
          iterationDone.store(0, std::memory_order_relaxed);
          if (depth > 3 && s <= previousScore - engineWord(ParamRootRescueMargin) * 46 / 100) {
            if (locked) leaveSearchLock();
            findFirstMove(node, depth, upperNow, s, killers);
            if (locked) enterSearchLock();
          }
          // Out of the lock another thread may have raised the best score:
          // this move is then no longer the one to report.
          if (stopRequested() || generationStale(board) || loadShared(*best) != s) {
            if (locked) leaveSearchLock();
            return stopRequested() || generationStale(board);
          }
        }
      } else if (s < previousScore) {
        iterationDone.store(0, std::memory_order_relaxed);
      }
      if (infoHook.load(std::memory_order_relaxed) != nullptr) {
        setPv(pv, move, line);
        prepareRootReport(&report, depth, s, pv, exact ? 0 : 1);
      }
    }

    // Step 20. An exact score.
    if (exact) {
      setPv(pv, move, line);
      node->boundType = BoundExact;
      if (node->futilityBase != -ScoreInfinite) node->futilityBase = futilityMargin + s - node->staticValue;
      storeShared(node->bestSoFar, std::max(loadShared(node->bestSoFar), s));
      if (locked) leaveSearchLock();
      sendRootReport(&report);
      addShared(node->movesSearched, 1);
      return false;
    }

    // Step 21. A fail high: against a narrowed window search again with the
    // entry window (upper was widened above); otherwise the cut.
    if (widen) {
      if (!atRoot && onFirstRootMove.load(std::memory_order_relaxed) != 0)
        iterationDone.store(0, std::memory_order_relaxed);
      if (locked) leaveSearchLock();
      sendRootReport(&report);
      continue;
    }
    if ((node->searchFlags & SearchHistoryOrder) != 0 && !capture && moveToByte(move) == to &&
        !(moverCode == PawnCode && (rankOf(to) == 7 || rankOf(to) == 0)))
      addHistory(pieceOn(node, from)->kindCopy.index, to, depth * depth);
    addShared(node->movesSearched, 1);
    node->boundType = BoundLower;
    if (locked) leaveSearchLock();
    sendRootReport(&report);
    return false;
  }
}

bool nextMoveWindow(Position* node, int32_t* upper, int32_t* best) {
  // A helper raising best between the reads and the store would otherwise
  // leave upper below best: the loop would end as if cut, with moves unsearched.
  const bool split = node->board->splitPoint == node;
  if (split) enterSearchLock();
  const int32_t bestNow = loadShared(*best), upperNow = loadShared(*upper);
  const bool cut = upperNow <= bestNow;
  if (!cut && upperNow > node->estimate && bestNow < ScoreDecided)
    storeShared(*upper, node->estimate > bestNow ? node->estimate : bestNow + 1);
  if (split) leaveSearchLock();
  return cut;
}

int32_t searchNode(Position* node, int32_t depth, int32_t upper, int32_t lower, Move* killers, Move* pv,
                   Move* excluded) {
  ThreadBoard* board = node->board;
  const bool atRoot = excluded != nullptr;
  node->excluded = excluded;
  pv[0] = noMove;
  if (plyOf(node) >= MaxSearchPly) return std::clamp(node->staticValue, lower, upper);

  // Step 1. Mate-distance cut and futility base.
  if (depth < 3 && (node->searchFlags & SearchNoFrontierPrune) == 0)
    node->futilityBase = lower + futilityMargin - node->staticValue;
  else
    node->futilityBase = -ScoreInfinite;
  if (upper <= node->matedScore) return upper;

  // Step 2. Moves to try first.
  if ((node->searchFlags & SearchTacticalOnly) == 0) {
    pushIfPlausible(node, killers[1]);
    pushIfPlausible(node, killers[0]);
    int32_t target = moveTo(node->lastMove);
    if (threatKnown(node)) {
      int32_t square = node->threatenedPiece->square;
      if (isOnBoard(square)) {
        pushIfPlausible(node, node->sideRecord->refutations[square]);
        pushIfPlausible(node, node->sideRecord->refutations[square + 8]);
      }
      target = moveFrom(node->threatMove);
    }
    if (isMove(node->lastMove) || threatKnown(node)) pushCapturesOnto(node, target);
  }

  // Step 3.
  node->bestSoFar = lower;
  if (hasFirstReply(node) && (node->searchFlags & SearchReplyPushed) == 0) pushIfPlausible(node, node->firstReply);
  node->hashMove = noMove;
  node->estimate = ScoreInfinite;
  node->boundType = 0;

  // Step 4. The hash table.
  HashEntry* entry = nullptr;
  uint16_t savedFlags = 0;
  int32_t storeDepth = 0;
  // Without a table (none allocated, or too small for one bucket) the node
  // searches without one.
  if (!atRoot && engineHash.entries != nullptr && entryCount >= EntriesPerBucket) {
    int32_t required = 2 * depth + (threatKnown(node) ? 1 : 0);
    HashKey key{node->key, node->lock, 0};
    entry = hashProbeOrReplace(&engineHash, &key, required, board->threadId, &savedFlags);
    if (entry != nullptr) {
      const HashEntry seen = snapshotEntry(entry);
      int32_t holder = seen.flags & EntryHolderMask;
      bool onLine = (seen.flags & EntryOnLine) != 0 &&
                    (holder == MarkHolder || holder == board->threadId ||
                     (board->splitOwner != nullptr && holder == board->splitOwner->threadId));
      if (onLine) {
        // A repetition of the current line or of the game.
        if (holds(entry, board)) restoreEntry(entry, savedFlags);
        return 0;
      }
      bool useEntry = true;
      if (seen.depth > 0) {
        const Position* parent = node->parent;
        bool takesBack = parent != nullptr && isMove(seen.move) && moveFrom(seen.move) == moveTo(parent->lastMove) &&
                         moveTo(seen.move) == moveFrom(parent->lastMove) && node->halfMoveClock >= 2 &&
                         seen.score >= 1;
        if (takesBack) {
          useEntry = false;
        } else {
          if ((node->searchFlags & SearchReduced) != 0 && (seen.flags & EntryUpperBound) != 0 &&
              seen.score < upper) {
            if (holds(entry, board)) restoreEntry(entry, savedFlags);
            return lower;
          }
          bool moveUsable = seen.depth + 3 >= required ||
                            ((seen.flags & EntryLowerBound) != 0 && seen.score > upper + HashMoveMargin);
          if (moveUsable && isMove(seen.move)) {
            if (isPlausibleMove(node, seen.move)) {
              pushMove(node, seen.move);
              node->hashMove = seen.move;
              node->estimate = (seen.flags & EntryUpperBound) != 0 ? seen.score : ScoreInfinite;
            } else {
              // A key collision: leave the entry alone.
              if (holds(entry, board)) restoreEntry(entry, savedFlags);
              entry = nullptr;
              useEntry = false;
            }
          }
        }
      }
      if (useEntry && entry != nullptr && seen.depth >= required) {
        if (isMove(seen.move)) {
          pv[0] = seen.move;
          pv[1] = noMove;
        }
        bool lowerBound = (seen.flags & EntryUpperBound) == 0;
        bool exact = (seen.flags & (EntryUpperBound | EntryLowerBound)) == (EntryUpperBound | EntryLowerBound);
        if (lowerBound && seen.score > lower) {
          bool allowed = true;
          if ((node->searchFlags & SearchTacticalOnly) != 0) {
            Move hm = node->hashMove;
            allowed = isMove(hm) &&
                      (moveTo(hm) == moveTo(node->lastMove) || hm == node->firstReply ||
                       pieceOn(node, moveTo(hm))->kindCopy.code > pieceOn(node, moveFrom(hm))->kindCopy.code);
          }
          if (allowed) {
            lower = seen.score;
            node->bestSoFar = lower;
          }
        } else if (exact) {
          int32_t score = seen.score;
          if (holds(entry, board)) restoreEntry(entry, savedFlags);
          return score;
        } else if (!lowerBound && seen.score < upper) {
          upper = seen.score;
        }
        if (upper <= lower) {
          if (holds(entry, board)) restoreEntry(entry, savedFlags);
          return lower;
        }
      }
      storeDepth = required - ((node->searchFlags & SearchTacticalOnly) != 0 ? 1 : 0);
    }
  }
  node->boundType = BoundUpper;

  // Step 5. The child record.
  Position child;
  node->inCheck = threatOnKing(node) ? 1 : 0;
  int32_t best = lower;
  Move line[PvLength];
  node->movesSearched = 0;

  if (depth >= 3) {
    // Step 7. The null move.
    if (board->materialSum > 0 && depth >= NullMoveMinDepth && !atRoot && !threatKnown(node) && upper < ScoreMate) {
      Position nullChild;
      initPosition(&nullChild, board);
      makeNullMove(node, &nullChild);
      startChild(node, &nullChild);
      nullChild.killers[0] = node->killers[0];
      nullChild.killers[1] = node->killers[1];
      Move nullKillers[2] = {node->killers[0], node->killers[1]};
      line[0] = noMove;
      int32_t v;
      if (depth < NullMoveFrontierDepth)
        v = -searchFrontier(&nullChild, 1, -upper + 1, -upper, nullKillers, line);
      else
        v = -searchNode(&nullChild, depth - NullMoveReduction, -upper + 1, -upper, nullKillers, line, nullptr);
      if (v >= upper && depth >= NullVerifyDepth) {
        // Verification: the node itself, much shallower.
        Position copy;
        copyNode(&copy, node);
        Move verifyLine[PvLength];
        v = searchNode(&copy, depth - NullVerifyReduction, upper, lower, killers, verifyLine, excluded);
      }
      if (v >= upper) {
        node->movesSearched = 1;
        pv[0] = noMove;
        node->boundType = BoundLower;
        best = v;
        goto end;
      }
    }

    // Step 8. An estimate and a first move from a shallower search.
    node->entryUpper = upper;
    if (node->hashMove == noMove) {
      if (depth > 4 && depth == searchDepth && atRoot && isMove(killers[0])) {
        if (isMove(killers[1])) pushMove(node, killers[1]);
        node->estimate = previousScore;
        node->hashMove = killers[0];
      } else if (depth > 4) {
        Position copy;
        copyNode(&copy, node);
        Move internalLine[PvLength];
        internalLine[0] = noMove;
        node->estimate = searchNode(&copy, depth - InternalSearchReduction, upper, lower, killers, internalLine, excluded);
        if (stopRequested() || generationStale(board)) {
          if (holds(entry, board)) restoreEntry(entry, savedFlags);
          return lower;
        }
        if (isMove(internalLine[0])) node->hashMove = internalLine[0];
      } else {
        node->estimate = ScoreInfinite;
      }
    }

    // Step 9. Window narrowing.
    const Position* parent = node->parent;
    bool deep = parent != nullptr && parent->parent != nullptr && parent->parent->parent != nullptr;
    if (deep && upper != ScoreInfinite) {
      node->estimate = ScoreInfinite;
    } else if (lower < ScoreMate && node->estimate > -ScoreInfinite) {
      node->estimate += WindowEstimateMargin;
      upper = std::min(node->entryUpper, std::max(lower + 1, node->estimate));
    } else {
      node->estimate = ScoreInfinite;
    }
  } else {
    // Step 6.
    node->entryUpper = upper;
    node->estimate = ScoreInfinite;
  }

  // Step 10. The best-so-far search.
  if (engineWord(ParamThreatDetection) != 0 && (node->searchFlags & SearchTacticalOnly) == 0) {
    Position copy;
    copyPosition(&copy, node);
    copy.stateFlags |= StateQuiesceAgain | StateScratchSearch;
    copy.staticValue += BestSoFarBonus;
    Move copyKillers[2] = {node->hashMove, noMove};
    Move copyLine[PvLength];
    copyLine[0] = noMove;
    int32_t v;
    if (depth < 5) {
      v = quiesce(&copy, ScoreInfinite, node->bestSoFar, copyKillers, copyLine);
    } else {
      copy.stateFlags &= node->sideRecord->flagMask;
      v = searchFrontier(&copy, 1, ScoreInfinite, node->bestSoFar, copyKillers, copyLine);
    }
    node->bestSoFar = v;
    if (!atRoot) {
      if (isMove(copyLine[0])) pushIfPlausible(node, copyLine[0]);
      if (v > ScoreMate) node->hashMove = noMove;
    }
  }
  if (holds(entry, board)) std::atomic_ref<uint16_t>(entry->flags).fetch_or(EntryOnLine, std::memory_order_relaxed);
  node->searchFlags |= SearchHistoryOrder;

  // Step 11. The move loop.
  {
    if (isMove(node->hashMove)) pushMove(node, node->hashMove);
    node->movesSearched = 0;
    TakenMoves taken;
    startMoveLoop(node, &child, &taken);
    for (;;) {
      bool fromStack = false;
      Move move = takeNextMove(node, &taken, false, &fromStack);
      if (move == noMove) break;
      int32_t to = moveTo(move);
      // Step 11.1.
      if ((node->searchFlags & SearchTacticalOnly) != 0 && skippedInTacticalNode(node, move)) continue;
      // Step 11.2. Futility.
      if (node->futilityBase > FutilityNoPrune) {
        PieceRecord* mover = pieceOn(node, moveFrom(move));
        if (moveGain(node, move) <= node->futilityBase && !isEnPassantCapture(node, move) &&
            threatTarget(to, mover, ThreatClassMinor) == NoSquare) {
          addShared(node->movesSearched, 1);
          continue;
        }
      }
      // Step 11.3.
      if (!fromStack && taken.contains(move)) continue;
      // Step 11.4. Moves that leave a known threat unanswered.
      node->unansweredThreatFrom = node->unansweredThreatTo = NoSquare;
      if (threatKnown(node) && !answersThreat(node, move)) {
        if (node->inCheck != 0 && pieceOn(node, to)->kindCopy.code != KingCode) continue;
        node->unansweredThreatFrom = uint8_t(moveFrom(node->threatMove));
        node->unansweredThreatTo = uint8_t(moveTo(node->threatMove));
      }
      // Step 11.5. Hand the move to an idle helper, or search it here.
      bool handed = false;
      if (depth >= MinSplitDepth && loadShared(node->movesSearched) >= 1 &&
          (node->searchFlags & SearchTacticalOnly) == 0 && !stopRequested() && !generationStale(board) &&
          !isExcluded(excluded, move))
        handed = handOff(node, depth, &upper, &best, killers, pv, move, &child);
      if (!handed) searchMove(node, depth, &upper, &best, killers, pv, move, &child, excluded);

      // Step 11.6. A stop, or bounds moved by another thread. The board's
      // split node goes on after a resync while the node its board works for
      // is still open (its best only rose); once that node is cut or
      // stopped, this one stops too: it recalls its helpers and hands out
      // nothing more.
      if (stopRequested()) break;
      if (generationStale(board)) {
        if (board->splitPoint != node) break;
        if (!resyncWhileOpen(board)) {
          stopSplitNode(node);
          break;
        }
      }
      // Step 11.7. Cut, or the window for the next move.
      if (nextMoveWindow(node, &upper, &best)) break;
    }
  }

end:
  // Step 12. Wait for the helpers; mate and stalemate. A node whose board's
  // split node was cut or stopped meanwhile stays stale, and stores nothing.
  if (board->splitPoint == node) {
    waitForHelpers(node);
    resyncWhileOpen(board);
  }
  if ((node->searchFlags & SearchTacticalOnly) == 0 && (best == -ScoreInfinite || node->movesSearched == 0))
    best = kingAttacked(node) ? node->matedScore : 0;

  // Step 13. Store into the entry this thread holds, or release it.
  if (holds(entry, board)) {
    if ((best == loadShared(entry->score) || node->boundType != 0) && loadShared(entry->depth) > storeDepth) {
      releaseEntry(entry, savedFlags);
    } else if ((node->searchFlags & SearchTacticalOnly) != 0 && best < upper) {
      releaseEntry(entry, savedFlags);
    } else if (!stopRequested() && !generationStale(board)) {
      storeShared(entry->score, int16_t(best));
      storeShared(entry->depth, uint8_t(storeDepth));
      if (isMove(pv[0])) storeShared(entry->move, pv[0]);
      storeShared(entry->flags, uint16_t(node->boundType | (savedFlags & EntryHolderMask)));
    } else {
      releaseEntry(entry, savedFlags);
    }
  }
  return best;
}

}  // namespace engine
