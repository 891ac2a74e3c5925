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
}  // namespace

int32_t searchFrontier(Position* node, int32_t depth, int32_t upper, int32_t lower, Move* killers, Move* pv) {
  ThreadBoard* board = node->board;
  pv[0] = noMove;
  if (plyOf(node) >= MaxSearchPly) return std::clamp(node->staticValue, lower, upper);

  // Step 1. Futility base.
  node->futilityBase = lower + futilityMargin - node->staticValue;

  // Step 2. Moves to try first (the last pushed is tried first).
  if ((node->searchFlags & SearchTacticalOnly) == 0) {
    if (!hasFirstReply(node)) pushIfPlausible(node, killers[1]);
    pushIfPlausible(node, killers[0]);
    if (threatKnown(node) && isOnBoard(node->threatenedPiece->square))
      pushIfPlausible(node, node->sideRecord->refutations[node->threatenedPiece->square + 8]);
    if (isMove(node->lastMove)) pushCapturesOnto(node, moveTo(node->lastMove));
  }
  if (hasFirstReply(node) && (node->searchFlags & SearchReplyPushed) == 0) pushIfPlausible(node, node->firstReply);

  // Step 3.
  node->movesSearched = 0;
  bool inCheck = threatOnKing(node);
  Position child;
  TakenMoves taken;
  startMoveLoop(node, &child, &taken);
  Move line[PvLength];

  // Steps 4 and 5. Moves from the stack, then the picker's stages.
  for (;;) {
    bool fromStack = false;
    Move move = takeNextMove(node, &taken, false, &fromStack);
    if (move == noMove) break;
    int32_t to = moveTo(move);
    PieceRecord* mover = pieceOn(node, moveFrom(move));
    // Step 5.1.
    if ((node->searchFlags & SearchTacticalOnly) != 0 && skippedInTacticalNode(node, move)) continue;
    // Step 5.2. Futility.
    bool searched = (depth >= 1 && node->futilityBase < FrontierNoPruning) || moveGain(node, move) > node->futilityBase ||
                    isEnPassantCapture(node, move) ||
                    (depth >= 1 && threatTarget(to, mover, ThreatClassKing) != NoSquare);
    if (!searched) {
      node->movesSearched += 1;
      continue;
    }
    // Step 5.3.
    if (!fromStack && taken.contains(move)) continue;
    // Step 5.4.
    node->unansweredThreatFrom = node->unansweredThreatTo = NoSquare;
    if (threatKnown(node) && !answersThreat(node, move)) {
      if (inCheck && pieceOn(node, to)->kindCopy.code != KingCode) continue;
      node->unansweredThreatFrom = uint8_t(moveFrom(node->threatMove));
      node->unansweredThreatTo = uint8_t(moveTo(node->threatMove));
    }

    int32_t score = 0;
    for (bool research = false;;) {
      // Step 5.5. Make the move.
      makeMove(node, move, &child);
      startChild(node, &child);
      int32_t childDepth = 0;
      int32_t childUpper = -lower, childLower = -upper;
      bool done = false;
      if ((child.stateFlags & StateFinal) != 0) {
        score = child.staticValue;
        done = true;
      } else {
        // Below depth one the child takes the re-checked mark as it stands;
        // at depth one the mark is also refreshed from the threatening piece.
        markChildThreat(node, &child, move, 0, depth >= 1 ? ThreatClassMinor : NoThreatRefresh);
        if (depth >= 1) {
          int32_t king = threatTarget(to, pieceOn(&child, to), ThreatClassKing);
          if (king != NoSquare) {
            child.threatMove = makeMove16(to, king);
            child.threatenedPiece = pieceOn(&child, king);
            child.threatGrade = 0;
            child.searchFlags |= SearchThreatKnown;
          }
        }
        // Step 5.6. A check answered by a piece that can itself strike.
        bool childInCheck = threatOnKing(&child);
        if (hasFirstReply(&child) && moveTo(child.firstReply) != moveFrom(child.threatMove) && childInCheck &&
            to != moveTo(node->firstReply) && (node->searchFlags & SearchExtended) == 0) {
          if (research) {
            child.searchFlags |= SearchExtended;
            childDepth = depth;
          } else {
            child.searchFlags |= SearchReduced | SearchTacticalOnly;
          }
        }
        // Step 5.7. Draw marks.
        if (upper > 0 && (child.shuffleCount > 0 || (child.stateFlags & node->sideRecord->drawMark) != 0)) {
          if (lower >= 0) {
            score = 0;
            done = true;
          } else {
            childLower = 0;
          }
        }
      }
      if (!done) {
        // Step 5.8. The window.
        bool heavy = board->materialSum >= heavyMaterialThreshold;
        if (inCheck && queenOnBoard(board) && to != moveFrom(node->threatMove) &&
            (node->searchFlags & SearchExtended) == 0 &&
            ((heavy && (node->stateFlags & StateScratchSearch) == 0) || (!heavy && depth == 1))) {
          if (!research) {
            child.searchFlags |= SearchReduced;
          } else {
            child.searchFlags |= SearchExtended;
            childDepth = 1;
            if (depth < 1) child.stateFlags |= StateScratchSearch;
            childLower = std::max(child.staticValue, childLower);
          }
        }
        if ((child.searchFlags & SearchReduced) != 0) {
          childUpper = -lower;
          childLower = -lower - 1;
        }
        // Step 5.9. Dispatch.
        if (childDepth > 0) {
          score = searchFrontier(&child, childDepth, childUpper, childLower, node->killers, line);
        } else if (threatKnown(&child) && child.threatGrade <= 2) {
          child.stateFlags |= StateQuiesceAgain;
          score = searchFrontier(&child, 0, childUpper, childLower, node->killers, line);
        } else {
          score = quiesce(&child, childUpper, childLower, node->killers, line);
        }
      } else {
        line[0] = noMove;
      }
      // Step 5.10. Unmake and weigh the result.
      unmakeMove(&child);
      int32_t s = -score;
      if (s <= lower) {
        if (score != ScoreInfinite) node->movesSearched += 1;
        break;
      }
      if (!research && (child.searchFlags & SearchReduced) != 0) {
        research = true;
        continue;
      }
      recordGoodMove(node, &child, killers, move, false);
      lower = s;
      if (s >= upper) {
        setPv(pv, move, line);
        return s;
      }
      setPv(pv, move, line);
      node->futilityBase = futilityMargin + s - node->staticValue;
      node->movesSearched += 1;
      break;
    }
  }

  // Step 6. Nothing searched: mated or stalemated.
  if ((node->searchFlags & SearchTacticalOnly) != 0 || (lower > -ScoreInfinite && node->movesSearched > 0))
    return lower;
  return kingAttacked(node) ? node->matedScore : 0;
}

