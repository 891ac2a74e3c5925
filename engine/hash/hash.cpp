// The engine's transposition table and its set-up: key tables, table
// allocation and the master board record, in that order.
#include "engine/hash/hash.h"

#include "engine/board/board.h"
#include "engine/control/control.h"

namespace engine {

HashTable engineHash = {nullptr, 0};
uint64_t entryCount = 0;

uint32_t initHashAndKeys(uint32_t bytes) {
  // The key tables first: initBoard copies the static kinds, key-table
  // pointers included, into the master board record.
  initKeyTables();
  uint64_t obtained = allocateHash(&engineHash, bytes);
  initBoard(&masterBoard);
  rootPosition.board = &masterBoard;
  return uint32_t(obtained);
}

void releaseHash() { freeHash(&engineHash); }

}  // namespace engine
