// The pieces that the two evaluators share: the running context of one
// evaluator call, the access helpers for the piece-square blocks, the
// pawn-file analysis and the stage steps that both evaluators run.
//
// Everything here works on one thread's board record during one evaluator
// call; nothing keeps state between calls.
#pragma once
#include <array>
#include <cstdint>

#include "engine/board/board.h"
#include "engine/eval/eval_weights.h"

namespace engine {

// Bits of a side's `pawnMarks`.
constexpr uint8_t ReachMark = 0x1;
constexpr uint8_t ContactMark = 0x2;
constexpr uint8_t SupportMark = 0x4;
constexpr uint8_t PassedMark = 0x8;

// Path factors and open-file amounts of the pawn-file analysis.
constexpr int32_t MiddlegamePathFactor = 49;
constexpr int32_t MiddlegameOpenFileAmount = 4;
constexpr int32_t EndgamePathFactor = 53;
constexpr int32_t EndgameOpenFileAmount = 9;

// The inputs and running values of one evaluator call.
struct EvalContext {
  ThreadBoard* board;
  uint32_t* stateFlags;
  int32_t clock;  // half-move clock
  int32_t side;   // side to move
  // Material by side index (0 Black, 1 White).
  int32_t pawns[2], knights[2], bishops[2], rooks[2], queens[2], pieces[2];
  int32_t kn, bi, rk, queen;  // White's base values
  int32_t pieceBalance;       // M
  int32_t materialBalance;    // T
  int32_t score;              // S, White's point of view
  int32_t castleCentre;       // K
  int32_t castleAway;         // A
  bool heavy;                 // queens on the board and the sum at least heavyMaterialThreshold
};

// King centralisation values: rows 0..9 (below the first rank .. above the
// eighth), files a..h.
extern const int32_t kingCentreTable[10][8];

// The two king-zone maps of the search: every square to itself, and the
// castled homes folded onto b1/g1 (b8/g8).
extern const std::array<uint8_t, PieceSquareEntries> identityZoneMap;
extern const std::array<uint8_t, PieceSquareEntries> kingHomeZoneMap;

inline int32_t sideIndex(int32_t colour) { return colour > 0 ? 1 : 0; }

// A kind's piece-square entry of a colour at a square (Black's at square + 8).
inline int16_t& tableEntry(ThreadBoard* board, int32_t block, int32_t colour, int32_t square) {
  return board->evalBlock.pieceSquare[block][square + (colour < 0 ? BlackTableOffset : 0)];
}
// Adds to an entry with 16-bit wrap-around.
inline void addEntry(ThreadBoard* board, int32_t block, int32_t colour, int32_t square, int32_t amount) {
  int16_t& entry = tableEntry(board, block, colour, square);
  entry = int16_t(entry + amount);
}
inline uint16_t controlFlags(const ThreadBoard* board, int32_t square) {
  return board->evalBlock.controlFlagMap[square];
}
inline PawnFileRecord& pawnFile(ThreadBoard* board, int32_t colour, int32_t file) {
  return board->evalBlock.pawnFiles[sideIndex(colour)][file + 1];
}
inline uint8_t& pawnMark(ThreadBoard* board, int32_t colour, int32_t square) {
  return sideRecordOf(board, colour)->pawnMarks[square];
}
inline int32_t pawnCountOn(ThreadBoard* board, int32_t colour, int32_t file) {
  return pawnsOnFile(sideRecordOf(board, colour), file);
}
// Does a piece of this colour and code stand on the square?
inline bool pieceOn(const ThreadBoard* board, int32_t square, int32_t colour, int32_t code) {
  const PieceRecord* piece = squareAt(board, square);
  return piece->colour == colour && piece->kindCopy.code == code;
}
inline PieceKind& kindOf(ThreadBoard* board, int32_t index) { return board->kinds[index]; }
// The kind index of a code and colour.
inline int32_t kindIndexOf(int32_t code, int32_t colour) { return colour > 0 ? code : EmptyKind - (code - EmptyKind); }
// The block of a code.
inline int32_t blockOf(int32_t code) { return KingCode - code; }

// Walks one line from `square` (which receives nothing) by `step`; every
// square ahead gains, per colour, the line value of the square behind it
// plus the carry from farther back (damped by 0x08/0x10 squares, cut off
// by 0x20/0x40 squares) in the rook (directions 0-3) or bishop (4-7) table
// and in the queen table. Returns the first square beyond the board.
int32_t accumulateRay(ThreadBoard* board, int32_t square, int32_t step, int32_t direction);

// Fills the pawn-file records, `pawnMarks`, both sides' pawn terms,
// `pawnFileSpan` and the open-file bonus. Reads `openFileCount` and the
// passed-pawn rank table that stage 1 has set.
void analysePawnFiles(ThreadBoard* board, int32_t pathFactor, int32_t openFileAmount);

// Walks the rank from the corner toward the king square (excluded) and
// gives the square of the boxed-in rook, or the king square.
int32_t findBoxedRook(ThreadBoard* board, int32_t corner, int32_t kingSquare, int32_t colour);

// Stage-1 steps shared by both evaluators.
void countMaterial(EvalContext& ctx);
int32_t countOpenFiles(ThreadBoard* board);
void noteLoneBishops(EvalContext& ctx);
void computeBalances(EvalContext& ctx, int32_t pathFactor, int32_t openFileAmount);
// Draw rules 1 and 2: an advantage resting on at most one pawn.
void applySinglePawnRules(EvalContext& ctx);
// The mark condition of opposite-coloured lone bishops.
bool oppositeBishops(const EvalContext& ctx);
void applyWrongBishopRule(EvalContext& ctx);
void addBishopPair(EvalContext& ctx, int32_t bonus);
// The sixteen trapped-piece patterns, each costing `amount` at its square.
void applyTrappedPieces(ThreadBoard* board, int32_t amount);
// Scales S, the rook-file entries, the non-king base values and every
// piece-square entry by f/64.
void scaleEvaluation(EvalContext& ctx, int32_t factor);
// Stage 4: stores each piece's current value and adds it to S.
void sumPieces(EvalContext& ctx);
// The fifty-move factor in 64ths: the clock counts at most 100.
int32_t fiftyMoveFactor(int32_t clock, int32_t perHundred);
// Sets the board's fifty-move drift and StateDriftPending for the entry:
// `perPly` per ply of the half-move clock at a drift word of 100, when
// `applies`, the clock runs and pawns are left; otherwise no drift.
void setFiftyMoveDrift(EvalContext& ctx, bool applies, int32_t perPly);

// The evaluation with more material: stage 1, the drift it sets, and
// stages 3 and 4 (returns S).
void classifyMiddlegame(EvalContext& ctx);
void setMiddlegameDrift(EvalContext& ctx);
int32_t finishMiddlegame(EvalContext& ctx);
// The same for the evaluation with reduced material.
void classifyEndgame(EvalContext& ctx);
void setEndgameDrift(EvalContext& ctx);
int32_t finishEndgame(EvalContext& ctx);

// Stage 2 of the evaluation with more material after the influence passes.
void middlegameSquareTerms(EvalContext& ctx);
// Stage 2 of the evaluation with reduced material after the influence passes.
void endgameSquareTerms(EvalContext& ctx);

}  // namespace engine
