// Castling rights against the rooks on the board: make clears the rights
// only when the king moves, so a right whose rook has left its corner (or was
// taken there) is cleared here, after a game move and before an evaluation.
#include "engine/board/makemove.h"

namespace engine {

namespace {

constexpr int32_t WhiteQueenRookCorner = 0;    // a1
constexpr int32_t WhiteKingRookCorner = 7;     // h1
constexpr int32_t BlackQueenRookCorner = 112;  // a8
constexpr int32_t BlackKingRookCorner = 119;   // h8

bool rookOnCorner(const ThreadBoard* board, int32_t corner, int32_t rookIndex) {
  return squareAt(board, corner)->kindCopy.index == rookIndex;
}

}  // namespace

void fixCastlingRights(Position* pos) {
  const ThreadBoard* board = pos->board;
  uint32_t& flags = pos->stateFlags;
  if (flags & (StateWhiteKingSide | StateWhiteQueenSide)) {
    if (!rookOnCorner(board, WhiteQueenRookCorner, WhiteRook)) flags &= ~StateWhiteQueenSide;
    if (!rookOnCorner(board, WhiteKingRookCorner, WhiteRook)) flags &= ~StateWhiteKingSide;
  }
  if (flags & (StateBlackKingSide | StateBlackQueenSide)) {
    if (!rookOnCorner(board, BlackQueenRookCorner, BlackRook)) flags &= ~StateBlackQueenSide;
    if (!rookOnCorner(board, BlackKingRookCorner, BlackRook)) flags &= ~StateBlackKingSide;
  }
}

}  // namespace engine
