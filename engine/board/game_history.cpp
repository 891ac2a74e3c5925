#include "engine/board/game_history.h"

namespace engine {

HashKey gameHistory[GameHistorySize];
int32_t gameHistoryCount = 0;

void addHistoryKey(const HashKey* key, int32_t index) {
  // A clock past the end keeps the history full rather than writing beyond
  // it; the positions recorded so far still count.
  if (index >= GameHistorySize) {
    gameHistoryCount = GameHistorySize;
    return;
  }
  if (index < 0) {
    gameHistoryCount = 0;
    return;
  }
  gameHistoryCount = index + 1;
  gameHistory[index].key = key->key;
  gameHistory[index].lock = key->lock;
}

}  // namespace engine
