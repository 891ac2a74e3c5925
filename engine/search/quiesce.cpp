// The last plies of the search: the depth-one search over all moves
// (searchFrontier) and the quiescence search over captures (quiesce), which
// resolves most captures with the exchange routine instead of searching
// them.
#include <algorithm>

#include "engine/board/makemove.h"
#include "engine/board/movegen.h"
#include "engine/eval/eval_weights.h"
#include "engine/eval/evaluate.h"
#include "engine/search/search_support.h"

namespace engine {

namespace {

// The futility base below which a depth-one node prunes nothing.
constexpr int32_t FrontierNoPruning = -19;

// A depth-one node while searchFrontier works on it: its bounds (lower
// rises with each better move), and the move being searched with what the
// steps decide for its child.
struct FrontierSearch {
  Position* node;
  ThreadBoard* board;
  int32_t depth;
  int32_t upper;
  int32_t lower;
  Move* killers;
  Move* pv;
  bool inCheck;
  Position* child;
  Move line[PvLength] = {};
  Move move = noMove;
  int32_t to = 0;
  bool research = false;
  int32_t childDepth = 0;  // 0 unless a check or its answer keeps a depth
  int32_t childUpper = 0;
  int32_t childLower = 0;
};

// Moves to try first (the last pushed is tried first): the killers (the
// second not when the node has a first reply), the newest refutation of a
// known threat, the recaptures on the last move's target; the first reply
// last, unless the parent pushed it already.
void pushFrontierMoves(Position* node, const Move* killers) {
  if ((node->searchFlags & SearchTacticalOnly) == 0) {
    if (!hasFirstReply(node)) pushIfPlausible(node, killers[1]);
    pushIfPlausible(node, killers[0]);
    if (threatKnown(node) && isOnBoard(node->threatenedPiece->square))
      pushIfPlausible(node, node->sideRecord->refutations[node->threatenedPiece->square + SpareColumn]);
    if (isMove(node->lastMove)) pushCapturesOnto(node, moveTo(node->lastMove));
  }
  if (hasFirstReply(node) && (node->searchFlags & SearchReplyPushed) == 0) pushIfPlausible(node, node->firstReply);
}

// Moves the loop passes over: a tactical-only node's non-tactical moves,
// futile moves (counted as searched; at depth one only with a futility
// base worth pruning, and never a check or an en-passant capture),
// duplicates of stacked moves, and in check the moves that do not answer it.
bool skipFrontierMove(FrontierSearch* fs, bool fromStack, const TakenMoves* taken) {
  Position* node = fs->node;
  const Move move = fs->move;
  const PieceRecord* mover = pieceOn(node, moveFrom(move));
  if ((node->searchFlags & SearchTacticalOnly) != 0 && skippedInTacticalNode(node, move)) return true;
  const bool searched = (fs->depth >= 1 && node->futilityBase < FrontierNoPruning) ||
                        moveGain(node, move) > node->futilityBase || isEnPassantCapture(node, move) ||
                        (fs->depth >= 1 && threatTarget(fs->to, mover, ThreatClassKing) != NoSquare);
  if (!searched) {
    node->movesSearched += 1;
    return true;
  }
  if (!fromStack && taken->contains(move)) return true;
  return leavesCheckUnanswered(node, move, fs->inCheck);
}

// The child's threats: the mark of the threat the move leaves unanswered
// (below depth one as it stands; at depth one refreshed from the
// threatening piece), and the check the move gives.
void markFrontierThreats(FrontierSearch* fs) {
  Position* child = fs->child;
  markChildThreat(fs->node, child, fs->move, 0, fs->depth >= 1 ? ThreatClassMinor : NoThreatRefresh);
  if (fs->depth < 1) return;
  const int32_t king = threatTarget(fs->to, pieceOn(child, fs->to), ThreatClassKing);
  if (king == NoSquare) return;
  child->threatMove = makeMove16(fs->to, king);
  child->threatenedPiece = pieceOn(child, king);
  child->threatGrade = 0;
  child->searchFlags |= SearchThreatKnown;
}

// A check answered by a piece that can itself strike (the child's first
// reply does not take the checker): a re-search keeps the node's depth,
// a first search is tactical-only and reduced.
void answerCheckByStrike(FrontierSearch* fs) {
  const Position* node = fs->node;
  Position* child = fs->child;
  if (!hasFirstReply(child) || moveTo(child->firstReply) == moveFrom(child->threatMove) || !threatOnKing(child) ||
      fs->to == moveTo(node->firstReply) || (node->searchFlags & SearchExtended) != 0)
    return;
  if (fs->research) {
    child->searchFlags |= SearchExtended;
    fs->childDepth = fs->depth;
  } else {
    child->searchFlags |= SearchReduced | SearchTacticalOnly;
  }
}

// The child before its search: a final child has its value, a drawn or
// shuffling one scores 0 when lower is not below it (else the draw is its
// lower bound); the others get their threats and check answers. True when
// *score is the child's.
bool scoreFrontierChild(FrontierSearch* fs, int32_t* score) {
  const Position* node = fs->node;
  const Position* child = fs->child;
  if ((child->stateFlags & StateFinal) != 0) {
    *score = child->staticValue;
    return true;
  }
  markFrontierThreats(fs);
  answerCheckByStrike(fs);
  if (fs->upper > 0 && (child->shuffleCount > 0 || (child->stateFlags & node->sideRecord->drawMark) != 0)) {
    if (fs->lower >= 0) {
      *score = 0;
      return true;
    }
    fs->childLower = 0;
  }
  return false;
}

// The child's window. In check with queens on the board, a move that does
// not take the checker in a node not extended gets the null window on its
// first search and one unit of depth on its re-search (above its static
// value); so does every reduced child get the null window.
void setFrontierWindow(FrontierSearch* fs) {
  const Position* node = fs->node;
  Position* child = fs->child;
  const bool heavy = fs->board->materialSum >= heavyMaterialThreshold;
  if (fs->inCheck && queenOnBoard(fs->board) && fs->to != moveFrom(node->threatMove) &&
      (node->searchFlags & SearchExtended) == 0 &&
      ((heavy && (node->stateFlags & StateScratchSearch) == 0) || (!heavy && fs->depth == 1))) {
    if (!fs->research) {
      child->searchFlags |= SearchReduced;
    } else {
      child->searchFlags |= SearchExtended;
      fs->childDepth = 1;
      if (fs->depth < 1) child->stateFlags |= StateScratchSearch;
      fs->childLower = std::max(child->staticValue, fs->childLower);
    }
  }
  if ((child->searchFlags & SearchReduced) != 0) {
    fs->childUpper = -fs->lower;
    fs->childLower = -fs->lower - 1;
  }
}

// Searches the child: at the depth a check kept, by the frontier below
// depth one for a forcing threat, else by quiesce.
int32_t searchFrontierChild(FrontierSearch* fs) {
  Position* child = fs->child;
  Move* killers = fs->node->killers;
  if (fs->childDepth > 0)
    return searchFrontier(child, fs->childDepth, fs->childUpper, fs->childLower, killers, fs->line);
  if (hasForcingThreat(child)) {
    child->stateFlags |= StateQuiesceAgain;
    return searchFrontier(child, 0, fs->childUpper, fs->childLower, killers, fs->line);
  }
  return quiesce(child, fs->childUpper, fs->childLower, killers, fs->line);
}

// Searches one move, again without its reduction when it rises above
// lower, and weighs the result: a better move raises lower and takes the
// line. True when it cuts the node (lower is then its score).
bool searchFrontierMove(FrontierSearch* fs) {
  Position* node = fs->node;
  Position* child = fs->child;
  for (fs->research = false;;) {
    makeMove(node, fs->move, child);
    startChild(node, child);
    fs->childDepth = 0;
    fs->childUpper = -fs->lower;
    fs->childLower = -fs->upper;
    int32_t score = 0;
    if (scoreFrontierChild(fs, &score)) {
      fs->line[0] = noMove;
    } else {
      setFrontierWindow(fs);
      score = searchFrontierChild(fs);
    }
    unmakeMove(child);
    const int32_t s = -score;
    if (s <= fs->lower) {
      if (score != ScoreInfinite) node->movesSearched += 1;
      return false;
    }
    if (!fs->research && (child->searchFlags & SearchReduced) != 0) {
      fs->research = true;
      continue;
    }
    recordGoodMove(node, child, fs->killers, fs->move, false);
    fs->lower = s;
    setPv(fs->pv, fs->move, fs->line);
    if (s >= fs->upper) return true;
    node->futilityBase = futilityMargin + s - node->staticValue;
    node->movesSearched += 1;
    return false;
  }
}

// A quiescence node while quiesce works on it: its bounds (lower rises
// with each better capture) and the child record its captures are made in.
struct QuiesceSearch {
  Position* node;
  int32_t upper;
  int32_t lower;
  Move* killers;
  Move* pv;
  bool inCheck;  // a threat against the king, not a mere attack on it
  Position* child;
  Move line[PvLength] = {};
};

// Captures to try first (the last pushed is tried first): the killers that
// capture (the second not when the node has a first reply), the recaptures
// on the last move's target, the first reply.
void pushQuiesceMoves(Position* node, const Move* killers) {
  if (isMove(killers[1]) && !hasFirstReply(node) && pieceOn(node, moveTo(killers[1]))->colour == node->opponent)
    pushIfPlausible(node, killers[1]);
  if (isMove(killers[0]) && pieceOn(node, moveTo(killers[0]))->colour == node->opponent)
    pushIfPlausible(node, killers[0]);
  if (isMove(node->lastMove)) pushCapturesOnto(node, moveTo(node->lastMove));
  if (hasFirstReply(node)) pushIfPlausible(node, node->firstReply);
}

// A capture's child is searched on by quiesce while it may be (either
// side's quiesce flag left after the mover's mask, and the move not the
// first reply unless the node searches again), except a capture that
// leaves the king in check (refuted) or that checks a child without a
// first reply (the exchange); any other child is resolved by the exchange
// on its target.
int32_t resolveCapture(QuiesceSearch* qs, Move move, bool kingMove, int32_t childLower) {
  Position* node = qs->node;
  Position* child = qs->child;
  const int32_t to = moveTo(move);
  child->stateFlags &= node->sideRecord->flagMask;
  if ((child->stateFlags & (StateWhiteQuiesce | StateBlackQuiesce)) != 0 &&
      (move != node->firstReply || (node->stateFlags & StateQuiesceAgain) != 0)) {
    const bool tookChecker = to == moveFrom(node->threatMove);
    if (qs->inCheck && child->captured->colour != 0 && !tookChecker && !kingMove) return ScoreInfinite;
    if (threatTarget(to, pieceOn(child, to), ThreatClassKing) == NoSquare || hasFirstReply(child))
      return quiesce(child, -qs->lower, childLower, node->killers, qs->line);
  }
  const int32_t score = staticExchange(child, -qs->lower, childLower, &qs->line[0]);
  qs->line[1] = noMove;
  return score;
}

// Makes a capture and scores its child: a final child has its value, a
// drawn one scores 0 when lower is not below it (else the draw is its
// lower bound); the others are resolved.
int32_t scoreCapture(QuiesceSearch* qs, Move move) {
  Position* node = qs->node;
  Position* child = qs->child;
  const bool kingMove = pieceOn(node, moveFrom(move))->kindCopy.code == KingCode;
  makeMove(node, move, child);
  startChild(node, child);
  qs->line[0] = noMove;
  int32_t score;
  if ((child->stateFlags & StateFinal) != 0) {
    score = child->staticValue;
  } else {
    const bool drawn = qs->upper > 0 && (child->stateFlags & node->sideRecord->drawMark) != 0;
    if (drawn && qs->lower >= 0)
      score = 0;
    else
      score = resolveCapture(qs, move, kingMove, drawn ? 0 : -qs->upper);
  }
  unmakeMove(child);
  return score;
}

// A capture that raised lower: a move other than the first killer, the
// first reply or a recapture shifts into the killers; it and its reply are
// the line. True when it cuts the node.
bool raiseQuiesceBound(QuiesceSearch* qs, Move move, int32_t s) {
  Position* node = qs->node;
  if (move != qs->killers[0] && move != node->firstReply && moveTo(move) != moveTo(node->lastMove)) {
    qs->killers[1] = qs->killers[0];
    qs->killers[0] = move;
  }
  qs->pv[0] = move;
  qs->pv[1] = qs->line[0];
  qs->pv[2] = noMove;
  if (s >= qs->upper) return true;
  node->futilityBase = s + futilityMargin - node->staticValue;
  qs->lower = s;
  return false;
}

}  // namespace

int32_t searchFrontier(Position* node, int32_t depth, int32_t upper, int32_t lower, Move* killers, Move* pv) {
  pv[0] = noMove;
  if (plyOf(node) >= MaxSearchPly) return std::clamp(node->staticValue, lower, upper);

  // Step 1. The futility base and the moves to try first.
  node->futilityBase = lower + futilityMargin - node->staticValue;
  pushFrontierMoves(node, killers);

  // Step 2. Every move: from the stack, then the picker's stages.
  node->movesSearched = 0;
  Position child;
  FrontierSearch fs{.node = node,
                    .board = node->board,
                    .depth = depth,
                    .upper = upper,
                    .lower = lower,
                    .killers = killers,
                    .pv = pv,
                    .inCheck = threatOnKing(node),
                    .child = &child};
  TakenMoves taken;
  startMoveLoop(node, &child, &taken);
  for (;;) {
    bool fromStack = false;
    fs.move = takeNextMove(node, &taken, false, &fromStack);
    if (fs.move == noMove) break;
    fs.to = moveTo(fs.move);
    if (skipFrontierMove(&fs, fromStack, &taken)) continue;
    if (searchFrontierMove(&fs)) return fs.lower;
  }

  // Step 3. Nothing searched: mated or stalemated.
  if ((node->searchFlags & SearchTacticalOnly) != 0 || (fs.lower > -ScoreInfinite && node->movesSearched > 0))
    return fs.lower;
  return kingAttacked(node) ? node->matedScore : 0;
}

int32_t quiesce(Position* node, int32_t upper, int32_t lower, Move* killers, Move* pv) {
  pv[0] = noMove;

  // Step 1. Stand pat: the side to move may decline every capture.
  const int32_t v = node->staticValue;
  if (lower < v) {
    if (v >= upper) return v;
    lower = v;
  }
  if (plyOf(node) >= MaxSearchPly) return lower;

  // Step 2. The futility base, and the captures to try first.
  node->futilityBase = futilityMargin + lower - v;
  pushQuiesceMoves(node, killers);

  // Step 3. The captures that can lift the score to lower, each resolved
  // or searched on.
  Position child;
  QuiesceSearch qs{.node = node,
                   .upper = upper,
                   .lower = lower,
                   .killers = killers,
                   .pv = pv,
                   .inCheck = threatOnKing(node) && node->threatGrade == 0,
                   .child = &child};
  TakenMoves taken;
  startMoveLoop(node, &child, &taken);
  for (;;) {
    bool fromStack = false;
    const Move move = takeNextMove(node, &taken, true, &fromStack);
    if (move == noMove) break;
    if (node->futilityBase >= moveGain(node, move) && !isEnPassantCapture(node, move)) continue;
    if (!fromStack && taken.contains(move)) continue;
    const int32_t s = -scoreCapture(&qs, move);
    if (s > qs.lower && raiseQuiesceBound(&qs, move, s)) return s;
  }
  return qs.lower;
}

}  // namespace engine
