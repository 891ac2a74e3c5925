// The threat mark a child inherits: a threat of the opponent that the move
// just made left standing becomes the child's first reply, unless the
// exchange after the move shows it no longer pays.
#include <algorithm>

#include "engine/board/makemove.h"
#include "engine/search/search_support.h"

namespace engine {

namespace {
// The threat must still gain at least this after the move to stay marked.
constexpr int32_t ThreatMarkMargin = 28;
}  // namespace

void markChildThreat(Position* node, Position* child, Move move, int32_t newDepth, int32_t classBound) {
  int32_t to = moveTo(move);
  // A marked threat that the exchange after the move no longer
  // makes pay is cleared.
  if (node->unansweredThreatFrom != NoSquare && node->threatGrade >= 1 && node->threatGrade <= 3) {
    int32_t markTo = node->unansweredThreatTo;
    int32_t pattern = attackBits(to, markTo);
    int32_t moverBit = pieceOn(node, to)->kindCopy.attackBit;
    int32_t capturedBit = child->captured->colour != 0 ? child->captured->kindCopy.attackBit : 0;
    Move mark = makeMove16(node->unansweredThreatFrom, markTo);
    if ((pattern & (moverBit | capturedBit)) != 0 && isPlausibleMove(child, mark)) {
      Position scratch;
      initPosition(&scratch, child->board);
      makeMove(child, mark, &scratch);
      int32_t f = std::max(ThreatMarkMargin - child->staticValue, scratch.staticValue);
      int32_t v = staticExchange(&scratch, f + 1, f, nullptr);
      unmakeMove(&scratch);
      if (v > f) node->unansweredThreatFrom = node->unansweredThreatTo = NoSquare;
    }
  }
  // The threatening piece still there and aiming at something.
  if (classBound != NoThreatRefresh && threatKnown(node) && node->unansweredThreatFrom == NoSquare) {
    int32_t square = moveFrom(node->threatMove);
    const PieceRecord* piece = pieceOn(node, square);
    if (piece->colour == node->opponent) {
      int32_t bound = classBound != ThreatClassByDepth ? classBound : (newDepth > 1 ? ThreatClassRook : ThreatClassMinor);
      int32_t t = threatTarget(square, piece, bound);
      bool same = t == node->threatenedPiece->square && to != t;
      if (t != NoSquare && !same) {
        node->unansweredThreatFrom = uint8_t(square);
        node->unansweredThreatTo = uint8_t(t);
      }
    }
  }
  // The child tries the marked move first.
  child->firstReply = node->unansweredThreatFrom == NoSquare
                          ? noMove
                          : makeMove16(node->unansweredThreatFrom, node->unansweredThreatTo);
}

}  // namespace engine
