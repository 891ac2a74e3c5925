// Reading a position text into the set-up record: the board field is kept
// for setupPosition, the side, castling and en-passant fields are decoded
// here, and anything after them (the move counters) is ignored.
#include <cstring>

#include "engine/board/setup.h"

namespace engine {

namespace {

const char* const startPositionText = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR W KQkq -";

bool endsField(char c) { return c == '\0' || c == ' '; }

const char* skipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// The castling field from its first character. Returns the character after
// it, or null when the field is malformed.
const char* parseCastling(const char* p, int32_t* castling) {
  *castling = 0;
  if (*p == '-' || std::strncmp(p, "nil", 3) == 0) {
    p += *p == '-' ? 1 : 3;
    return endsField(*p) ? p : nullptr;
  }
  for (; !endsField(*p); ++p) {
    switch (*p) {
      case 'K': *castling |= int32_t(StateWhiteKingSide); break;
      case 'k': *castling |= int32_t(StateBlackKingSide); break;
      case 'Q': *castling |= int32_t(StateWhiteQueenSide); break;
      case 'q': *castling |= int32_t(StateBlackQueenSide); break;
      default: return nullptr;
    }
  }
  return p;
}

// The en-passant field: "-", "nil" or a square a1..h8 in lower case, then
// the end or a space. Returns false when malformed.
bool parseEnPassant(const char* p, int32_t* square) {
  if (*p == '-' || std::strncmp(p, "nil", 3) == 0) {
    p += *p == '-' ? 1 : 3;
    return endsField(*p);
  }
  // Both characters are checked before the second is used, so a lone file
  // letter at the end of the text is never read past.
  if (p[0] < 'a' || p[0] > 'h') return false;
  if (p[1] < '1' || p[1] > '8') return false;
  if (!endsField(p[2])) return false;
  *square = makeSquare(p[0] - 'a', p[1] - '1');
  return true;
}

}  // namespace

int32_t parseFenInto(const char* text, GameSetup* setup) {
  // Step 1. A new game: no en-passant square, all castling rights until
  // the text says otherwise. Only this record is written, so a refused text
  // leaves the game in play alone.
  setup->enPassantSquare = NoSquare;
  setup->castling = int32_t(StateCastlingMask);
  setup->halfMoveClock = 0;
  setup->count = 0;
  setup->played = 0;
  setup->moveNumber = StartMoveNumber;
  setup->side = White;

  // Step 2. The caller's text whole, or the built-in start text. A text
  // that does not fit is refused: a cut one could end inside a field and
  // still parse as a different position.
  if (text != nullptr) {
    setup->startFlag = 0;
    setup->moveNumber = GivenTextMoveNumber;
    int32_t length = 0;
    while (length < SetupTextSize && text[length] != '\0') ++length;
    if (length >= SetupTextSize) {
      setup->text[0] = '\0';
      return -1;
    }
    std::memcpy(setup->text, text, size_t(length) + 1);
  } else {
    setup->startFlag = 1;
    std::strcpy(setup->text, startPositionText);
  }

  // Step 3. End the board field at the first space; the side field, one
  // letter W or B in either case, must follow.
  char* p = std::strchr(setup->text, ' ');
  if (p == nullptr) return -1;
  *p++ = '\0';
  p = const_cast<char*>(skipSpaces(p));
  if (*p == 'W' || *p == 'w') {
    setup->side = White;
  } else if (*p == 'B' || *p == 'b') {
    setup->side = Black;
  } else {
    return -1;
  }
  ++p;
  if (*p == '\0') return 0;
  if (*p != ' ') return -1;

  // Step 4. Castling.
  const char* q = skipSpaces(p);
  if (*q == '\0') return 0;
  q = parseCastling(q, &setup->castling);
  if (q == nullptr) return -1;
  if (*q == '\0') return 0;

  // Step 5. En passant; the fields after it are not read.
  q = skipSpaces(q);
  if (*q == '\0') return 0;
  return parseEnPassant(q, &setup->enPassantSquare) ? 0 : -1;
}

int32_t parseFen(const char* text) {
  // Parsed aside, so that a refused text changes nothing; an accepted one
  // starts a new game record.
  static GameSetup parsed;
  if (parseFenInto(text, &parsed) != 0) return -1;
  startGameRecord(&parsed);
  return 0;
}

}  // namespace engine
