// Building the root Position and its board record from the parsed set-up
// record.
//
// The text is built once on a scratch board and checked there; only a text
// that gives a sound position is then built on the caller's board, so a
// refused text leaves the previous position whole.
#include "engine/board/setup.h"

#include <initializer_list>

#include "engine/board/attacks.h"
#include "engine/board/game_history.h"
#include "engine/board/makemove.h"
#include "engine/control/control.h"

namespace engine {

namespace {

// Squares of the kings that castling rights need.
constexpr int32_t WhiteKingHome = 0x04;  // e1
constexpr int32_t BlackKingHome = 0x74;  // e8
constexpr int32_t NoValue = -9999;

// Set-up runs on one thread at a time per copy of the engine core (never
// while a search runs), so one scratch board serves every call.
ThreadBoard scratchBoard;
Position scratchRoot;

bool isFreeSlot(const PieceRecord* piece) { return piece->colour == 0; }

// Every slot free with its initial kind (a promoted piece of an
// earlier game gives its slot back as a pawn), an empty square table, the
// side records and kind counters reset.
void emptyBoard(ThreadBoard* board) {
  for (PieceKind& kind : board->kinds) {
    kind.count = 0;
    kind.baseValue = kind.value;
  }
  for (int32_t slot = 0; slot < SlotCount; ++slot) {
    PieceRecord* piece = &board->slots[slot];
    piece->next = boardPiece(board);
    piece->prev = boardPiece(board);
    piece->square = NoSquare;
    piece->currentValue = 0;
    piece->colour = 0;
    piece->kind = &board->kinds[slotKindTable[slot]];
    piece->board = board;
    refreshKindCopy(piece);
  }
  for (PieceRecord*& entry : board->squareTable) entry = &board->edge;
  for (int32_t square = 0; square < 128; ++square)
    if (isOnBoard(square)) squareAt(board, square) = boardPiece(board);
  squareAt(board, NoSquare) = boardPiece(board);

  const bool drawMarks = engineWord(ParamDrawMarks) != 0;
  for (SideRecord* side : {&board->white, &board->black}) {
    side->head.next = boardPiece(board);
    side->head.prev = boardPiece(board);
    for (int32_t& count : side->pawnCount) count = 0;
    for (int16_t& term : side->pawnTerms) term = 0;
    for (Move& move : side->refutations) move = noMove;
    for (uint8_t& mark : side->pawnMarks) mark = 0;
  }
  board->white.flagMask = ~StateWhiteQuiesce;
  board->black.flagMask = ~StateBlackQuiesce;
  board->white.drawMark = drawMarks ? StateWhiteCannotWin : 0;
  board->black.drawMark = drawMarks ? StateBlackCannotWin : 0;
  board->materialSum = 0;
  board->pieceCount = 0;
}

// The kind of `board` with this piece letter, or null (the empty kind's
// letter is no piece letter).
PieceKind* kindOfLetter(ThreadBoard* board, char letter) {
  for (PieceKind& kind : board->kinds)
    if (kind.index != EmptyKind && kind.letter == letter) return &kind;
  return nullptr;
}

// Puts a piece of this letter on a square: the first free slot of its kind,
// else (a promoted piece, never a king) the first free pawn slot of its
// colour, which takes the piece's kind. False when no slot is left.
bool placePiece(Position* root, ThreadBoard* board, PieceKind* kind, int32_t square) {
  PieceRecord* piece = nullptr;
  for (PieceRecord& slot : board->slots)
    if (isFreeSlot(&slot) && slot.kind == kind) {
      piece = &slot;
      break;
    }
  if (piece == nullptr && kind->code != KingCode) {
    PieceKind* pawnKind = &board->kinds[kind->colour > 0 ? WhitePawn : BlackPawn];
    for (PieceRecord& slot : board->slots)
      if (isFreeSlot(&slot) && slot.kind == pawnKind) {
        piece = &slot;
        break;
      }
    PieceKind* promoted = findPieceByLetter(board, char(kind->letter & ~0x20), kind->colour);
    if (piece != nullptr && promoted != nullptr) piece->kind = promoted;
  }
  if (piece == nullptr || piece->kind != kind) return false;

  refreshKindCopy(piece);
  piece->colour = kind->colour;
  piece->square = square;
  piece->currentValue = kind->pieceSquareTable[square] + kind->baseValue;
  squareAt(board, square) = piece;
  QL_CHECK(kind->keyTable != nullptr);
  root->key ^= kind->keyTable[square].key;
  root->lock ^= kind->keyTable[square].lock;
  return true;
}

// The board field from a8 along each rank down to h1. A rank that
// passes its eighth file is refused at once, so no square index ever leaves
// the board. False for any malformed field.
bool placePieces(Position* root, ThreadBoard* board, const char* field) {
  int32_t rank = 7;
  int32_t file = 0;
  for (const char* p = field; *p != '\0'; ++p) {
    const char c = *p;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') continue;
    if (c >= '1' && c <= '8') {
      file += c - '0';
      if (file > 8) return false;
    } else if (c == '/') {
      if (file != 8) return false;
      --rank;
      file = 0;
    } else {
      PieceKind* kind = kindOfLetter(board, c);
      if (kind == nullptr || file >= 8) return false;
      if (!placePiece(root, board, kind, makeSquare(file, rank))) return false;
      ++file;
    }
    // h1 filled: whatever follows is not part of the board.
    if (rank == 0 && file == 8) return true;
  }
  return false;
}

// A side's piece list: White's pieces from slot 17 upward, Black's from
// slot 15 downward; free slots point at the board record.
void linkPieceList(ThreadBoard* board, SideRecord* side, int32_t first, int32_t last, int32_t step) {
  PieceRecord* previous = &side->head;
  for (int32_t slot = first; slot != last + step; slot += step) {
    PieceRecord* piece = &board->slots[slot];
    if (isFreeSlot(piece)) continue;
    previous->next = piece;
    piece->prev = previous;
    previous = piece;
  }
  previous->next = boardPiece(board);
}

// Kind counts, piece count, pawns per file, material sum.
void recount(ThreadBoard* board) {
  for (PieceRecord& piece : board->slots) {
    if (isFreeSlot(&piece)) continue;
    ++piece.kind->count;
    ++board->pieceCount;
    const int32_t code = piece.kind->code;
    if (code == PawnCode) ++pawnsOnFile(sideRecordOf(board, piece.colour), fileOf(piece.square));
    if (code != PawnCode && code != KingCode) board->materialSum += piece.kind->value;
  }
}

// An en-passant square that a double step of the side not to move could
// have left: on the sixth rank seen from the side to move, empty, with that
// side's opponent pawn just in front of it.
bool enPassantFits(const ThreadBoard* board, int32_t side, int32_t square) {
  if (rankOf(square) != (side > 0 ? 5 : 2)) return false;
  if (!isEmptySquare(board, square)) return false;
  const PieceRecord* pawn = squareAt(board, square - 16 * side);
  return pawn->kind->index == (side > 0 ? BlackPawn : WhitePawn);
}

// Builds the position of a parsed record on one board: the root's state,
// the pieces and their lists, the counts and the mating-material marks.
// False when the board field is malformed or holds more pieces than the
// slots allow.
bool buildPosition(Position* root, ThreadBoard* board, const GameSetup* setup) {
  // Step 1. A fresh root.
  root->stateFlags = 0;
  root->searchFlags = 0;
  root->lastMove = makeMove16(moveFrom(root->lastMove), NoSquare);
  root->shuffleCount = 0;
  root->key = 0;
  root->lock = 0;
  root->parent = nullptr;
  root->board = board;

  // Step 2. The pieces of the board field on an emptied board; the key
  // takes in each piece's entry.
  emptyBoard(board);
  if (!placePieces(root, board, setup->text)) return false;

  // Step 3. Side, clock, castling rights with the kings at home, and an
  // en-passant square only where a double step can have left one.
  root->side = setup->side;
  root->opponent = -setup->side;
  if (root->side < 0) root->key ^= BlackToMove;
  root->halfMoveClock = setup->halfMoveClock;
  root->stateFlags |= uint32_t(setup->castling) & StateCastlingMask;
  if (squareAt(board, WhiteKingHome)->kind->index != WhiteKing)
    root->stateFlags &= ~(StateWhiteKingSide | StateWhiteQueenSide);
  if (squareAt(board, BlackKingHome)->kind->index != BlackKing)
    root->stateFlags &= ~(StateBlackKingSide | StateBlackQueenSide);
  root->enPassantSquare = NoSquare;
  if (setup->enPassantSquare != NoSquare && enPassantFits(board, root->side, setup->enPassantSquare)) {
    root->enPassantSquare = setup->enPassantSquare;
    root->searchFlags |= SearchEnPassantValid;
  }
  root->sideRecord = sideRecordOf(board, root->side);

  // Step 4. The piece lists, in slot order.
  linkPieceList(board, &board->white, WhiteFirstPawnSlot, WhiteKingSlot, +1);
  linkPieceList(board, &board->black, BlackLastPawnSlot, BlackKingSlot, -1);

  // Step 5. Root bookkeeping and the board's counts.
  root->pickerStage = StageTacticalFirst;
  root->moveStackTop = root->moveStack;
  root->futilityBase = NoValue;
  root->pieceCursor = &root->sideRecord->head;
  root->captured = boardPiece(board);
  root->threatenedPiece = boardPiece(board);
  root->killers[0] = noMove;

  recount(board);

  // Step 6. Mating-material marks.
  root->stateFlags &= ~(StateWhiteCannotWin | StateBlackCannotWin);
  if (cannotMate(board, White)) root->stateFlags |= StateWhiteCannotWin;
  if (cannotMate(board, Black)) root->stateFlags |= StateBlackCannotWin;
  return true;
}

// A position the search can work with: one king per side, no pawn on the
// first or last rank, and the side not to move not in check (the search
// would otherwise capture a king and report an illegal move).
bool isPlayable(const Position* root) {
  ThreadBoard* board = root->board;
  if (board->kinds[WhiteKing].count != 1 || board->kinds[BlackKing].count != 1) return false;
  for (const PieceRecord& piece : board->slots) {
    if (isFreeSlot(&piece) || piece.kind->code != PawnCode) continue;
    if (rankOf(piece.square) == 0 || rankOf(piece.square) == 7) return false;
  }
  const PieceRecord& otherKing = board->slots[root->side > 0 ? BlackKingSlot : WhiteKingSlot];
  return findAttacker(otherKing.square, root->sideRecord) == NoSquare;
}

}  // namespace

int32_t moveNumber = StartMoveNumber;

PieceKind* findPieceByLetter(ThreadBoard* board, char letter, int32_t colour) {
  for (PieceKind* kind = &board->kinds[0]; kind != nullptr; kind = kind->next) {
    if (kind->colour != colour || (kind->letter & ~0x20) != letter) continue;
    if (kind->code > PawnCode && kind->code != KingCode) return kind;
  }
  return nullptr;
}

int32_t setupPosition(Position* root, GameSetup* setup) {
  // The whole text is tried on the scratch board first.
  initBoard(&scratchBoard);
  initPosition(&scratchRoot, &scratchBoard);
  if (!buildPosition(&scratchRoot, &scratchBoard, setup) || !isPlayable(&scratchRoot)) return -1;

  // Built on the caller's board, it cannot fail now.
  const bool built = buildPosition(root, root->board, setup);
  QL_CHECK(built);
  moveNumber = setup->moveNumber;

  // The history restarts with the set-up position.
  HashKey key = {root->key, root->lock, 0};
  addHistoryKey(&key, root->halfMoveClock);

  // The game list starts empty after a parse.
  if (setup->played < 0) setup->played = 0;
  if (setup->played > setup->count) setup->played = setup->count;

  // The engine plays the side that is not to move.
  engineSide = root->opponent;
  return 0;
}

}  // namespace engine
