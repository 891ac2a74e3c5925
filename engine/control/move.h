// Squares and moves of the engine core.
//
// Squares use 0x88 numbering: square = rank * 16 + file. A square is on the
// board when (square & 0x88) == 0. The spare columns 8..15 of each rank
// (square + 8) never hold a piece; several per-square tables keep the other
// colour's entries there. Square 12 is off the board and means "no square"
// wherever a routine returns or stores one.
//
// A Move is 16 bits with no flag bits:
//
//   15            8 7             0
//  +---------------+---------------+
//  |   to-byte     |   from-byte   |
//  +---------------+---------------+
//
// Castling is a king move by two files, en passant a pawn move onto the
// en-passant square, a plain pawn move to the last rank promotes to a queen.
// An under-promotion moves the to-byte off the board:
//
//   White (to on rank 8, 0x70..0x77): rook +0x10, bishop +0x20, knight +0x30
//   Black (to on rank 1, 0x00..0x07): rook -0x10, bishop -0x20, knight -0x30
//
// so the to-byte has bit 7 set exactly for an under-promotion: below 0xC0 it
// is a White one (0x80..0xA7), from 0xC0 a Black one (0xD0..0xF7).
#pragma once
#include <cstdint>

namespace engine {

using Move = uint16_t;

// The square that stands for "none", and the move that stands for "no move"
// (it ends move lists and principal variations).
constexpr int32_t NoSquare = 12;
constexpr Move noMove = 0x0C0C;

// One rank up in 0x88 numbering, and the distance from a square to its
// entry in the spare columns.
constexpr int32_t RankStep = 16;
constexpr int32_t SpareColumn = 8;

// Under-promotion pieces, in the order the generator emits them.
enum PromotionPiece : int32_t { PromoteQueen = 0, PromoteRook = 1, PromoteBishop = 2, PromoteKnight = 3 };

inline bool isOnBoard(int32_t square) { return (square & 0x88) == 0; }
inline int32_t fileOf(int32_t square) { return square & 7; }
inline int32_t rankOf(int32_t square) { return square >> 4; }
inline int32_t makeSquare(int32_t file, int32_t rank) { return rank * RankStep + file; }

// The corners, where the castling rooks start.
constexpr int32_t SquareA1 = 0x00;
constexpr int32_t SquareH1 = 0x07;
constexpr int32_t SquareA8 = 0x70;
constexpr int32_t SquareH8 = 0x77;
// The first and last ranks, where pawns promote.
constexpr int32_t Rank1 = 0;
constexpr int32_t Rank8 = 7;
// Castling moves the king this many files.
constexpr int32_t CastlingKingStep = 2;

inline Move makeMove16(int32_t from, int32_t toByte) { return Move((from & 0xFF) | ((toByte & 0xFF) << 8)); }
inline int32_t moveFrom(Move m) { return m & 0xFF; }
inline int32_t moveToByte(Move m) { return m >> 8; }

// The real to-square of a to-byte (decodes an under-promotion).
inline int32_t decodeToSquare(int32_t toByte) {
  if ((toByte & 0x80) == 0) return toByte;
  return toByte < 0xC0 ? (toByte & 0x0F) + 0x70 : (toByte & 0x0F);
}
inline int32_t moveTo(Move m) { return decodeToSquare(moveToByte(m)); }

// Which piece a to-byte promotes to, when the move is a promotion at all:
// PromoteQueen for a plain to-byte, else the under-promotion piece.
inline int32_t promotionPiece(int32_t toByte) {
  if ((toByte & 0x80) == 0) return PromoteQueen;
  return toByte < 0xC0 ? ((toByte & 0xF0) - 0x70) >> 4 : (0x100 - (toByte & 0xF0)) >> 4;
}

// The to-byte of an under-promotion to `piece` (PromoteRook..PromoteKnight)
// onto `to` by a pawn of `colour` (+1 White, -1 Black).
inline int32_t underPromotionByte(int32_t to, int32_t piece, int32_t colour) {
  return (to + colour * 16 * piece) & 0xFF;
}

}  // namespace engine
