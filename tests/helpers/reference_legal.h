// Legal moves of the plain 8x8 reference: its pseudo-legal moves that do
// not leave the mover's own king attacked. An outside check on moves the
// engine reports.
#pragma once
#include <string>
#include <vector>

#include "engine/control/move.h"
#include "helpers/reference_moves.h"

namespace reference {

// The grid of a FEN text's board, side, castling and en-passant fields.
Grid gridFromFullFen(const std::string& fen);
// The grid after a move (castling moves the rook, en passant removes the
// captured pawn, promotions use the encoded piece).
Grid playOnGrid(const Grid& grid, engine::Move move);
std::vector<engine::Move> legalMoves(const Grid& grid);
bool isLegal(const Grid& grid, engine::Move move);
// Side to move is checkmated.
bool isCheckmate(const Grid& grid);

}  // namespace reference
