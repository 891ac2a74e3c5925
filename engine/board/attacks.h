// Attack tests on the piece lists and the difference tables: whether a side
// attacks a square, which of its pieces does first, and what a piece
// threatens. They read one thread's board record and change nothing.
#pragma once
#include <cstdint>

#include "engine/board/board.h"

namespace engine {

// Does a piece of the side not to move attack the square?
bool isAttacked(const Position* pos, int32_t square);

// The square of the first piece of `attackers` (in list order) that attacks
// the square, or 12 when none does.
int32_t findAttacker(int32_t square, const SideRecord* attackers);

// Class bounds of the threat-target walk: any piece above a pawn's class, a
// rook or better, and the king alone (a check).
constexpr int32_t ThreatClassMinor = 6;
constexpr int32_t ThreatClassRook = 7;
constexpr int32_t ThreatClassKing = 11;

// The square of the target that the piece standing on `square` threatens,
// or 12. Targets are opponent pieces of a class above `classBound` that are
// worth more than the piece or are undefended; a pawn threatens a knight or
// better (only the king with `ThreatClassKing`) diagonally, or its promotion square.
int32_t threatTarget(int32_t square, const PieceRecord* piece, int32_t classBound);

// Does `piece`, standing on `from`, reach `target` in one move of its kind
// with the path clear? (Pawns by their capture steps.)
bool pieceAttacks(const ThreadBoard* board, const PieceRecord* piece, int32_t from, int32_t target);

}  // namespace engine
