// One move of a main search node: searchMove makes it, decides what its
// child needs (a score without a search, the hanging test, its threat, its
// depth and its window), searches the child and folds the result into the
// node's bounds. It runs on the thread that searches the node and on a
// helper that was handed the move; at a split node the bounds it folds into
// are shared, and every change of them is made under `searchLock`.
#include <algorithm>
#include <atomic>
#include <mutex>

#include "engine/board/legality.h"
#include "engine/board/makemove.h"
#include "engine/eval/attack_data.h"
#include "engine/eval/eval_terms.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/search/hook_slots.h"
#include "engine/search/rootsearch.h"
#include "engine/search/search.h"
#include "engine/search/search_support.h"
#include "engine/control/shared_word.h"
#include "engine/search/threads.h"

namespace engine {

namespace {

// Margins of a move (engine units): the share (in percent of its engine
// word) of the hanging test's margin and of the root's rescue margin.
constexpr int32_t HangingMargin = 27;
constexpr int32_t RootRescueMargin = 46;
constexpr int32_t ImprovementExempt = 49;      // a move improving the static value this much is not reduced
constexpr int32_t KingMoveMaterial = 3399;     // above it, a king move is reduced twice
constexpr int32_t RootDropMargin = 18;         // a root score this far below the last one reopens the iteration
constexpr int32_t PercentScale = 100;
// Late moves: after this many moves searched, a move loses two units.
constexpr int32_t LateMoveCount = 2;
constexpr int32_t LateMoveReduction = 2;

// A move of each side.
constexpr int32_t PliesPerMove = 2;

// Depths of a move's steps.
constexpr int32_t LegalityTestDepth = 9;       // from here a move that leaves its king attacked is not searched
constexpr int32_t AnnouncedLegalityDepth = 10; // from this iteration an illegal root move is not searched
constexpr int32_t HangingReduction = 2;        // the child of a move that hangs material
constexpr int32_t RefreshMinDepth = 3;         // a fresh evaluation for the child from here
constexpr int32_t RefreshAlwaysDepth = 8;      // ... and for every child from here
constexpr int32_t DeepThreatDepth = 8;         // up to here the threat search is shallow
constexpr int32_t ThreatFrontierMinDepth = 4;  // from here the shallow threat search is a frontier search
constexpr int32_t RecaptureExtensionDepth = 3; // a hash capture that recaptures is extended from here
constexpr int32_t DrawMarkDepthLimit = 30;     // single-pawn endings are marked below this depth
constexpr int32_t WidenMinDepth = 3;           // a fail high above a narrowed window is searched again from here
constexpr int32_t RescueMinDepth = 4;          // the root's rescue search from here
// Depths of the threat searches detectThreat runs on the child: quiesce,
// the frontier, and the main node for a re-search.
constexpr int32_t ThreatByQuiesce = 0;
constexpr int32_t ThreatByFrontier = 1;
constexpr int32_t ThreatResearchDepth = 3;

// One move of a node while searchMove works on it: the node and its
// bounds (pointers into the node's own, shared with other threads at a
// split node), the move, and what the steps decide for its child.
struct MoveSearch {
  Position* node;
  ThreadBoard* board;
  int32_t depth;
  int32_t* upper;
  int32_t* best;
  Move* killers;
  Move* pv;
  Move* excluded;
  bool atRoot;
  bool sharedNode;  // a helper's copy of a split node
  Move move;
  Position* child;
  int32_t from;
  int32_t to;
  // A re-search: the move rose above best from a reduced search, or the
  // node needs its first move searched in full.
  bool research;
  // Taken before the move is made.
  bool capture = false;
  bool queenCapture = false;
  int32_t moverCode = 0;
  // The moved piece, on its target.
  PieceRecord* mover = nullptr;
  // What the steps decide: the child's depth, the node's bounds its window
  // was built from, its window, its score when it needs no search, the
  // attack data saved for a fresh evaluation, and its line.
  int32_t newDepth = 0;
  bool windowed = false;
  int32_t windowUpper = 0;
  int32_t windowBest = 0;
  int32_t childUpper = 0;
  int32_t childLower = 0;
  int32_t childScore = 0;
  AttackData* saved = nullptr;
  Move line[PvLength] = {};
};

// How a move's search ends: done, to be searched again (a reduced move
// that rose, or a fail high above a narrowed window), or abandoned
// unfinished (a stop, or bounds moved by another thread).
enum class MoveEnd { Done, Again, Abandoned };

// What folding a score above best did, under the lock.
enum class NewBest { Lost, Exact, Widen, Cut, RootStopped };

// Does another thread share the node's bounds: a helper's copy of a split
// node, or the owner's own split node while helpers work on it? (Read
// afresh each time: the board's split point changes under the child.)
bool boundsShared(const MoveSearch* ms) { return ms->sharedNode || ms->board->splitPoint == ms->node; }

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

// The tablebase probe of a child under the search lock; 1 with the child's
// distance to mate in *distance when found.
int32_t probeChild(Position* child, int32_t* distance) {
  TablebaseHook hook = tablebaseHook.load(std::memory_order_relaxed);
  ThreadBoard* board = child->board;
  if (hook == nullptr || board->pieceCount > tbPieceLimit) return 0;
  int32_t ep = 0;
  if ((child->searchFlags & SearchEnPassantValid) != 0) {
    // Passed only when a pawn of the side to move can take.
    int32_t pushed = child->enPassantSquare + child->opponent * RankStep;
    for (int32_t beside : {pushed - 1, pushed + 1}) {
      const PieceRecord* p = squareAt(board, beside);
      if (p->colour == child->side && p->kindCopy.code == PawnCode) ep = child->enPassantSquare;
    }
  }
  SearchLockHold lock(true);
  return hook(board, child->side, ep, distance);
}

// Did the move into this position capture or promote?
bool arrivedByCaptureOrPromotion(const Position* node) {
  if (node->captured != boardPiece(node->board)) return true;
  if ((node->searchFlags & SearchSpecialMove) == 0 || !isMove(node->lastMove)) return false;
  return squareAt(node->board, moveTo(node->lastMove))->kindCopy.code != KingCode;
}

// Makes the move for one pass of the search: the child's depth starts one
// below the node's, its window is not built yet, nothing is saved.
void makeChild(MoveSearch* ms) {
  Position* node = ms->node;
  ms->newDepth = ms->depth - 1;
  ms->windowed = false;
  ms->windowUpper = 0;
  ms->capture = isCapture(node, ms->move);
  ms->moverCode = pieceOn(node, ms->from)->kindCopy.code;
  ms->queenCapture = pieceOn(node, ms->to)->kindCopy.code == QueenCode && pieceOn(node, ms->to)->colour != 0;
  makeMove(node, ms->move, ms->child);
  startChild(node, ms->child);
  ms->mover = pieceOn(ms->child, ms->to);
  ms->line[0] = noMove;
  ms->childScore = 0;
  ms->saved = nullptr;
}

// Takes the move back, with the board's evaluation data a fresh
// evaluation of the child replaced.
void takeBackChild(MoveSearch* ms) {
  if (ms->saved != nullptr) restoreAttackData(ms->saved, ms->board);
  unmakeMove(ms->child);
}

// The root announces its legal moves to the host. From the iteration
// where illegal root moves are no longer searched, true: the move leaves
// its king attacked. Below it an illegal root move is still searched (and
// refuted by the king's capture), but a GUI is never shown it.
bool announceRootMove(MoveSearch* ms) {
  CurrMoveHook hook = currMoveHook.load(std::memory_order_relaxed);
  const bool illegal = hook != nullptr && moverKingAttacked(ms->child);
  if (searchDepth >= AnnouncedLegalityDepth && illegal) return true;
  if (exclusionEmpty(ms->excluded)) {
    if (hook != nullptr && !illegal) hook(ms->depth, ms->child, ms->research ? 1 : 0);
    onFirstRootMove.store(ms->move == ms->node->hashMove ? 1 : 0, std::memory_order_relaxed);
  }
  return false;
}

// At depth: a move that leaves its king attacked scores as refuted, a
// tablebase result as the mate it foretells. True when the child is
// scored; otherwise the node's first searched move counts as a re-search
// from here on.
bool scoreAtDepth(MoveSearch* ms) {
  int32_t g = 0;
  if (moverKingAttacked(ms->child)) {
    ms->childScore = ScoreInfinite;
    return true;
  }
  if (probeChild(ms->child, &g) == 1) {
    // g > 0: the child's side mates with its g-th move, so this node's side
    // is mated 2g plies below this node. g < 0: a loss in -g counts the
    // loser's turns: the child's side is checkmated at its -g-th turn,
    // after -g - 1 moves of this side, 2(-g) - 1 plies below this node (a
    // loss in 1 is checkmated now). Scored as the search scores the same
    // mates when it finds them itself.
    int32_t m = ms->node->matedScore;
    ms->childScore = g == 0 ? 0 : g > 0 ? -m - PliesPerMove * g : m - PliesPerMove * g - 1;
    return true;
  }
  ms->research = ms->research || loadShared(*ms->best) == -ScoreInfinite;
  return false;
}

// Scores the child where no search is needed: an excluded root move, an
// illegal one, a final child, a tablebase result. True when it is scored.
bool scoreWithoutSearch(MoveSearch* ms) {
  // Excluded root moves are never chosen.
  if (isExcluded(ms->excluded, ms->move)) {
    ms->childScore = ScoreInfinite;
    return true;
  }
  // The root announces the move, or finds it illegal.
  if (ms->atRoot && announceRootMove(ms)) {
    ms->childScore = ScoreInfinite;
    return true;
  }
  // A final child (a draw by make's rules, a captured king) has its
  // value.
  if ((ms->child->stateFlags & StateFinal) != 0) {
    ms->childScore = ms->child->staticValue;
    return true;
  }
  // Legality and the tablebases, only where the search is deep enough to
  // pay for them.
  return ms->depth >= LegalityTestDepth && scoreAtDepth(ms);
}

// Puts the refutation of a hanging move first for the child: as its first
// reply when it has none and the move was the threatened piece's escape;
// else pushed, behind the child's own first reply when that answers a
// lesser threat (so that the refutation is searched first).
void putRefutationFirst(MoveSearch* ms, Move reply) {
  Position* node = ms->node;
  Position* child = ms->child;
  if (!hasFirstReply(child)) {
    if (threatKnown(node) && node->threatenedPiece == ms->mover)
      child->firstReply = reply;
    else
      pushMove(child, reply);
  } else if ((node->searchFlags & SearchMateThreat) != 0 ||
             (threatKnown(node) && node->threatenedPiece->currentValue >= ms->mover->currentValue)) {
    pushMove(child, reply);
  } else {
    child->searchFlags |= SearchReplyPushed;
    pushMove(child, child->firstReply);
    pushMove(child, reply);
  }
}

// The hanging test: does the exchange on the move's target win more than
// the margin for the opponent? A king move so refuted is illegal, and a
// reduced node prunes any move but its first reply; any other move is
// searched shallower as tactical-only, its refutation first. True when the
// child is scored.
bool testHanging(MoveSearch* ms) {
  Position* node = ms->node;
  Position* child = ms->child;
  if (ms->newDepth <= 1 || (node->searchFlags & SearchTacticalOnly) != 0 || ms->move == node->hashMove ||
      ms->research)
    return false;
  int32_t f = std::max(engineWord(ParamHangingMargin) * HangingMargin / PercentScale - node->staticValue,
                       child->staticValue);
  Move reply = noMove;
  staticExchange(child, f + 1, f, &reply);
  if (!isMove(reply)) return false;
  if (ms->moverCode == KingCode) {
    ms->childScore = ScoreInfinite;
    return true;
  }
  if ((node->searchFlags & SearchReduced) != 0 && ms->move != node->firstReply) {
    ms->childScore = ScorePruned;
    return true;
  }
  child->searchFlags |= SearchReduced | SearchTacticalOnly;
  ms->newDepth = ms->depth - HangingReduction;
  putRefutationFirst(ms, reply);
  return false;
}

// Does the child need a fresh evaluation (the attack data redone)? Deep
// children do; shallower ones where the incremental value misses what the
// move changed: a special move, a rook leaving its castling corner, a king
// changing its zone or leaving check.
bool needsFreshEvaluation(const MoveSearch* ms) {
  const Position* node = ms->node;
  const Position* child = ms->child;
  const int32_t d = ms->newDepth;
  const bool nodeReduced = (node->searchFlags & SearchReduced) != 0;
  if ((child->searchFlags & SearchTacticalOnly) != 0 || d < RefreshMinDepth) return false;
  if (d == RefreshMinDepth) return ms->queenCapture && !nodeReduced;
  if (d >= RefreshAlwaysDepth) return true;
  if (nodeReduced) return false;
  if (ms->capture || ms->moverCode == PawnCode) return true;
  const uint8_t* map = ms->board->evalBlock.kingZoneMap;
  const bool rookLeavesCorner = (ms->from == SquareH1 && (node->stateFlags & StateWhiteKingSide) != 0) ||
                                (ms->from == SquareH8 && (node->stateFlags & StateBlackKingSide) != 0);
  const bool kingChangesZone = ms->moverCode == KingCode && map != nullptr && map[ms->from] != map[ms->to];
  const bool kingInCheck = ms->moverCode == KingCode && threatOnKing(node);
  return (child->searchFlags & SearchSpecialMove) != 0 || (ms->moverCode == RookCode && rookLeavesCorner) ||
         kingChangesZone || kingInCheck;
}

// A fresh evaluation of the child, on attack data claimed from the pool
// (none when the pool is spent: the child then keeps its incremental
// value).
void refreshEvaluation(MoveSearch* ms) {
  if (!needsFreshEvaluation(ms)) return;
  ms->saved = claimAttackData(ms->board);
  if (ms->saved != nullptr) evaluate(ms->child, 0);
}

// The child's threat by a null-move search of the child: shallow up to
// DeepThreatDepth; deeper, a child without a threat on its first search
// is reduced.
void detectChildThreat(MoveSearch* ms) {
  Position* child = ms->child;
  const int32_t d = ms->newDepth;
  if (d <= DeepThreatDepth) {
    const bool frontier = d >= ThreatFrontierMinDepth &&
                          (!hasFirstReply(child) || queenOnBoard(ms->board) || ms->research);
    detectThreat(child, loadShared(ms->node->bestSoFar), frontier ? ThreatByFrontier : ThreatByQuiesce);
    return;
  }
  // A re-search looks for the threat with the main node on the child's
  // null child, which probes the table with a key made from the child's:
  // the child's key is completed first, not only at the dispatch, or the
  // probe would use a sibling's key.
  if (ms->research) updateHashKey(child);
  detectThreat(child, loadShared(ms->node->bestSoFar), ms->research ? ThreatResearchDepth : ThreatByFrontier);
  if (!ms->research && !threatKnown(child)) child->searchFlags |= SearchReduced;
}

// The move's own threat, where the threat search is skipped: what the
// moved piece attacks from its target. A move that threatens nothing is
// reduced (a tactical-only child instead takes no extension: true); a
// threat that does not pay back what the move gave is graded unpaid.
bool markMoveThreat(MoveSearch* ms) {
  Position* node = ms->node;
  Position* child = ms->child;
  const bool childTactical = (child->searchFlags & SearchTacticalOnly) != 0;
  const int32_t bound = ms->newDepth <= DeepThreatDepth || childTactical ? ThreatClassMinor : ThreatClassRook;
  const int32_t target = threatTarget(ms->to, ms->mover, bound);
  if (target == NoSquare) {
    if (ms->newDepth <= 1 || (node->searchFlags & SearchTacticalOnly) != 0) return false;
    if (childTactical) return true;
    child->searchFlags |= SearchReduced;
    return false;
  }
  child->threatMove = makeMove16(ms->to, target);
  child->threatenedPiece = pieceOn(child, target);
  child->threatGrade = 0;
  child->searchFlags |= SearchThreatKnown;
  const int32_t payback = child->threatenedPiece->currentValue + ms->mover->kindCopy.pieceSquareTable[target] -
                          ms->mover->kindCopy.pieceSquareTable[ms->to];
  if (!ms->research && loadShared(node->movesSearched) > 0 &&
      child->staticValue + loadShared(node->bestSoFar) >= payback) {
    child->threatGrade = UnpaidThreatGrade;
    child->searchFlags |= SearchReduced | SearchThreatKnown;
  }
  return false;
}

// The child's threat: by its own search where threat detection runs (not
// for tactical-only nodes, nor for a quiet move whose child has a first
// reply), else the move's own. True when the child takes no extension.
bool findChildThreat(MoveSearch* ms) {
  const Position* node = ms->node;
  const Position* child = ms->child;
  const bool detect = engineWord(ParamThreatDetection) != 0 && (node->searchFlags & SearchTacticalOnly) == 0 &&
                      (child->searchFlags & SearchTacticalOnly) == 0 &&
                      !(hasFirstReply(child) && !ms->capture && !ms->research);
  if (!detect) return markMoveThreat(ms);
  detectChildThreat(ms);
  return false;
}

// Extensions of a node not extended itself: a mate threat, a check, the
// capture of the last queen, or the hash move recapturing after a capture
// or promotion. A child that must answer a real threat by its first reply
// is not pruned at the frontier.
void extendChild(MoveSearch* ms, bool skipExtension) {
  const Position* node = ms->node;
  Position* child = ms->child;
  if (skipExtension || (node->searchFlags & SearchExtended) != 0 || (child->searchFlags & SearchTacticalOnly) != 0)
    return;
  const bool lastQueen = ms->queenCapture && !queenOnBoard(ms->board);
  const bool hashCapture = ms->move == node->hashMove && ms->capture && ms->newDepth >= RecaptureExtensionDepth &&
                           ms->move != node->firstReply && (node->searchFlags & SearchTacticalOnly) == 0 &&
                           arrivedByCaptureOrPromotion(node);
  if ((child->searchFlags & SearchMateThreat) != 0 || threatOnKing(child) || lastQueen || hashCapture) {
    child->searchFlags |= SearchExtended;
    ms->newDepth += 1;
  }
  if (hasFirstReply(child) && threatKnown(child) && child->threatGrade == 0 && ms->to != moveTo(node->firstReply))
    child->searchFlags |= SearchNoFrontierPrune;
}

// Replies to check keep the node's depth when they are the hash move or a
// re-search, and are reduced otherwise; at the root a recapture or the
// capture of the threatening piece keeps it too.
void extendReplies(MoveSearch* ms) {
  const Position* node = ms->node;
  Position* child = ms->child;
  if (threatOnKing(node) && ms->to != moveFrom(node->threatMove) && (node->searchFlags & SearchExtended) == 0) {
    if (ms->research || ms->move == node->hashMove) {
      ms->newDepth = ms->depth;
      child->searchFlags |= SearchExtended;
    } else {
      child->searchFlags |= SearchReduced;
    }
  }
  if (ms->atRoot &&
      (ms->to == moveTo(node->lastMove) || (threatKnown(node) && ms->to == moveFrom(node->threatMove))) &&
      (child->searchFlags & SearchTacticalOnly) == 0) {
    ms->newDepth = ms->depth;
    child->searchFlags |= SearchExtended;
  }
}

// Moves never reduced: captures, moves that improve the static value
// much, forcing threats, passed-pawn pushes in a light ending, answers to a
// known threat, and the root's re-searched other moves.
bool reductionExempt(const MoveSearch* ms) {
  if (engineWord(ParamReductionExemptions) == 0) return false;
  const Position* node = ms->node;
  const Position* child = ms->child;
  const bool improves = child->staticValue <= -node->staticValue - ImprovementExempt &&
                        (child->searchFlags & SearchTacticalOnly) == 0;
  const bool passedPush = ms->moverCode == PawnCode && (node->sideRecord->pawnMarks[ms->to] & PassedMark) != 0 &&
                          (!queenOnBoard(ms->board) || ms->board->materialSum < heavyMaterialThreshold);
  return ms->capture || improves || hasForcingThreat(child) || passedPush ||
         (threatKnown(node) && (!hasFirstReply(child) || ms->research)) ||
         (ms->atRoot && ms->research && ms->move != node->hashMove);
}

// Reductions: a re-search and the hash move lose one unit, a child with a
// first reply turns tactical-only, late moves and king moves with much
// material on the board lose two.
void reduceChild(MoveSearch* ms) {
  if (reductionExempt(ms)) return;
  const Position* node = ms->node;
  Position* child = ms->child;
  if (ms->atRoot && ms->move != node->hashMove && !ms->research) child->searchFlags |= SearchReduced;
  if (ms->research) {
    ms->newDepth -= 1;
  } else if (hasFirstReply(child)) {
    child->searchFlags |= SearchReduced | SearchTacticalOnly;
  } else if (ms->move == node->hashMove) {
    ms->newDepth -= 1;
  } else if ((engineWord(ParamLateReduction) != 0 && loadShared(node->movesSearched) > LateMoveCount) ||
             (ms->moverCode == KingCode && (child->searchFlags & SearchSpecialMove) == 0 &&
              ms->board->materialSum > KingMoveMaterial)) {
    ms->newDepth -= LateMoveReduction;
    child->searchFlags |= SearchReduced;
  } else {
    ms->newDepth -= 1;
  }
}

// Single-pawn endings without pieces (or with one bishop) that cannot be
// won are marked drawn.
void markPawnEndingDraws(MoveSearch* ms) {
  const ThreadBoard* board = ms->board;
  const int32_t bishopValue = board->kinds[WhiteBishop].value;
  if ((board->materialSum == 0 || board->materialSum == bishopValue) &&
      (board->kinds[WhitePawn].count == 1 || board->kinds[BlackPawn].count == 1) &&
      ms->newDepth < DrawMarkDepthLimit)
    recogniseDraws(ms->child);
}

// The child's depth, from what the steps before it learn about the child:
// a fresh evaluation, its threat, the extensions, the answers to check and
// the reductions; then the draw marks the depth allows.
void setChildDepth(MoveSearch* ms) {
  refreshEvaluation(ms);
  const bool skipExtension = findChildThreat(ms);
  extendChild(ms, skipExtension);
  extendReplies(ms);
  reduceChild(ms);
  markPawnEndingDraws(ms);
}

// The child's window from one reading of the node's bounds, with the draw
// rules: a shuffling or drawn child scores 0 at once when best is not
// below it, else the draw is its lower bound. A reduced child gets the
// null window. True when the child is scored.
bool setChildWindow(MoveSearch* ms) {
  const Position* node = ms->node;
  Position* child = ms->child;
  readBounds(boundsShared(ms), ms->upper, ms->best, &ms->windowUpper, &ms->windowBest);
  ms->windowed = true;
  ms->childUpper = -ms->windowBest;
  ms->childLower = -ms->windowUpper;
  if (ms->windowUpper > 0) {
    const bool drawScores = ms->windowBest >= 0;
    if (child->shuffleCount > 0) {
      if (drawScores) {
        ms->childScore = 0;
        return true;
      }
      ms->childLower = 0;
      if (ms->research)
        ms->newDepth += 1;
      else
        child->searchFlags |= SearchReduced;
    }
    if ((child->stateFlags & node->sideRecord->drawMark) != 0) {
      if (drawScores) {
        ms->childScore = 0;
        return true;
      }
      ms->childLower = 0;
    }
  }
  if ((child->searchFlags & SearchReduced) != 0) {
    ms->childUpper = -ms->windowBest;
    ms->childLower = -ms->windowBest - 1;
  }
  return false;
}

// Searches the child by its depth: below one by quiesce, or by the frontier
// when it has a forcing threat; at one by the frontier; above by the main
// node. A queen capture into a pawn ending gains a unit. True when the
// search was one that a stop or stale bounds may have cut short.
bool searchChild(MoveSearch* ms) {
  Position* child = ms->child;
  Move* killers = ms->node->killers;
  if ((child->searchFlags & SearchMaterialToZero) != 0 && ms->queenCapture &&
      (ms->newDepth >= 1 || hasForcingThreat(child)))
    ms->newDepth += 1;
  if (ms->newDepth <= 0) {
    if (hasForcingThreat(child)) {
      ms->childScore = searchFrontier(child, ms->newDepth, ms->childUpper, ms->childLower, killers, ms->line);
      return true;
    }
    ms->childScore = quiesce(child, ms->childUpper, ms->childLower, killers, ms->line);
    return false;
  }
  if (ms->newDepth == 1) {
    ms->childScore = searchFrontier(child, 1, ms->childUpper, ms->childLower, killers, ms->line);
    return true;
  }
  updateHashKey(child);
  ms->childScore = searchNode(child, ms->newDepth, ms->childUpper, ms->childLower, killers, ms->line, nullptr);
  return true;
}

// Root feedback to the driver, for the iteration's own depth: a first move
// that drops below the last iteration's score reopens the iteration (and,
// by a wider margin, looks for a rescue move first, out of the lock);
// another move below it does too. With the report hook installed the line
// is made ready to print. False when the move ends here: a stop, stale
// bounds, or a better move that came in while the lock was let go.
bool feedRootDriver(MoveSearch* ms, int32_t s, int32_t upperNow, bool exact, SearchLockHold* lock,
                    RootReport* report) {
  Position* node = ms->node;
  if (ms->move == node->hashMove) {
    if (s <= previousScore - RootDropMargin) {
      iterationDone.store(0, std::memory_order_relaxed);
      if (ms->depth >= RescueMinDepth &&
          s <= previousScore - engineWord(ParamRootRescueMargin) * RootRescueMargin / PercentScale) {
        lock->pause();
        findFirstMove(node, ms->depth, upperNow, s, ms->killers);
        lock->resume();
      }
      if (stopRequested() || generationStale(ms->board) || loadShared(*ms->best) != s) return false;
    }
  } else if (s < previousScore) {
    iterationDone.store(0, std::memory_order_relaxed);
  }
  if (infoHook.load(std::memory_order_relaxed) != nullptr) {
    setPv(ms->pv, ms->move, ms->line);
    prepareRootReport(report, ms->depth, s, ms->pv, exact ? 0 : 1);
  }
  return true;
}

// A cut: a quiet move (not a promotion) of a node whose loop is prepared
// earns its history; the node is a lower bound.
void recordCut(MoveSearch* ms) {
  Position* node = ms->node;
  if ((node->searchFlags & SearchHistoryOrder) != 0 && !ms->capture && moveToByte(ms->move) == ms->to &&
      !(ms->moverCode == PawnCode && (rankOf(ms->to) == Rank8 || rankOf(ms->to) == Rank1)))
    addHistory(pieceOn(node, ms->from)->kindCopy.index, ms->to, ms->depth * ms->depth);
  addShared(node->movesSearched, 1);
  node->boundType = BoundLower;
}

// Folds a score above best into the node, under the lock where its bounds
// are shared (re-checked there: another thread may have raised best
// meanwhile). The score is judged against the bound its child's window was
// built from (another thread may have moved upper since): below it exact;
// at or above it a fail high, searched again with the entry bound when the
// window was narrowed below it and the score stays under it; otherwise a
// cut.
NewBest foldNewBest(MoveSearch* ms, int32_t s, SearchLockHold* lock, RootReport* report) {
  Position* node = ms->node;
  ThreadBoard* board = ms->board;
  if (lock->held() && s <= loadShared(*ms->best)) return NewBest::Lost;

  // Step 1. A node that goes on gets its upper bound above the score before
  // best is raised, so that no thread sees the pair crossed (and drops its
  // move as cut) while the node is not.
  const int32_t upperNow = loadShared(*ms->upper);
  const int32_t bound = ms->windowed ? ms->windowUpper : upperNow;
  const bool exact = s < bound;
  const bool widen = !exact && ms->depth >= WidenMinDepth && bound < node->entryUpper && s < node->entryUpper;
  if ((exact || widen) && s >= upperNow) storeShared(*ms->upper, node->entryUpper);
  storeShared(*ms->best, s);

  // Step 2. A helper's raise makes the node's other helpers start their
  // moves again against the new bounds; the owner's own fail high at its
  // split node stops the node's helpers.
  if (ms->sharedNode) {
    setBoardGeneration(board, bumpNodeGeneration(board->splitNode));
  } else if (lock->held() && s >= upperNow) {
    bumpNodeGeneration(node);
  }

  // Step 3. Killers, refutations and the move itself as the line.
  recordGoodMove(node, ms->child, ms->killers, ms->move, ms->atRoot);
  setPv(ms->pv, ms->move, nullptr);

  // Step 4. The root driver learns of a new best at its own depth.
  if (ms->depth == searchDepth && ms->atRoot && exclusionEmpty(ms->excluded) &&
      !feedRootDriver(ms, s, upperNow, exact, lock, report))
    return NewBest::RootStopped;

  // Step 5. An exact score takes the child's line and raises the node's
  // estimate of what it can reach; a fail high searches again or cuts.
  if (exact) {
    setPv(ms->pv, ms->move, ms->line);
    node->boundType = BoundExact;
    if (node->futilityBase != -ScoreInfinite) node->futilityBase = futilityMargin + s - node->staticValue;
    storeShared(node->bestSoFar, std::max(loadShared(node->bestSoFar), s));
    return NewBest::Exact;
  }
  if (widen) {
    if (!ms->atRoot && onFirstRootMove.load(std::memory_order_relaxed) != 0)
      iterationDone.store(0, std::memory_order_relaxed);
    return NewBest::Widen;
  }
  recordCut(ms);
  return NewBest::Cut;
}

// The move counts as searched, unless its child was illegal.
void countSearched(MoveSearch* ms) {
  if (ms->childScore != ScoreInfinite) addShared(ms->node->movesSearched, 1);
}

// Records the move's result once the child is taken back: a score at or
// below best only counts; a reduced move that rises is searched again in
// full; any other rise is folded into the node, and a root line it makes
// is printed once out of the lock.
MoveEnd recordResult(MoveSearch* ms) {
  const int32_t s = -ms->childScore;
  if (s <= loadShared(*ms->best)) {
    countSearched(ms);
    return MoveEnd::Done;
  }
  if (!ms->research && (ms->child->searchFlags & SearchReduced) != 0) {
    ms->research = true;
    return MoveEnd::Again;
  }
  RootReport report;
  report.pending = false;
  NewBest folded;
  {
    SearchLockHold lock(boundsShared(ms));
    folded = foldNewBest(ms, s, &lock, &report);
  }
  sendRootReport(&report);
  switch (folded) {
    case NewBest::Lost: countSearched(ms); return MoveEnd::Done;
    case NewBest::Exact: addShared(ms->node->movesSearched, 1); return MoveEnd::Done;
    case NewBest::Widen: return MoveEnd::Again;
    case NewBest::Cut: return MoveEnd::Done;
    case NewBest::RootStopped: break;
  }
  return stopRequested() || generationStale(ms->board) ? MoveEnd::Abandoned : MoveEnd::Done;
}

}  // namespace

// The node's pair of bounds as one reading: under the lock while other
// threads share them, since a writer changes the pair whole under it.
void readBounds(bool sharedPair, int32_t* upper, int32_t* best, int32_t* upperSeen, int32_t* bestSeen) {
  SearchLockHold lock(sharedPair);
  *bestSeen = loadShared(*best);
  *upperSeen = loadShared(*upper);
}

// After a move abandoned at a node whose bounds other threads share: true
// when it is to be searched again (no stop, the node's bounds still apart,
// and the split node the board works for still wants its work), with best
// so far, the futility base and the board's generation brought up to date.
// Judged under the lock, so never on a pair of bounds half changed.
bool resumeAbandonedMove(Position* node, int32_t* upper, int32_t* best) {
  ThreadBoard* board = node->board;
  bool resume;
  {
    SearchLockHold lock(true);
    resume = !stopRequested() && loadShared(*best) < loadShared(*upper) && splitNodeOpen(board);
    if (resume) {
      // Helpers fold their best so far into the owner's split node under
      // the lock: the owner's own update goes under it too.
      storeShared(node->bestSoFar, std::max(loadShared(node->bestSoFar), loadShared(*best)));
      resyncGeneration(board);
    }
  }
  if (resume && node->futilityBase != -ScoreInfinite)
    node->futilityBase = futilityMargin + loadShared(node->bestSoFar) - node->staticValue;
  return resume;
}

bool searchMove(Position* node, int32_t depth, int32_t* upper, int32_t* best, Move* killers, Move* pv, Move move,
                Position* child, Move* excluded) {
  MoveSearch ms{.node = node,
                .board = node->board,
                .depth = depth,
                .upper = upper,
                .best = best,
                .killers = killers,
                .pv = pv,
                .excluded = excluded,
                .atRoot = excluded != nullptr,
                .sharedNode = (node->searchFlags & SearchSharedNode) != 0,
                .move = move,
                .child = child,
                .from = moveFrom(move),
                .to = moveTo(move),
                .research = false};

  // Each pass searches the move once; a re-search or a resumed move makes
  // it again.
  for (;;) {
    // Step 1. Make the move; some children are scored without a search.
    makeChild(&ms);
    bool scored = scoreWithoutSearch(&ms);

    // Step 2. The threat the node's move leaves unanswered, for the child
    // to check first; a move that hangs material is pruned or searched
    // shallower.
    if (!scored) {
      markChildThreat(node, child, move, ms.newDepth, ThreatClassByDepth);
      scored = testHanging(&ms);
    }

    // Step 3. The child's depth and window, then its search. A search cut
    // short by a stop or by bounds moved elsewhere is abandoned: a node
    // whose bounds other threads share goes on after a resync while it is
    // still wanted (it searches the move again, as it would leave the node
    // incomplete otherwise); other nodes return.
    if (!scored) {
      setChildDepth(&ms);
      scored = setChildWindow(&ms);
      if (!scored && searchChild(&ms) && (stopRequested() || generationStale(ms.board))) {
        takeBackChild(&ms);
        if (boundsShared(&ms) && resumeAbandonedMove(node, upper, best)) continue;
        return true;
      }
    }

    // Step 4. The result, once the move is taken back.
    takeBackChild(&ms);
    const MoveEnd end = recordResult(&ms);
    if (end == MoveEnd::Again) continue;
    return end == MoveEnd::Abandoned;
  }
}

}  // namespace engine
