// Make and unmake.
#pragma once
#include "engine/board/board.h"

namespace engine {

// Plays `move` from `parent` into `child`, changing the board in place.
void makeMove(Position* parent, Move move, Position* child);
// Takes the child's move back.
void unmakeMove(Position* child);
// The child's key and lock from its parent's and the move just made; make
// leaves this to its caller.
void updateHashKey(Position* child);
// The null-move child: the same board with the sides exchanged.
void makeNullMove(Position* parent, Position* child);
// Clears each castling right whose rook no longer stands on its corner.
void fixCastlingRights(Position* pos);
// True when `colour` has too little material left to mate with.
bool cannotMate(const ThreadBoard* board, int32_t colour);
// After a move of the game itself: the mating-material marks as the
// material gives them. Inside a search the marks only grow (a line that
// reached the fifty-move clock stays drawn), but a game goes on after a
// pawn move or a capture, and carrying them on would judge every later
// position drawn.
void refreshMatingMarks(Position* pos);
// The state a child carries from its parent before anything is played on
// it: the sides exchanged, nothing searched, an empty move stack and the
// picker at its start (make and the null move both begin with it).
void carryParentState(Position* parent, Position* child);

}  // namespace engine
