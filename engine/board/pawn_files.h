// The pawn-file bookkeeping that make and unmake share.
//
// Each side's `SideRecord` counts its pawns per file. A change of a count
// changes two things that the incremental static value holds: the isolated-
// pawn charges of the file and its neighbours (weights of the evaluation
// block, by side and file), and, when a file opens or closes for both
// colours, the current values of the rooks standing on it (a rook on a file
// without pawns earns the open-file bonus). The routines run on the thread
// that owns the board.
#pragma once
#include <cstdint>

#include "engine/board/board.h"

namespace engine {

// One pawn of `side` leaves `file`: the count falls by one. Returns what the
// change is worth to `side` (isolation charges and rook values together).
int32_t removePawnFromFile(ThreadBoard* board, int32_t side, int32_t file);
// One pawn of `side` arrives on `file`; returns what it is worth to `side`.
int32_t addPawnToFile(ThreadBoard* board, int32_t side, int32_t file);
// Recomputes a rook's current value where it stands, stores it, and returns
// new minus old.
int32_t rookValue(PieceRecord* rook);
// Recomputes the rooks of the initial array (slots 2, 3, 29, 30) that stand
// on `file`; returns White's change minus Black's.
int32_t rookFileDelta(ThreadBoard* board, int32_t file);

// Whether neither colour has a pawn on the file.
inline bool fileWithoutPawns(ThreadBoard* board, int32_t file) {
  return pawnsOnFile(&board->white, file) == 0 && pawnsOnFile(&board->black, file) == 0;
}

}  // namespace engine
