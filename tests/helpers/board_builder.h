// Builds board records and positions for tests by placing pieces straight
// into their slots from the board field of a FEN text (no set-up code
// involved), so board and move-generation tests need nothing but the board
// record itself.
#pragma once
#include <cstdint>
#include <string>

#include "engine/board/board.h"

namespace testing_board {

// Fills `board` and `pos` (pos->board := board) from a FEN board field, the
// side to move (+1 / -1), castling state flags and an en-passant square
// (12 for none). Pieces take the first free slot of their kind, then a free
// pawn slot of their colour. Throws std::invalid_argument on bad input,
// which fails the running test.
void buildTestPosition(engine::Position* pos, engine::ThreadBoard* board, const std::string& boardField,
                       int32_t side, uint32_t castling = 0, int32_t enPassant = engine::NoSquare);

// Parses a square name such as "e4".
int32_t squareOf(const char* name);
// Names a move in coordinate form ("e7e8", "e7e8n"), or "none".
std::string moveText(engine::Move move);
}  // namespace testing_board
