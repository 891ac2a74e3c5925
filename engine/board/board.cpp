// Board record and position record: the static piece kinds, building an
// empty board record, copying a board record to another address, and the
// position helpers.
#include "engine/board/board.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

#include "engine/board/geometry.h"

namespace engine {

int16_t emptyPieceSquareTable[PieceSquareEntries] = {};

ThreadBoard masterBoard;
Position rootPosition;
Position noSplitPosition{};

namespace {

// Direction ranges of the kinds in directionTable.
constexpr int32_t KingQueenFirst = 0, KingQueenLast = 7;
constexpr int32_t RookFirst = 0, RookLast = 3;
constexpr int32_t BishopFirst = 4, BishopLast = 7;
constexpr int32_t KnightFirst = 8, KnightLast = 15;

constexpr PieceKind kindRecord(int32_t index, int32_t code, int32_t valueClass, char letter, int32_t colour,
                               int32_t attackBit, int32_t value, int32_t endValue, int32_t firstDirection,
                               int32_t lastDirection, PieceKind* next) {
  PieceKind kind{};
  kind.next = next;
  kind.index = index;
  kind.code = code;
  kind.valueClass = valueClass;
  kind.letter = letter;
  kind.colour = colour;
  kind.attackBit = attackBit;
  kind.value = value;
  kind.endValue = endValue;
  kind.firstDirection = firstDirection < 0 ? nullptr : &directionTable[firstDirection];
  kind.lastDirection = lastDirection < 0 ? nullptr : &directionTable[lastDirection];
  kind.pieceSquareTable = index == EmptyKind ? emptyPieceSquareTable : nullptr;
  kind.baseValue = value;
  return kind;
}

// The piece-square table a kind reads in a board record: White's kinds use
// the board columns of their type's block, Black's the spare columns.
int16_t* pieceSquareTableOf(ThreadBoard* board, int32_t kindIndex) {
  if (kindIndex == EmptyKind) return emptyPieceSquareTable;
  if (kindIndex < EmptyKind) return &board->evalBlock.pieceSquare[kindIndex][BlackTableOffset];
  return &board->evalBlock.pieceSquare[WhiteKing - kindIndex][0];
}

// Links the board's kinds in index order and points them at its tables.
void linkKinds(ThreadBoard* board) {
  for (int32_t i = 0; i < KindCount; ++i) {
    board->kinds[i].next = i + 1 < KindCount ? &board->kinds[i + 1] : nullptr;
    board->kinds[i].pieceSquareTable = pieceSquareTableOf(board, i);
  }
}

// A record of the empty kind on square 12 (sentinel, edge, side head).
void makeEmptyRecord(ThreadBoard* board, PieceRecord* record) {
  record->next = boardPiece(board);
  record->prev = boardPiece(board);
  record->square = NoSquare;
  record->currentValue = 0;
  record->colour = 0;
  record->kind = &board->kinds[EmptyKind];
  refreshKindCopy(record);
  record->board = board;
}

// The colour tables of side records and the opponents' far-end slots.
void linkSideTables(ThreadBoard* board) {
  board->sideByColour[0] = &board->black;
  board->sideByColour[1] = nullptr;
  board->sideByColour[2] = &board->white;
  board->opponentLastSlot[0] = &board->slots[BlackKingSlot];
  board->opponentLastSlot[1] = nullptr;
  board->opponentLastSlot[2] = &board->slots[WhiteKingSlot];
  board->white.otherSide = &board->black;
  board->black.otherSide = &board->white;
}

// Every entry to the edge record, board squares and square 12 to empty.
void clearSquareTable(ThreadBoard* board) {
  for (PieceRecord*& entry : board->squareTable) entry = &board->edge;
  for (int32_t square = 0; square < 128; ++square)
    if (isOnBoard(square)) squareAt(board, square) = boardPiece(board);
  squareAt(board, NoSquare) = boardPiece(board);
}

bool standsOnBoard(const PieceRecord* piece) { return piece->colour != 0 && isOnBoard(piece->square); }

// Links the pieces on the board from `first` toward `last` (step +1 or -1)
// into the side's list; every other slot links to the board record.
void linkPieceList(ThreadBoard* board, SideRecord* side, int32_t first, int32_t last, int32_t step) {
  PieceRecord* previous = &side->head;
  for (int32_t slot = first; slot != last + step; slot += step) {
    PieceRecord* piece = &board->slots[slot];
    if (!standsOnBoard(piece)) {
      piece->next = boardPiece(board);
      piece->prev = boardPiece(board);
      continue;
    }
    previous->next = piece;
    piece->prev = previous;
    previous = piece;
  }
  previous->next = boardPiece(board);
}

}  // namespace

// Columns: index, code, class, letter, colour, attack bit, value, end value,
// direction range, next kind.
constinit PieceKind pieceKindTable[KindCount] = {
    kindRecord(BlackKing, KingCode, KingCode, 'k', Black, 0x01, 14000, 14000, KingQueenFirst, KingQueenLast,
               &pieceKindTable[BlackKing + 1]),
    kindRecord(BlackQueen, QueenCode, QueenCode, 'q', Black, 0x02, 720, 992, KingQueenFirst, KingQueenLast,
               &pieceKindTable[BlackQueen + 1]),
    kindRecord(BlackRook, RookCode, RookCode, 'r', Black, 0x04, 350, 511, RookFirst, RookLast,
               &pieceKindTable[BlackRook + 1]),
    kindRecord(BlackBishop, BishopCode, BishopCode, 'b', Black, 0x08, 247, 319, BishopFirst, BishopLast,
               &pieceKindTable[BlackBishop + 1]),
    kindRecord(BlackKnight, KnightCode, BishopCode, 'n', Black, 0x10, 225, 308, KnightFirst, KnightLast,
               &pieceKindTable[BlackKnight + 1]),
    kindRecord(BlackPawn, PawnCode, PawnCode, 'p', Black, 0x40, 52, 84, -1, -1,
               &pieceKindTable[BlackPawn + 1]),
    kindRecord(EmptyKind, EmptyCode, EmptyCode, 'E', 0, 0, 0, 0, -1, -1,
               &pieceKindTable[EmptyKind + 1]),
    kindRecord(WhitePawn, PawnCode, PawnCode, 'P', White, 0x20, 52, 84, -1, -1,
               &pieceKindTable[WhitePawn + 1]),
    kindRecord(WhiteKnight, KnightCode, BishopCode, 'N', White, 0x10, 225, 308, KnightFirst, KnightLast,
               &pieceKindTable[WhiteKnight + 1]),
    kindRecord(WhiteBishop, BishopCode, BishopCode, 'B', White, 0x08, 247, 319, BishopFirst, BishopLast,
               &pieceKindTable[WhiteBishop + 1]),
    kindRecord(WhiteRook, RookCode, RookCode, 'R', White, 0x04, 350, 511, RookFirst, RookLast,
               &pieceKindTable[WhiteRook + 1]),
    kindRecord(WhiteQueen, QueenCode, QueenCode, 'Q', White, 0x02, 720, 992, KingQueenFirst, KingQueenLast,
               &pieceKindTable[WhiteQueen + 1]),
    kindRecord(WhiteKing, KingCode, KingCode, 'K', White, 0x01, 14000, 14000, KingQueenFirst, KingQueenLast,
               nullptr),
};

void initBoard(ThreadBoard* board) {
  std::memset(static_cast<void*>(board), 0, sizeof(ThreadBoard));

  // Own copies of the kinds, linked and pointed at this board's
  // piece-square blocks; the static links are replaced by this board's.
  for (int32_t i = 0; i < KindCount; ++i) board->kinds[i] = pieceKindTable[i];
  linkKinds(board);

  // Sentinels, free slots (each with its slot's kind) and the
  // square table of an empty board.
  makeEmptyRecord(board, &board->empty);
  makeEmptyRecord(board, &board->edge);
  for (int32_t slot = 0; slot < SlotCount; ++slot) {
    PieceRecord* piece = &board->slots[slot];
    makeEmptyRecord(board, piece);
    piece->kind = &board->kinds[slotKindTable[slot]];
    refreshKindCopy(piece);
  }
  clearSquareTable(board);

  // Side records with empty lists.
  linkSideTables(board);
  for (SideRecord* side : {&board->white, &board->black}) {
    makeEmptyRecord(board, &side->head);
    for (Move& move : side->refutations) move = noMove;
  }
  board->white.flagMask = ~StateWhiteQuiesce;
  board->black.flagMask = ~StateBlackQuiesce;

  // Counters, thread and split fields.
  board->nodeCount = 0;
  board->threadId = 1;
  board->splitOwner = board;
  board->splitPoint = &noSplitPosition;
  board->splitNode = nullptr;
  board->generation = 1;
  board->splitFlag = 1;
}

void copyBoard(ThreadBoard* dst, const ThreadBoard* src) {
  if (dst == src) return;
  // Take every field as it stands; the pointers that point into the
  // source record are rebuilt below.
  std::memcpy(static_cast<void*>(dst), static_cast<const void*>(src), sizeof(ThreadBoard));

  // Kind chain, piece-square pointers and side tables.
  linkKinds(dst);
  linkSideTables(dst);
  for (SideRecord* side : {&dst->white, &dst->black}) {
    side->head.kind = &dst->kinds[EmptyKind];
    side->head.board = dst;
  }

  // Sentinel and edge from the empty-kind template slot.
  for (PieceRecord* record : {&dst->empty, &dst->edge}) {
    *record = dst->slots[EmptyTemplateSlot];
    makeEmptyRecord(dst, record);
  }

  // Each slot's kind, kind copy and board; then the square table.
  for (PieceRecord& piece : dst->slots) {
    piece.kind = &dst->kinds[piece.kind->index];
    refreshKindCopy(&piece);
    piece.board = dst;
  }
  clearSquareTable(dst);
  for (PieceRecord& piece : dst->slots)
    if (standsOnBoard(&piece)) squareAt(dst, piece.square) = &piece;

  // The two lists in slot order, captured pieces left out.
  linkPieceList(dst, &dst->white, WhiteFirstPawnSlot, WhiteKingSlot, +1);
  linkPieceList(dst, &dst->black, BlackLastPawnSlot, BlackKingSlot, -1);
  dst->slots[EmptyTemplateSlot].next = boardPiece(dst);
  dst->slots[EmptyTemplateSlot].prev = boardPiece(dst);
  dst->nodeCount = 0;
}

PieceRecord* rebasePiece(const ThreadBoard* src, ThreadBoard* dst, const PieceRecord* piece) {
  if (piece == nullptr) return nullptr;
  if (piece == &src->empty) return &dst->empty;
  if (piece == &src->edge) return &dst->edge;
  if (piece == &src->white.head) return &dst->white.head;
  if (piece == &src->black.head) return &dst->black.head;
  for (int32_t slot = 0; slot < SlotCount; ++slot)
    if (piece == &src->slots[slot]) return &dst->slots[slot];
  QL_CHECK(!"piece pointer outside its board record");
  return nullptr;
}

Position* initPosition(Position* pos, ThreadBoard* board) {
  pos->killers[0] = noMove;
  pos->board = board;
  return pos;
}

Position* copyPosition(Position* dst, const Position* src) {
  constexpr size_t stateStart = offsetof(Position, stateFlags);
  if (dst != src)
    std::memcpy(reinterpret_cast<char*>(dst) + stateStart, reinterpret_cast<const char*>(src) + stateStart,
                sizeof(Position) - stateStart);
  dst->moveStackTop = dst->moveStack;
  return dst;
}

void clonePosition(Position* dst, const Position* src) {
  ThreadBoard* board = dst->board;
  const ThreadBoard* srcBoard = src->board;
  copyBoard(board, srcBoard);
  copyPosition(dst, src);
  dst->board = board;
  dst->sideRecord = sideRecordOf(board, dst->side);
  dst->captured = rebasePiece(srcBoard, board, src->captured);
  dst->threatenedPiece = rebasePiece(srcBoard, board, src->threatenedPiece);
  dst->pieceCursor = rebasePiece(srcBoard, board, src->pieceCursor);
}

void resetMoveStack(Position* pos) {
  pos->pickerStage = StageTacticalFirst;
  pos->moveStackTop = pos->moveStack;
  pos->pieceCursor = &pos->sideRecord->head;
}

}  // namespace engine
