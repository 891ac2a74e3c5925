// Draw marks of single-pawn endings that cannot be won: the defending king
// in front of the pawn, and the rook pawn whose bishop does not control the
// promotion corner. A marked child is scored as a draw by the searches, and
// the front end counts it as insufficient material.
#include <cstdint>

#include "engine/board/attacks.h"
#include "engine/board/board.h"
#include "engine/control/control.h"
#include "engine/search/search.h"

namespace engine {

namespace {

// 0x88 distance from a rook pawn to a defending king that stands in its way
// (one rank ahead and one file over is +15/+17; two ranks ahead at least).
constexpr int32_t RookPawnCornerReach = 14;

inline int32_t squareColour(int32_t square) { return (fileOf(square) + rankOf(square)) & 1; }

// The square of the side's piece of `kind`, 12 when it has none.
int32_t squareOfKind(ThreadBoard* board, SideRecord* side, int32_t kind) {
  const PieceRecord* end = boardPiece(board);
  for (const PieceRecord* p = side->head.next; p != end; p = p->next)
    if (p->kindCopy.index == kind) return p->square;
  return NoSquare;
}

// No non-pawn material on the board (a pawn ending)?
bool onlyKingsAndPawns(const ThreadBoard* board) { return board->materialSum == 0; }

// The side's one bishop is the only non-pawn material on the board?
bool loneBishopOf(const ThreadBoard* board, int32_t bishopKind) {
  return board->kinds[bishopKind].count == 1 && board->materialSum == board->kinds[bishopKind].value;
}

// The tests of one side's case, in White's orientation: `ahead` is +1 for
// White (ranks rise toward promotion) and -1 for Black. p is the pawn,
// k the defending king, K the attacking king.
bool singlePawnDrawn(ThreadBoard* board, int32_t attacker) {
  int32_t pawnKind = attacker > 0 ? WhitePawn : BlackPawn;
  int32_t defenderPawnKind = attacker > 0 ? BlackPawn : WhitePawn;
  int32_t bishopKind = attacker > 0 ? WhiteBishop : BlackBishop;
  SideRecord* own = sideRecordOf(board, attacker);
  SideRecord* other = sideRecordOf(board, -attacker);

  // Step 1. Exactly one pawn, and no enemy pawn that can take it.
  if (board->kinds[pawnKind].count != 1) return false;
  int32_t p = squareOfKind(board, own, pawnKind);
  if (p == NoSquare) return false;
  int32_t leftGuard = p + attacker * 15, rightGuard = p + attacker * 17;
  if (squareAt(board, leftGuard)->kindCopy.index == defenderPawnKind) return false;
  if (squareAt(board, rightGuard)->kindCopy.index == defenderPawnKind) return false;

  int32_t k = squareOfKind(board, other, attacker > 0 ? BlackKing : WhiteKing);
  int32_t K = squareOfKind(board, own, attacker > 0 ? WhiteKing : BlackKing);
  if (k == NoSquare || K == NoSquare) return false;
  // Ranks counted from the attacker's side.
  int32_t kRank = attacker > 0 ? rankOf(k) : 7 - rankOf(k);
  int32_t KRank = attacker > 0 ? rankOf(K) : 7 - rankOf(K);
  int32_t pRank = attacker > 0 ? rankOf(p) : 7 - rankOf(p);

  // Step 2. Material: a pawn ending, or (word 2 set) a lone bishop that
  // does not stand on the promotion square's colour.
  bool pawnEnding = onlyKingsAndPawns(board);
  if (!pawnEnding) {
    if (engineWord(ParamDrawMarks) == 0 || !loneBishopOf(board, bishopKind)) return false;
    int32_t bishop = squareOfKind(board, own, bishopKind);
    int32_t promotionSquare = makeSquare(fileOf(p), attacker > 0 ? 7 : 0);
    if (bishop == NoSquare || squareColour(bishop) == squareColour(promotionSquare)) return false;
    if (!(kRank == 7 || KRank < kRank)) return false;
  }

  // Step 3. The drawn placements.
  int32_t file = fileOf(p);
  bool defenderHasPawn = board->kinds[defenderPawnKind].count > 0;
  if (pawnEnding) {
    if (k == p + attacker * 16 && kRank < 7) return true;
    if (k == p + attacker * 32 && kRank < 7 && !defenderHasPawn) return true;
  }
  if (file == 0 || file == 7) {
    int32_t neighbour = file == 0 ? 1 : 6;
    if (attacker * (k - p) >= RookPawnCornerReach && (fileOf(k) == file || fileOf(k) == neighbour)) return true;
    if (pawnEnding) {
      int32_t trapFile = file == 0 ? 2 : 5;
      if (fileOf(k) == trapFile && fileOf(K) == file && KRank > pRank) return true;
    }
  }
  return false;
}

}  // namespace

void recogniseDraws(Position* node) {
  ThreadBoard* board = node->board;
  for (int32_t attacker = White; attacker >= Black; attacker -= 2) {
    if (!singlePawnDrawn(board, attacker)) continue;
    // Only a legal position is marked: the king of the side not to
    // move must not stand attacked.
    int32_t kingOfOtherSide =
        squareOfKind(board, node->sideRecord->otherSide, node->side > 0 ? BlackKing : WhiteKing);
    if (kingOfOtherSide != NoSquare && findAttacker(kingOfOtherSide, node->sideRecord) != NoSquare) continue;
    node->stateFlags |= attacker > 0 ? StateWhiteCannotWin : StateBlackCannotWin;
  }
}

}  // namespace engine
