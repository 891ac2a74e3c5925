// The game record of this copy of the engine core: a new game set up from a
// text, the game moves played on the root position, and the snapshot that
// puts a game back as it was.
#include "engine/board/game_history.h"
#include "engine/board/makemove.h"
#include "engine/board/setup.h"
#include "engine/control/control.h"
#include "engine/board/stopwatch.h"

namespace engine {

GameSetup gameSetup;
int32_t gameState = GameGoesOn;
int32_t engineSide = White;

namespace {
// The next root, built on the root's board.
Position gameChild;
}  // namespace

void startGameRecord(const GameSetup* parsed) {
  gameSetup = *parsed;
  stopStopwatch(&whiteClock);
  stopStopwatch(&blackClock);
  whiteClock.accumulated = 0;
  blackClock.accumulated = 0;
  gameState = GameGoesOn;
}

int32_t setUpGame(Position* root, const char* text) {
  // The text is parsed aside and the position tried on a scratch board
  // first (setupPosition), so nothing of the game in play changes until
  // both have accepted it.
  static GameSetup parsed;
  if (parseFenInto(text, &parsed) != 0) return -1;
  if (setupPosition(root, &parsed) != 0) return -1;
  startGameRecord(&parsed);
  return 0;
}

void setEngineSide(int32_t side) { engineSide = side; }

void saveGame(GameSnapshot* snapshot) {
  snapshot->record = gameSetup;
  snapshot->whiteClock = whiteClock;
  snapshot->blackClock = blackClock;
  snapshot->gameState = gameState;
  snapshot->moveNumber = moveNumber;
  snapshot->engineSide = engineSide;
  snapshot->historyCount = gameHistoryCount;
  for (int32_t i = 0; i < gameHistoryCount && i < GameHistorySize; ++i) snapshot->history[i] = gameHistory[i];
}

void restoreGame(const GameSnapshot* snapshot) {
  gameSetup = snapshot->record;
  whiteClock = snapshot->whiteClock;
  blackClock = snapshot->blackClock;
  gameState = snapshot->gameState;
  moveNumber = snapshot->moveNumber;
  engineSide = snapshot->engineSide;
  gameHistoryCount = snapshot->historyCount;
  for (int32_t i = 0; i < gameHistoryCount && i < GameHistorySize; ++i) gameHistory[i] = snapshot->history[i];
}

int32_t playGameMove(Move move) {
  GameSetup* setup = &gameSetup;

  // Step 1. The child is played on the root's own board.
  initPosition(&gameChild, rootPosition.board);

  // Step 2. The mover's clock stops.
  Stopwatch* moverClock = rootPosition.side > 0 ? &whiteClock : &blackClock;
  stopStopwatch(moverClock);

  // Step 3. The move with its key; a rook that has left its corner takes
  // its castling right along.
  makeMove(&rootPosition, move, &gameChild);
  updateHashKey(&gameChild);
  fixCastlingRights(&gameChild);
  refreshMatingMarks(&gameChild);

  // Step 4. Recorded while the list has room; later moves are dropped from
  // the list, so a following move takes the place after the played ones.
  if (setup->played < MaxGameMoves) {
    setup->moves[setup->played].time = moverClock->accumulated;
    setup->moves[setup->played].move = move;
    ++setup->played;
  }
  setup->count = setup->played;

  // Step 5. The child becomes the root. Its parent was the old root, that
  // is the record itself now: the root has no parent.
  copyPosition(&rootPosition, &gameChild);
  rootPosition.parent = nullptr;

  // Step 6. The new position joins the game history.
  HashKey key = {rootPosition.key, rootPosition.lock, 0};
  addHistoryKey(&key, rootPosition.halfMoveClock);

  // Step 7. The other clock runs; a Black move ends a move number.
  startStopwatch(rootPosition.side > 0 ? &whiteClock : &blackClock);
  if (rootPosition.side > 0) ++moveNumber;
  return 0;
}

}  // namespace engine
