// The game record of this copy of the engine core and the game moves played
// on the root position.
#include "engine/control.h"
#include "engine/game_history.h"
#include "engine/hash.h"
#include "engine/makemove.h"
#include "engine/setup.h"
#include "engine/timecontrol.h"

namespace engine {

GameSetup gameSetup;
int32_t gameState = GameGoesOn;

namespace {
// The next root, built on the root's board.
Position gameChild;
}  // namespace

int32_t playGameMove(Move move) {
  GameSetup* setup = &gameSetup;

  // Step 1.
  initPosition(&gameChild, rootPosition.pg);

  // Step 2. The mover's clock stops.
  Stopwatch* moverClock = rootPosition.side > 0 ? &whiteClock : &blackClock;
  stopStopwatch(moverClock);

  // Step 3. The move with its key; a rook that has left its corner takes
  // its castling right along.
  makeMove(&rootPosition, move, &gameChild);
  updateHashKey(&gameChild);
  fixCastlingRights(&gameChild);

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

  // Step 6.
  HashKey key = {rootPosition.key, rootPosition.lock, 0};
  addHistoryKey(&key, rootPosition.halfMoveClock);

  // Steps 7 and 8. The other clock runs; a Black move ends a move number.
  startStopwatch(rootPosition.side > 0 ? &whiteClock : &blackClock);
  if (rootPosition.side > 0) ++moveNumber;
  return 0;
}

}  // namespace engine
