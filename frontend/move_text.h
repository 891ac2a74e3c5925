// Matching the controller's move texts against the moves of a position.
// Accepted forms: coordinate texts (e2e4, e7e8q, e7e8n), long algebraic
// (Ng1-f3, e4xd5) and short algebraic (Nf3, exd5, Nbd2, R1e1), castling as
// O-O / O-O-O (or with zeros), each with an optional check or mate sign.
// Piece letters are upper case; a promotion letter may be either case.
#pragma once
#include <cstdint>

#include "engine/board/board.h"
#include "engine/control/move.h"

namespace frontend {

// Move texts longer than this match nothing.
constexpr int32_t MaxMoveTextLength = 19;

// Does the text denote the move on this board? A text that names neither a
// piece letter nor the full from-square denotes a pawn move (so "f3" is
// never the knight's Ng1-f3).
bool parseMoveText(const engine::ThreadBoard* board, engine::Move move, const char* text);

// A move the caller accepts (legal in the position), or null for every move.
using MoveFilter = bool (*)(engine::Position* position, engine::Move move);

// The first move of the position, in the move picker's order, that the
// text denotes and the filter accepts; noMove when none. The position's
// own picker state is left as it was (a copy is walked).
engine::Move findMoveByText(const engine::Position* position, const char* text, MoveFilter accept);

}  // namespace frontend
