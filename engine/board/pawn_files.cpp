// Pawn counts per file, the isolated-pawn charges they imply, and the value
// of rooks on files that open or close.
#include "engine/board/pawn_files.h"

namespace engine {

namespace {

// The charge an isolated group of `count` pawns of `side` pays on `file`.
int32_t isolationCharge(const ThreadBoard* board, int32_t side, int32_t file, int32_t count) {
  const EvalBlock& block = board->evalBlock;
  const int32_t s = colourIndex(side);
  return count == 1 ? block.isolatedPawnSingle[s][file] : block.isolatedPawnSeveral[s][file];
}

// A rook's value on its square: piece-square entry, base value and, on a
// file without pawns, the open-file bonus.
int32_t rookValueAt(ThreadBoard* board, const PieceRecord* rook) {
  const int32_t square = rook->square;
  int32_t value = rook->kind->pieceSquareTable[square] + rook->kind->baseValue;
  if (fileWithoutPawns(board, fileOf(square))) value += board->evalBlock.openFileBonus;
  return value;
}

// The open-file step: the file has just opened or closed for both colours
// when `side` has no pawn left there (remove) or its first one (add) and the
// other colour has none. The rooks' change, seen from `side`.
int32_t openFileStep(ThreadBoard* board, int32_t side, int32_t file) {
  if (pawnsOnFile(sideRecordOf(board, -side), file) != 0) return 0;
  const int32_t delta = rookFileDelta(board, file);
  return side > 0 ? delta : -delta;
}

}  // namespace

int32_t removePawnFromFile(ThreadBoard* board, int32_t side, int32_t file) {
  SideRecord* own = sideRecordOf(board, side);
  // The leaving pawn takes its own isolation charge along.
  int32_t change = 0;
  if (pawnsOnFile(own, file - 1) == 0 && pawnsOnFile(own, file + 1) == 0)
    change = isolationCharge(board, side, file, 1);
  if (--pawnsOnFile(own, file) != 0) return change;

  // The file is empty now: pawns beside it may have lost their last
  // neighbour.
  const int32_t left = pawnsOnFile(own, file - 1), right = pawnsOnFile(own, file + 1);
  if (pawnsOnFile(own, file - 2) == 0 && left > 0) change -= isolationCharge(board, side, file - 1, left);
  if (pawnsOnFile(own, file + 2) == 0 && right > 0) change -= isolationCharge(board, side, file + 1, right);
  return change + openFileStep(board, side, file);
}

int32_t addPawnToFile(ThreadBoard* board, int32_t side, int32_t file) {
  SideRecord* own = sideRecordOf(board, side);
  int32_t change = 0;
  if (pawnsOnFile(own, file - 1) == 0 && pawnsOnFile(own, file + 1) == 0)
    change = -isolationCharge(board, side, file, 1);
  if (pawnsOnFile(own, file)++ != 0) return change;

  // The file's first pawn: pawns beside it that stood alone have a
  // neighbour now.
  const int32_t left = pawnsOnFile(own, file - 1), right = pawnsOnFile(own, file + 1);
  if (pawnsOnFile(own, file - 2) == 0 && left > 0) change += isolationCharge(board, side, file - 1, left);
  if (pawnsOnFile(own, file + 2) == 0 && right > 0) change += isolationCharge(board, side, file + 1, right);
  return change + openFileStep(board, side, file);
}

int32_t rookValue(PieceRecord* rook) {
  const int32_t value = rookValueAt(rook->board, rook);
  const int32_t change = value - rook->currentValue;
  rook->currentValue = value;
  return change;
}

int32_t rookFileDelta(ThreadBoard* board, int32_t file) {
  int32_t delta = 0;
  for (int32_t slot : InitialRookSlots) {
    PieceRecord* rook = &board->slots[slot];
    // A captured rook keeps its file in square + 8 but stands off the board.
    if (rook->colour == 0 || !isOnBoard(rook->square) || fileOf(rook->square) != file) continue;
    delta += rook->colour * rookValue(rook);
  }
  return delta;
}

}  // namespace engine
