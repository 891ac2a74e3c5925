#include "frontend/move_text.h"

#include <cstring>

#include "engine/board/movegen.h"

namespace frontend {

namespace {

bool isFileLetter(char c) { return c >= 'a' && c <= 'h'; }
bool isRankDigit(char c) { return c >= '1' && c <= '8'; }

// The promotion piece a letter names, or -1 for a letter that is none.
int32_t underPromotionOfLetter(char c) {
  switch (c) {
    case 'R': case 'r': return engine::PromoteRook;
    case 'B': case 'b': return engine::PromoteBishop;
    case 'N': case 'n': return engine::PromoteKnight;
    default: return -1;
  }
}

}  // namespace

bool parseMoveText(const engine::ThreadBoard* board, engine::Move move, const char* text) {
  // Work on a bounded copy; longer texts and texts shorter than a square match nothing.
  size_t length = std::strlen(text);
  if (length > size_t(MaxMoveTextLength) || length < 2) return false;
  char copy[MaxMoveTextLength + 1];
  std::memcpy(copy, text, length + 1);
  int32_t from = engine::moveFrom(move);
  int32_t toByte = engine::moveToByte(move);
  int32_t to = engine::decodeToSquare(toByte);
  const engine::PieceRecord* mover = engine::squareAt(board, from);
  int32_t code = mover->kindCopy.code;
  // Step 1. One check, mate or closing mark at the end.
  char last = copy[length - 1];
  if (last == '+' || last == '#' || last == ')') copy[--length] = '\0';
  // Step 2. Castling: a king's move by two files.
  if (std::strcmp(copy, "O-O") == 0 || std::strcmp(copy, "0-0") == 0)
    return code == engine::KingCode && to - from == 2;
  if (std::strcmp(copy, "O-O-O") == 0 || std::strcmp(copy, "0-0-0") == 0)
    return code == engine::KingCode && from - to == 2;
  // Step 3. A promotion letter must name the move's promotion.
  if (length == 0) return false;
  last = copy[length - 1];
  int32_t promotion = underPromotionOfLetter(last);
  bool isUnderPromotion = (toByte & 0x80) != 0;
  if (promotion >= 0) {
    if (!isUnderPromotion || engine::promotionPiece(toByte) != promotion) return false;
    copy[--length] = '\0';
  } else if (last == 'Q' || last == 'q') {
    if (isUnderPromotion) return false;
    copy[--length] = '\0';
  }
  // Step 4. The destination square.
  if (length < 2) return false;
  char file = copy[length - 2];
  char rank = copy[length - 1];
  if (!isFileLetter(file) || !isRankDigit(rank) || engine::makeSquare(file - 'a', rank - '1') != to) return false;
  length -= 2;
  // Step 5. Leftwards: a separator, then the from-square's rank and file.
  if (length > 0 && (copy[length - 1] == '-' || copy[length - 1] == 'x')) --length;
  bool rankGiven = false;
  bool fileGiven = false;
  if (length > 0 && isRankDigit(copy[length - 1])) {
    if (copy[length - 1] - '1' != engine::rankOf(from)) return false;
    rankGiven = true;
    --length;
  }
  if (length > 0 && isFileLetter(copy[length - 1])) {
    if (copy[length - 1] - 'a' != engine::fileOf(from)) return false;
    fileGiven = true;
    --length;
  }
  // Step 6. Nothing left: a full from-square, or else a pawn move.
  if (length == 0) return (rankGiven && fileGiven) || code == engine::PawnCode;
  // One piece letter, upper case, never for a pawn.
  if (length != 1 || code == engine::PawnCode) return false;
  char letter = static_cast<char>(mover->kindCopy.letter);
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  return copy[0] == letter;
}

engine::Move findMoveByText(const engine::Position* position, const char* text, MoveFilter accept) {
  // The picker works on a copy of the position's state on the same board.
  static engine::Position scratch;
  engine::copyPosition(&scratch, position);
  scratch.board = position->board;
  engine::resetMoveStack(&scratch);
  for (engine::Move move = engine::nextMove(&scratch); move != engine::noMove; move = engine::nextMove(&scratch)) {
    if (!parseMoveText(position->board, move, text)) continue;
    if (accept == nullptr || accept(&scratch, move)) return move;
  }
  return engine::noMove;
}

}  // namespace frontend
