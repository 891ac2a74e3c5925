// The evaluation's data inside each board record, and the score offset that
// make and the search read.
//
// These records belong to the evaluation, but the board record embeds them
// and make keeps the incremental static value with them, so they stand
// below the board layer: the board includes nothing of the evaluation.
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
#include <atomic>
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

// Bits of `controlFlagMap`, one u16 per square.
constexpr uint16_t ControlWhitePawnAttack = 0x01;
constexpr uint16_t ControlBlackPawnAttack = 0x02;
constexpr uint16_t ControlCentre = 0x04;
constexpr uint16_t ControlDampWhite = 0x08;
constexpr uint16_t ControlDampBlack = 0x10;
constexpr uint16_t ControlWhitePawnFree = 0x20;  // White pawn here, no Black pawn attacks it
constexpr uint16_t ControlBlackPawnFree = 0x40;  // Black pawn here, no White pawn attacks it

// What the pawn-file analysis knows about one colour's pawns on one file.
// Ranks run 0..7 from White's side for both colours; a file without pawns
// of the colour reads lowest 7 and highest 0.
struct PawnFileRecord {
  int32_t lowestPawnRank;
  int32_t highestPawnRank;
  int32_t passedLimit;  // a pawn of the colour on this file at or past it is passed
};
// Records run over files -1..8: the outer two only take the neighbour
// updates of a- and h-file pawns.
constexpr int32_t PawnFileRecordCount = 10;
// The three `rookFileTables` entries of a colour and file.
constexpr int32_t RookFileEntries = 3;
// `kingShelterSquare` when a side has none.
constexpr int32_t NoShelterSquare = 12;

struct EvalBlock {
  int16_t pieceSquare[PieceSquareBlockCount][PieceSquareEntries];

  // Maps of the influence passes, by square (the line and knight maps hold
  // White's value at the square and Black's at square + 8).
  uint16_t controlFlagMap[PieceSquareEntries];
  int16_t lineInfluenceMap[PieceSquareEntries];
  int16_t knightInfluenceMap[PieceSquareEntries];

  // What a side's isolated pawn costs it on a file: alone on that file
  // (single) or one of several pawns there. Read by the pawn-file updates of
  // make and unmake.
  int16_t isolatedPawnSingle[2][FileCount];
  int16_t isolatedPawnSeveral[2][FileCount];

  // Added to a rook's value on a file without pawns of either colour.
  int32_t openFileBonus;

  // ---- Classification of the position by the evaluators (stage 1) ----
  // Pawn-file records by side (0 Black, 1 White) and file + 1.
  PawnFileRecord pawnFiles[2][PawnFileRecordCount];
  // Per colour and file: rise where the colour has rooks and no pawn; the
  // other colour's isolated pawns pay the second and third entries.
  int16_t rookFileTables[2][RookFileEntries][FileCount];
  int32_t pawnFileSpan;   // highest pawn file - lowest, -9 without pawns
  int32_t openFileCount;  // files without a pawn of either colour
  int32_t queensOnBoardMark;
  int32_t heavyMiddlegameMark;
  int32_t crowdedBoardMark;
  int32_t queenlessEndingMark;
  int32_t oppositeBishopsMark;
  int32_t drawMark;                 // 0, 1 (scale down) or 2 (scale down hard)
  int32_t kingShelterSquare[2];     // by side; NoShelterSquare when none
  int32_t loneBishopColour[2];      // square colour of a side's only bishop, else -1
  const int32_t* passedRankTable;   // passed-pawn values by rank from the pawn's side
  // The search compares a king move's from- and to-entries to see whether
  // the king changed its zone; null when zones do not matter.
  const uint8_t* kingZoneMap;
};

struct PieceRecord;

// The evaluation's per-board marks beside `fiftyMoveDrift`.
struct EvalScalars {
  // The piece that the entry's captured-piece correction leaves out of the
  // counts while the evaluator runs, else null: a lookup of a side's only
  // bishop passes over it when its kind count has just been lowered.
  const PieceRecord* leftOutPiece;
};

// openingOffset + 1: the offset every static value carries. Written by each
// evaluator call on every thread (always the same value within a search,
// so stored only when it changes): a relaxed atomic. Make, the null move
// and the exchange read it for the values they derive without evaluating.
extern std::atomic<int32_t> evalOffset;

}  // namespace engine
