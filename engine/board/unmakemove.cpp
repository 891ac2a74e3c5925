// Taking a move back with what the child recorded.
//
// Unmake reverses every change make made to the board record: squares,
// list links (a captured piece returns between the neighbours it kept),
// kind counts, material sum, piece count, pawn-file counts and the current
// values of the pieces involved. The Positions keep their own values.
#include "engine/board/makemove.h"
#include "engine/board/pawn_files.h"

namespace engine {

namespace {

// A pawn count of `side` on `file` changes by `step`; the rooks of a file
// that gains its first pawn or loses its last are re-valued.
void changePawnCount(ThreadBoard* board, int32_t side, int32_t file, int32_t step) {
  const bool wasOpen = fileWithoutPawns(board, file);
  pawnsOnFile(sideRecordOf(board, side), file) += step;
  if (fileWithoutPawns(board, file) != wasOpen) rookFileDelta(board, file);
}

}  // namespace

void unmakeMove(Position* child) {
  ThreadBoard* board = child->board;
  const int32_t from = moveFrom(child->lastMove);
  const int32_t to = moveTo(child->lastMove);
  PieceRecord* captured = child->captured;

  // Step 1. The mover goes back; the captured piece (or nothing) returns to
  // the target square.
  PieceRecord* mover = squareAt(board, to);
  squareAt(board, from) = mover;
  squareAt(board, to) = captured;
  mover->square = from;

  // Step 2. Castling, en passant and promotion.
  if ((child->searchFlags & SearchSpecialMove) != 0) {
    const int32_t code = mover->kindCopy.code;
    if (code == KingCode) {
      const int32_t rookAt = to > from ? to - 1 : to + 1;
      const int32_t rookHome = to > from ? to + 1 : to - 2;
      PieceRecord* rook = squareAt(board, rookAt);
      squareAt(board, rookAt) = boardPiece(board);
      squareAt(board, rookHome) = rook;
      rook->square = rookHome;
      rookValue(rook);
    } else if (code == PawnCode) {
      squareAt(board, to) = boardPiece(board);
      squareAt(board, to + child->side * 16) = captured;
    } else {
      // The promoted piece becomes the pawn again and rejoins the pawn
      // count of the file it promoted on.
      --mover->kind->count;
      board->materialSum -= mover->kind->value;
      mover->kind = &board->kinds[mover->colour > 0 ? WhitePawn : BlackPawn];
      ++mover->kind->count;
      refreshKindCopy(mover);
      changePawnCount(board, mover->colour, fileOf(to), +1);
    }
  }

  // Step 3. The captured piece rejoins its list between the neighbours it
  // kept; a capturing pawn returns to its own file.
  if (captured != boardPiece(board)) {
    captured->prev->next = captured;
    captured->next->prev = captured;
    captured->square -= 8;
    ++captured->kind->count;
    ++board->pieceCount;
    const int32_t capturedCode = captured->kindCopy.code;
    if (capturedCode == PawnCode)
      changePawnCount(board, captured->colour, fileOf(to), +1);
    else if (capturedCode != KingCode)
      board->materialSum += captured->kind->value;
    if (mover->kindCopy.code == PawnCode) {
      changePawnCount(board, mover->colour, fileOf(from), +1);
      changePawnCount(board, mover->colour, fileOf(to), -1);
    }
  }

  // Step 4. The mover's value as it was before the move (make changed it
  // with the square).
  mover->currentValue = child->moverPreviousValue;
}

}  // namespace engine
