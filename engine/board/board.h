// The board record and the per-ply position record of the engine core.
//
// A `ThreadBoard` holds one thread's pieces: 33 piece slots linked into two
// piece lists, a square table in which an empty square points at the board
// record itself (its first member is an empty-square sentinel) and an
// off-board square at an edge record, 13 piece kinds, counters, the thread
// and split fields and the evaluation block. Make and unmake change it in
// place; one thread owns it (the split code gives a helper its own copy).
// Board records are large: keep them static or on the heap.
//
// A `Position` is one ply of a search (or the root, or the front end's game
// position): a move stack, the state carried from parent to child and the
// search fields of the node, and `board`, the pointer to its thread's board.
// Everything from `stateFlags` to the end is the position's state; the move
// stack before it is scratch.
//
// Piece slots (kind by slot; list order follows slot order):
//
//   Black  0 K | 1 Q | 2-3 R | 4-5 B | 6-7 N | 8-15 P      list: 15 down to 0
//   16     empty-kind template
//   White 17-24 P | 25-26 N | 27-28 B | 29-30 R | 31 Q | 32 K  list: 17 up to 32
//
// so the piece classes fall from the far end of each list (slot 0, slot 32)
// toward its head, which the threat-target walk relies on.
#pragma once
#include <array>
#include <cstdint>

#include "engine/board/check.h"
#include "engine/control/eval_block.h"
#include "engine/control/hash_key.h"
#include "engine/control/move.h"

