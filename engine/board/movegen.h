// The move picker and the move generators.
//
// No full move list is built up front: each Position carries a move stack,
// a piece cursor and a picker stage, and `nextMove` hands out one move at a
// time: moves the caller pushed (last pushed first), then the tactical moves
// of all pieces sorted by victim minus attacker, then the quiet moves piece
// by piece in list order (the threatened piece first when a threat is
// known), or in history mode all quiet moves at once ordered by
// piece-square gain and the history table. Moves are pseudo-legal. The
// sorted tactical moves wait on the position's own move stack, best on top.
//
// Picker stages: 0 tactical moves not yet generated, 1 tactical moves being
// handed out, 3 quiet moves piece by piece, 4 done (2 is not used).
#pragma once
#include "engine/board/board.h"

namespace engine {

// Tactical moves of one position can never exceed this.
constexpr int32_t MaxTacticalMoves = 256;

// Score bonuses of the tactical order.
constexpr int32_t FirstReplyBonus = 1000;
constexpr int32_t RecaptureBonus = 500;

// Counters of quiet moves that failed high, by the mover's kind index and
// the 0x88 to-square; shared by all search threads.
constexpr int32_t HistorySquares = 120;
extern int32_t historyTable[KindCount][HistorySquares];

// The next move of the position, or noMove when none is left.
Move nextMove(Position* pos);
// Stages 0 and 1: on the first call generates, scores and sorts the tactical
// moves; each call returns the next one or noMove.
Move generateCaptures(Position* pos);
// Pushes the quiet moves of the piece at the cursor.
void generatePieceMoves(Position* pos);
// History mode: pushes every quiet move of the side to move, ordered.
void generateMoves(Position* pos);

// The tactical score of a move as the picker orders it (victim's current
// value - mover's code, promotion gain, first-reply and recapture bonuses).
int32_t tacticalScore(const Position* pos, Move move);
// The history-mode score of a quiet move.
int32_t historyScore(const Position* pos, Move move);

}  // namespace engine
