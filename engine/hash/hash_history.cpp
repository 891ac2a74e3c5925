// The game-history marks: before a search every position of the game since
// the last capture or pawn move is marked in the table, held by the master
// thread, with the number of times it occurred; after the search the marks
// are removed. A search node that meets a mark treats its position as a
// repetition of the game. Runs on the thread that starts the search, while
// no helper thread works.
#include "engine/board/game_history.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "engine/control/engine_interface.h"

namespace engine {

void prepareHashForSearch(HashTable* table, int32_t newSearch) {
  // A new age, so that this search's entries replace older ones
  // first; the hash fill counts from zero again.
  if (newSearch != 0) {
    table->age = int8_t((table->age + 1) % AgeCount);
    resetClaimedCount();
  }
  // Each occurrence marks the position once more.
  for (int32_t i = gameHistoryCount - 1; i >= 0; --i) {
    uint16_t scratch = 0;
    HashEntry* entry = hashProbeOrReplace(table, &gameHistory[i], MarkDepth, MarkHolder, &scratch);
    if (entry == nullptr) continue;
    entry->depth = MarkDepth;
    entry->score = 0;
    if ((entry->flags & EntryOnLine) == 0)
      entry->flags = MarkOnce;
    else if ((entry->flags & EntryHistoryTwice) != 0)
      entry->flags = MarkThrice;
    else
      entry->flags = MarkTwice;
  }
}

void unmarkGameHistory(HashTable* table) {
  for (int32_t i = gameHistoryCount - 1; i >= 0; --i) {
    HashEntry* entry = hashLookup(table, &gameHistory[i]);
    if (entry == nullptr || entry->depth != MarkDepth) continue;
    // A free entry again; the age stays.
    entry->key = 0;
    entry->lock = 0;
    entry->score = 0;
    entry->depth = 0;
    entry->flags = 0;
    entry->move = noMove;
  }
}

}  // namespace engine
