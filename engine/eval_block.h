// The evaluation's data inside each board record.
//
// `EvalBlock` is the last part of a `ThreadBoard`: it opens with the six
// piece-square blocks (king, queen, rook, bishop, knight, pawn), each a
// 128-entry table by 0x88 square in which White's entries stand in the
// board columns (square) and Black's in the spare columns (square + 8); the
// board's `PieceKind` records point into them. The evaluators zero and refill
// the whole block on every call on their own thread's board; make and unmake
// read the piece-square entries, the isolated-pawn weights and the open-file
// bonus on the same thread. `EvalScalars` holds the evaluation's per-board
// marks that stand beside `fiftyMoveDrift` in the board record.
#pragma once
#include <cstdint>

namespace engine {

// Piece-square blocks in their order in the block.
enum PieceSquareBlock : int32_t {
  KingBlock = 0,
  QueenBlock = 1,
  RookBlock = 2,
  BishopBlock = 3,
  KnightBlock = 4,
  PawnBlock = 5,
  PieceSquareBlockCount = 6
};
constexpr int32_t PieceSquareEntries = 128;
// Black's entries of a block sit this many entries after White's.
constexpr int32_t BlackTableOffset = 8;

// Isolated-pawn weights and files: indexed [side][file], side 0 Black,
// 1 White (see `colourIndex` in board.h).
constexpr int32_t FileCount = 8;

struct EvalBlock {
  int16_t pieceSquare[PieceSquareBlockCount][PieceSquareEntries];

  // What a side's isolated pawn costs it on a file: alone on that file
  // (single) or one of several pawns there. Read by the pawn-file updates of
  // make and unmake.
  int16_t isolatedPawnSingle[2][FileCount];
  int16_t isolatedPawnSeveral[2][FileCount];

  // Added to a rook's value on a file without pawns of either colour.
  int32_t openFileBonus;
};

// The evaluation's per-board marks beside `fiftyMoveDrift`.
struct EvalScalars {
  int32_t reserved;
};

// A global evaluation setting that each board record copies when it is
// initialised.
extern uint32_t evaluationSetting;

}  // namespace engine