int32_t quiesce(Position* node, int32_t upper, int32_t lower, Move* killers, Move* pv) {
  pv[0] = noMove;

  // Step 1. Stand pat.
  int32_t v = node->staticValue;
  if (lower < v) {
    if (v >= upper) return v;
    lower = v;
  }
  if (plyOf(node) >= MaxSearchPly) return lower;

  // Step 2.
  node->futilityBase = futilityMargin + lower - v;

  // Step 3. Killers that capture.
  if (isMove(killers[1]) && !hasFirstReply(node) && pieceOn(node, moveTo(killers[1]))->colour == node->opponent)
    pushIfPlausible(node, killers[1]);
  if (isMove(killers[0]) && pieceOn(node, moveTo(killers[0]))->colour == node->opponent)
    pushIfPlausible(node, killers[0]);
  // Steps 4 and 5. Recaptures on the last move's target; the first reply.
  if (isMove(node->lastMove)) pushCapturesOnto(node, moveTo(node->lastMove));
  if (hasFirstReply(node)) pushIfPlausible(node, node->firstReply);

  bool inCheck = threatOnKing(node) && node->threatGrade == 0;
  Position child;
  TakenMoves taken;
  startMoveLoop(node, &child, &taken);
  Move line[PvLength];

  // Step 6.
  for (;;) {
    bool fromStack = false;
    Move move = takeNextMove(node, &taken, true, &fromStack);
    if (move == noMove) break;
    int32_t from = moveFrom(move), to = moveTo(move);
    // Step 6.1. Futility: the capture cannot lift the score to lower.
    if (node->futilityBase >= moveGain(node, move) && !isEnPassantCapture(node, move)) continue;
    // Step 6.2.
    if (!fromStack && taken.contains(move)) continue;
    // Step 6.3.
    bool kingMove = pieceOn(node, from)->kindCopy.code == KingCode;
    makeMove(node, move, &child);
    startChild(node, &child);
    int32_t score;
    int32_t childLower = -upper;
    line[0] = noMove;
    bool done = false;
    if ((child.stateFlags & StateFinal) != 0) {
      score = child.staticValue;
      done = true;
    } else if (upper > 0 && (child.stateFlags & node->sideRecord->drawMark) != 0) {
      if (lower >= 0) {
        score = 0;
        done = true;
      } else {
        childLower = 0;
      }
    }
    if (!done) {
      child.stateFlags &= node->sideRecord->flagMask;
      // Step 6.4. Children that may be searched again.
      if ((child.stateFlags & (StateWhiteQuiesce | StateBlackQuiesce)) != 0 &&
          (move != node->firstReply || (node->stateFlags & StateQuiesceAgain) != 0)) {
        bool tookChecker = to == moveFrom(node->threatMove);
        if (inCheck && child.captured->colour != 0 && !tookChecker && !kingMove) {
          score = ScoreInfinite;  // the capture leaves the king in check
        } else if (threatTarget(to, pieceOn(&child, to), ThreatClassKing) != NoSquare && !hasFirstReply(&child)) {
          score = staticExchange(&child, -lower, childLower, &line[0]);
          line[1] = noMove;
        } else {
          score = quiesce(&child, -lower, childLower, node->killers, line);
        }
      } else {
        // Step 6.5.
        score = staticExchange(&child, -lower, childLower, &line[0]);
        line[1] = noMove;
      }
    }
    unmakeMove(&child);
    // Step 6.6.
    int32_t s = -score;
    if (s > lower) {
      if (move != killers[0] && move != node->firstReply && to != moveTo(node->lastMove)) {
        killers[1] = killers[0];
        killers[0] = move;
      }
      pv[0] = move;
      pv[1] = line[0];
      pv[2] = noMove;
      if (s >= upper) return s;
      node->futilityBase = s + futilityMargin - v;
      lower = s;
    }
  }
  return lower;
}

}  // namespace engine
