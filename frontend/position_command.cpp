#include "frontend/position_command.h"

#include <cstdio>
#include <cstring>

#include "frontend/console.h"
#include "frontend/engine_link.h"
#include "frontend/game_position.h"
#include "frontend/search_control.h"
#include "frontend/uci_loop.h"
#include "frontend/worker.h"

namespace frontend {

namespace {

// Builds the position text of a "position" line into `out`; false when the
// "fen" words do not fit.
bool buildPositionText(char** tokens, int32_t movesIndex, char* out, int32_t outBytes) {
  if (std::strcmp(tokens[1], "fen") != 0) {
    std::snprintf(out, static_cast<size_t>(outBytes), "%s", startPositionText);
    return true;
  }
  int32_t length = 0;
  out[0] = '\0';
  for (int32_t i = 2; i < movesIndex; ++i) {
    int32_t added = std::snprintf(out + length, static_cast<size_t>(outBytes - length), "%s ", tokens[i]);
    if (added < 0 || length + added >= outBytes) return false;
    length += added;
  }
  return true;
}

}  // namespace

void setStartPosition() { setMirrorPosition(startPositionText); }

bool handleUciNewGame(const char* line, char** /*tokens*/, int32_t count, const char* /*first*/) {
  FRONTEND_CHECK(count == 1);
  ensureEngineStarted(line);
  endRunningSearch();
  engineEntries.clearEngineHash();
  return true;
}

bool handlePosition(const char* line, char** tokens, int32_t count, const char* /*first*/) {
  ensureEngineStarted(line);
  // The move list starts after the first "moves".
  int32_t movesIndex = count;
  for (int32_t i = 1; i < count; ++i)
    if (std::strcmp(tokens[i], "moves") == 0) {
      movesIndex = i;
      break;
    }
  char text[PositionTextBytes];
  if (!buildPositionText(tokens, movesIndex, text, sizeof(text))) {
    printLine("info string Illegal position");
    return true;
  }
  // No search may read the game while it changes.
  endRunningSearch();
  // A refused text keeps the mirror's game and plays no moves.
  if (!setMirrorPosition(text)) {
    printLine("info string Illegal position");
    return true;
  }
  // Each move in turn; the first that matches no legal move ends the list.
  for (int32_t i = movesIndex + 1; i < count; ++i)
    if (!applyMoveText(tokens[i], i == count - 1)) {
      printLine("Illegal move: %s", tokens[i]);
      break;
    }
  return true;
}

}  // namespace frontend
