// Make and unmake.
#pragma once
#include "engine/board/board.h"

namespace engine {

// Plays `move` from `parent` into `child`, changing the board in place.
void makeMove(Position* parent, Move move, Position* child);
// Takes the child's move back.
void unmakeMove(Position* child);
// The null-move child: the same board with the sides exchanged.
void makeNullMove(Position* parent, Position* child);
// Clears each castling right whose rook no longer stands on its corner.
void fixCastlingRights(Position* pos);

}  // namespace engine