namespace engine {

struct PieceRecord;
struct SideRecord;
struct ThreadBoard;
struct Position;

// Kind indices: also the history table's rows and the generators' switch.
enum KindIndex : int32_t {
  BlackKing = 0,
  BlackQueen = 1,
  BlackRook = 2,
  BlackBishop = 3,
  BlackKnight = 4,
  BlackPawn = 5,
  EmptyKind = 6,
  WhitePawn = 7,
  WhiteKnight = 8,
  WhiteBishop = 9,
  WhiteRook = 10,
  WhiteQueen = 11,
  WhiteKing = 12,
  KindCount = 13
};

// Piece codes (a kind's type, either colour).
enum PieceCode : int32_t {
  EmptyCode = 6,
  PawnCode = 7,
  KnightCode = 8,
  BishopCode = 9,
  RookCode = 10,
  QueenCode = 11,
  KingCode = 12
};

constexpr int32_t White = 1;
constexpr int32_t Black = -1;

// The kind a pawn of `colour` becomes when it moves with this to-byte onto
// the last rank: the queen for a plain to-byte, else the under-promotion's.
inline int32_t promotionKind(int32_t toByte, int32_t colour) {
  int32_t piece = promotionPiece(toByte);
  return colour > 0 ? WhiteQueen - piece : BlackQueen + piece;
}

// Side index of the per-side evaluation tables: Black 0, White 1.
inline int32_t colourIndex(int32_t colour) { return colour > 0 ? 1 : 0; }

// Piece slots.
constexpr int32_t SlotCount = 33;
constexpr int32_t BlackKingSlot = 0;
constexpr int32_t BlackLastPawnSlot = 15;
constexpr int32_t EmptyTemplateSlot = 16;
constexpr int32_t WhiteFirstPawnSlot = 17;
constexpr int32_t WhiteKingSlot = 32;
// The rooks of the initial array, visited by the open-file update.
constexpr int32_t InitialRookSlots[4] = {2, 3, 29, 30};

// The kind index that each slot holds when it is free.
constexpr std::array<int8_t, SlotCount> slotKindTable = {
    BlackKing,   BlackQueen,  BlackRook,   BlackRook,   BlackBishop, BlackBishop, BlackKnight,
    BlackKnight, BlackPawn,   BlackPawn,   BlackPawn,   BlackPawn,   BlackPawn,   BlackPawn,
    BlackPawn,   BlackPawn,   EmptyKind,   WhitePawn,   WhitePawn,   WhitePawn,   WhitePawn,
    WhitePawn,   WhitePawn,   WhitePawn,   WhitePawn,   WhiteKnight, WhiteKnight, WhiteBishop,
    WhiteBishop, WhiteRook,   WhiteRook,   WhiteQueen,  WhiteKing};

// Square table: squares -128..255.
constexpr int32_t SquareTableOffset = 128;
constexpr int32_t SquareTableSize = 384;

// Moves a position's stack holds: room for every pseudo-legal move of a
// position (history ordering pushes all quiet moves at once, and a set-up
// may hold nine queens).
constexpr int32_t MoveStackSize = 512;

// Pawn counts per file carry two zero guard entries on each side, so the
// files f-2..f+2 of any file f can be read.
constexpr int32_t PawnFileGuard = 2;
constexpr int32_t PawnFileEntries = 8 + 2 * PawnFileGuard;

// State flags of a position (carried from parent to child).
constexpr uint32_t StateWhiteKingSide = 0x2;
constexpr uint32_t StateBlackKingSide = 0x4;
constexpr uint32_t StateWhiteQueenSide = 0x8;
constexpr uint32_t StateBlackQueenSide = 0x10;
constexpr uint32_t StateCastlingMask = 0x1E;
constexpr uint32_t StateWhiteCannotWin = 0x20;
constexpr uint32_t StateBlackCannotWin = 0x40;
constexpr uint32_t StateDriftPending = 0x400;
constexpr uint32_t StateFinal = 0x800;
// State flags the searches set on copies and children; a side record's flag
// mask clears that side's quiesce flag in a child after the side's move.
constexpr uint32_t StateScratchSearch = 0x80;
constexpr uint32_t StateQuiesceAgain = 0x100;
constexpr uint32_t StateWhiteQuiesce = 0x1000;
constexpr uint32_t StateBlackQuiesce = 0x2000;

// Search flags of a position (cleared in each child): those that make sets
// and those that the move picker reads; the search's others are in
// engine/search/search.h.
constexpr uint32_t SearchSpecialMove = 0x1;
constexpr uint32_t SearchEnPassantValid = 0x4;
constexpr uint32_t SearchThreatKnown = 0x8;     // threat move and threatened piece valid
constexpr uint32_t SearchTacticalOnly = 0x40;   // the move into this node hangs material; the picker ends after the tactical moves
constexpr uint32_t SearchHistoryOrder = 0x800;  // move loop prepared; quiet moves all at once, by history
constexpr uint32_t SearchMaterialToZero = 0x1000;

// Picker stages.
constexpr int32_t StageTacticalFirst = 0;
constexpr int32_t StageTactical = 1;
constexpr int32_t StageQuiet = 3;
constexpr int32_t StageDone = 4;

// One record per piece kind; each board record holds its own 13 copies,
// linked in index order.
struct PieceKind {
  PieceKind* next;
  int32_t index;
  int32_t code;
  int32_t valueClass;  // as code, but a knight counts as a bishop (9)
  int32_t letter;
  int32_t colour;
  int32_t attackBit;
  int32_t value;
  int32_t endValue;
  const int32_t* firstDirection;  // inclusive range in directionTable
  const int32_t* lastDirection;
  int16_t* pieceSquareTable;
  HashKey* keyTable;
  int32_t count;
  int32_t baseValue;
};

// One record per piece slot (and the sentinels of the board record).
struct PieceRecord {
  PieceRecord* next;
  PieceRecord* prev;
  int32_t square;        // a captured piece keeps square + 8
  int32_t currentValue;  // piece-square entry + base value (+ open-file bonus for rooks)
  int32_t colour;
  PieceKind* kind;
  PieceKind kindCopy;  // refreshed whenever the kind changes
  ThreadBoard* board;
};

// One record per side. Its head is a piece record of the empty kind whose
// next link starts the side's list (the first piece's prev is the head).
struct SideRecord {
  PieceRecord head;
  SideRecord* otherSide;
  int32_t pawnCount[PawnFileEntries];  // by file + PawnFileGuard
  int16_t pawnTerms[128];              // board column: pawn leaves; spare column: pawn captured
  Move refutations[128];               // square: older refutation, square + 8: newer
  uint8_t pawnMarks[128];
  uint32_t flagMask;  // state flags a child keeps after a move by this side
  uint32_t drawMark;
};

struct ThreadBoard {
  PieceRecord empty;  // an empty square reads as this record (colour 0)
  PieceRecord slots[SlotCount];
  PieceRecord edge;  // every off-board square reads as this record
  PieceRecord* squareTable[SquareTableSize];
  SideRecord* sideByColour[3];         // by colour + 1
  PieceRecord* opponentLastSlot[3];    // by -colour + 1: slot 0, null, slot 32
  int32_t materialSum;                 // queens, rooks, bishops, knights of both sides
  int32_t pieceCount;
  SideRecord white;
  SideRecord black;
  PieceKind kinds[KindCount];
  // Written at every node by the board's own thread: on a cache line that
  // no other thread reads at every node. Read whole by other threads (also
  // in 32-bit builds).
  alignas(64) uint64_t nodeCount;
  int32_t fiftyMoveDrift;
  EvalScalars evalScalars;
  // Read by the threads that work for this board's split nodes at every
  // node they search (and the generation written by them): a line apart
  // from the words this board's thread writes all the time.
  alignas(64) int32_t threadId;  // 1 master, helper index + 2
  ThreadBoard* splitOwner;
  // The innermost of the nodes this board has handed moves of.
  Position* splitPoint;
  // On a helper's board, the owner's node whose move it searches (the one
  // whose bound changes make its work stale); null on the master's.
  Position* splitNode;
  // Split bookkeeping, both 1 at initialisation. The generation is read by
  // other threads: access it through std::atomic_ref with relaxed order.
  int32_t generation;
  int32_t splitFlag;
  alignas(64) EvalBlock evalBlock;
};

struct Position {
  Move moveStack[MoveStackSize];
  // Split bookkeeping while helpers work on the node's moves, not part of
  // the copied state. Under `searchLock`: the helpers out on the node,
  // whether the owner waits for them, and whether the owner stopped the
  // node (its own giver's node was cut). The generation is bumped whenever
  // the node's bounds change under its helpers (read by them without the
  // lock, through std::atomic_ref). The enclosing split is the board's
  // split point before this node became one, its split point again after.
  int32_t helpersOut;
  int32_t ownerWaiting;
  int32_t splitStopped;
  int32_t splitGeneration;
  Position* enclosingSplit;
  // ---- the position's state: copied from here to the end ----
  uint32_t stateFlags;
  uint32_t searchFlags;
  int32_t staticValue;
  int32_t moverPreviousValue;
  int32_t futilityBase;
  int32_t matedScore;
  PieceRecord* captured;         // the board record when nothing was captured
  PieceRecord* pieceCursor;      // the picker's place in the side's list
  PieceRecord* threatenedPiece;  // the board record when none
  uint32_t key;
  uint16_t lock;
  int32_t enPassantSquare;
  int32_t side;
  int32_t opponent;
  int32_t shuffleCount;
  int32_t halfMoveClock;
  Move threatMove;
  Move firstReply;
  Move lastMove;
  int32_t threatGrade;
  int32_t movesSearched;
  Move killers[2];  // the search move and search word: the children's killer pair
  Position* parent;
  SideRecord* sideRecord;
  int32_t pickerStage;
  Move* moveStackTop;
  ThreadBoard* board;
  // Search bookkeeping of the node.
  int32_t entryUpper;
  int32_t estimate;
  uint16_t boundType;
  int32_t bestSoFar;
  Move hashMove;
  // The exclusion list the node was searched with (null below the root):
  // a helper given one of its moves searches it against the same list.
  Move* excluded;
  uint8_t unansweredThreatFrom;
  uint8_t unansweredThreatTo;
  uint32_t inCheck;
};

// The master board record and the root position of the game on it.
extern ThreadBoard masterBoard;
extern Position rootPosition;
// A dummy position whose address means that a board owns no split node
// (the split point of a board record that has none).
extern Position noSplitPosition;

// The 13 static kind records (the key tables hang on these; initBoard copies
// them into each board record).
extern PieceKind pieceKindTable[KindCount];
// The piece-square table of the empty kind (all zero).
extern int16_t emptyPieceSquareTable[PieceSquareEntries];

// The board record viewed as the piece that stands on empty squares and ends
// the piece lists.
inline PieceRecord* boardPiece(ThreadBoard* board) { return &board->empty; }
inline const PieceRecord* boardPiece(const ThreadBoard* board) { return &board->empty; }

inline PieceRecord*& squareAt(ThreadBoard* board, int32_t square) {
  return board->squareTable[square + SquareTableOffset];
}
inline PieceRecord* squareAt(const ThreadBoard* board, int32_t square) {
  return board->squareTable[square + SquareTableOffset];
}
inline bool isEmptySquare(const ThreadBoard* board, int32_t square) {
  return squareAt(board, square) == boardPiece(board);
}

inline SideRecord* sideRecordOf(ThreadBoard* board, int32_t colour) { return board->sideByColour[colour + 1]; }
inline PieceRecord* firstPiece(SideRecord* side) { return side->head.next; }

// Pawn count of a side on a file (-2..9 allowed).
inline int32_t& pawnsOnFile(SideRecord* side, int32_t file) { return side->pawnCount[file + PawnFileGuard]; }

inline void refreshKindCopy(PieceRecord* piece) { piece->kindCopy = *piece->kind; }

// Move stack.
inline bool moveStackEmpty(const Position* pos) { return pos->moveStackTop == pos->moveStack; }
inline int32_t moveStackCount(const Position* pos) { return int32_t(pos->moveStackTop - pos->moveStack); }
inline void pushMove(Position* pos, Move move) {
  QL_CHECK(pos->moveStackTop < pos->moveStack + MoveStackSize);
  *pos->moveStackTop++ = move;
}
inline Move popMove(Position* pos) { return *--pos->moveStackTop; }

// Builds an empty board record in place.
void initBoard(ThreadBoard* board);
// Copies a board record to another address and rebuilds its internal
// pointers for the new address.
void copyBoard(ThreadBoard* dst, const ThreadBoard* src);
// search move := noMove, board := the board; nothing else.
Position* initPosition(Position* pos, ThreadBoard* board);
// Copies the state fields; the copy starts with an empty move stack.
Position* copyPosition(Position* dst, const Position* src);
// Copies src's board into dst's board and src's state into dst, with the
// pointers rebased onto dst's board.
void clonePosition(Position* dst, const Position* src);
// picker stage := 0, empty stack, cursor := the side to move's record.
void resetMoveStack(Position* pos);

// The piece of `dst` that corresponds to `piece` of `src` (same slot, same
// sentinel or same side head); null stays null.
PieceRecord* rebasePiece(const ThreadBoard* src, ThreadBoard* dst, const PieceRecord* piece);

}  // namespace engine
