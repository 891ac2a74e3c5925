// Legality of a move: does it leave the mover's king attacked? Moves are
// generated pseudo-legal; the search tests this only where it must (the
// root's announced moves, nodes at depth), and the front end and the root's
// fallback for the moves they play. The tests read one thread's board
// record and leave it as they found it.
#pragma once
#include "engine/board/board.h"

namespace engine {

// Has the side that just moved into `child` left its king attacked? A side
// whose king is off the board has none to leave attacked.
bool moverKingAttacked(const Position* child);

// Is `move` legal in `position`? Played and taken back on its own board.
bool isLegalMove(Position* position, Move move);

// The first legal move of the position in the picker's order, or noMove
// when it has none.
Move firstLegalMove(const Position* position);

}  // namespace engine
