#include "helpers/board_builder.h"

#include <cctype>
#include <stdexcept>

using namespace engine;

namespace testing_board {

namespace {

int32_t kindOfLetter(char letter) {
  for (int32_t i = 0; i < KindCount; ++i)
    if (i != EmptyKind && pieceKindTable[i].letter == letter) return i;
  return -1;
}

// First free slot of the kind, else a free pawn slot of its colour.
PieceRecord* takeSlot(ThreadBoard* board, int32_t kindIndex) {
  for (int32_t slot = 0; slot < SlotCount; ++slot)
    if (slotKindTable[slot] == kindIndex && board->slots[slot].colour == 0) return &board->slots[slot];
  int32_t pawn = pieceKindTable[kindIndex].colour > 0 ? WhitePawn : BlackPawn;
  if (kindIndex == BlackKing || kindIndex == WhiteKing) return nullptr;
  for (int32_t slot = 0; slot < SlotCount; ++slot)
    if (slotKindTable[slot] == pawn && board->slots[slot].colour == 0) return &board->slots[slot];
  return nullptr;
}

// Bad input is a fault of the test that gave it: the exception fails the
// running test (GoogleTest reports it) or ends a program.
void require(bool holds, const std::string& boardField, const char* what) {
  if (!holds) throw std::invalid_argument("board field \"" + boardField + "\": " + what);
}

void linkList(ThreadBoard* board, SideRecord* side, int32_t first, int32_t last, int32_t step) {
  PieceRecord* previous = &side->head;
  for (int32_t slot = first; slot != last + step; slot += step) {
    PieceRecord* piece = &board->slots[slot];
    if (piece->colour == 0) continue;
    previous->next = piece;
    piece->prev = previous;
    previous = piece;
  }
  previous->next = boardPiece(board);
}

}  // namespace

int32_t squareOf(const char* name) { return (name[1] - '1') * 16 + (name[0] - 'a'); }

std::string moveText(Move move) {
  if (moveFrom(move) == NoSquare) return "none";
  int32_t from = moveFrom(move), toByte = moveToByte(move), to = decodeToSquare(toByte);
  std::string text;
  text += char('a' + fileOf(from));
  text += char('1' + rankOf(from));
  text += char('a' + fileOf(to));
  text += char('1' + rankOf(to));
  if (toByte & 0x80) text += "?rbn"[promotionPiece(toByte)];
  return text;
}

void buildTestPosition(Position* pos, ThreadBoard* board, const std::string& boardField, int32_t side,
                       uint32_t castling, int32_t enPassant) {
  initBoard(board);
  initPosition(pos, board);
  int32_t rank = 7, file = 0;
  for (char c : boardField) {
    if (c == '/') {
      require(file == 8, boardField, "a rank without eight files");
      --rank;
      file = 0;
    } else if (c >= '1' && c <= '8') {
      file += c - '0';
    } else {
      int32_t kind = kindOfLetter(c);
      require(kind >= 0, boardField, "a letter that names no piece");
      require(file < 8, boardField, "a rank of more than eight files");
      PieceRecord* piece = takeSlot(board, kind);
      require(piece != nullptr, boardField, "more pieces of a kind than the board has slots for");
      int32_t square = rank * 16 + file;
      piece->kind = &board->kinds[kind];
      refreshKindCopy(piece);
      piece->colour = piece->kind->colour;
      piece->square = square;
      piece->currentValue = piece->kind->pieceSquareTable[square] + piece->kind->baseValue;
      squareAt(board, square) = piece;
      ++file;
    }
  }
  require(rank == 0 && file == 8, boardField, "not eight ranks of eight files");
  linkList(board, &board->white, WhiteFirstPawnSlot, WhiteKingSlot, +1);
  linkList(board, &board->black, BlackLastPawnSlot, BlackKingSlot, -1);

  // Counts as the set-up keeps them.
  for (PieceRecord& piece : board->slots) {
    if (piece.colour == 0) continue;
    ++piece.kind->count;
    ++board->pieceCount;
    int32_t code = piece.kind->code;
    if (code == PawnCode)
      ++pawnsOnFile(sideRecordOf(board, piece.colour), fileOf(piece.square));
    else if (code != KingCode)
      board->materialSum += piece.kind->value;
  }

  pos->stateFlags = castling;
  pos->searchFlags = enPassant != NoSquare ? SearchEnPassantValid : 0;
  pos->enPassantSquare = enPassant;
  pos->side = side;
  pos->opponent = -side;
  pos->sideRecord = sideRecordOf(board, side);
  pos->captured = boardPiece(board);
  pos->threatenedPiece = boardPiece(board);
  pos->firstReply = noMove;
  pos->lastMove = noMove;
  pos->threatMove = noMove;
  pos->parent = nullptr;
  pos->futilityBase = -9999;
  pos->matedScore = -9998;
  pos->killers[0] = pos->killers[1] = noMove;
  resetMoveStack(pos);
}

}  // namespace testing_board
