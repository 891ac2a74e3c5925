#include "frontend/game_position.h"

#include <cstdio>

#include "frontend/search_output.h"

namespace frontend {

engine::Position gamePosition;

namespace {

// The mirror's own board record: never the linked core's master board,
// which the core's hash set-up re-initialises.
engine::ThreadBoard mirrorBoard;

}  // namespace

void initMirror() {
  engine::initBoard(&mirrorBoard);
  engine::initPosition(&gamePosition, &mirrorBoard);
  gamePosition.side = engine::White;
  gamePosition.opponent = engine::Black;
}

int32_t mirrorSideToMove() { return gamePosition.side < 0 ? engine::Black : engine::White; }

char mirrorLetterAt(int32_t square) {
  if (gamePosition.pg == nullptr || !engine::isOnBoard(square)) return 0;
  const engine::PieceRecord* piece = engine::squareAt(gamePosition.pg, square);
  if (piece->colour == 0) return 0;
  return static_cast<char>(piece->kindCopy.letter);
}

// Until the core's set-up and make are linked, the mirror holds no game:
// it cannot judge moves, so it takes every move the engine names.
bool mirrorHasLegalMove() { return true; }

bool isLegalMirrorMove(engine::Move /*move*/) { return true; }

engine::Move firstLegalMirrorMove() { return engine::noMove; }

int32_t writeVariationText(const engine::Move* pv, int32_t maxMoves, char* out, int32_t outBytes) {
  int32_t length = 0;
  int32_t written = 0;
  out[0] = '\0';
  for (; written < maxMoves && (pv[written] & 0xFF) != engine::NoSquare; ++written) {
    char text[6];
    moveToText(text, pv[written], 0);
    int32_t added = std::snprintf(out + length, static_cast<size_t>(outBytes - length), " %s", text);
    if (added < 0 || length + added >= outBytes) break;
    length += added;
  }
  return written;
}

}  // namespace frontend
