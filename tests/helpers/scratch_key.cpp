#include "helpers/scratch_key.h"

using namespace engine;

namespace testing_hash {

HashKey scratchKey(const ThreadBoard* board, int32_t side) {
  HashKey total{0, 0, 0};
  for (int32_t square = 0; square < 120; ++square) {
    if (!isOnBoard(square) || isEmptySquare(board, square)) continue;
    const PieceRecord* piece = squareAt(board, square);
    total.key ^= piece->kindCopy.keyTable[square].key;
    total.lock = uint16_t(total.lock ^ piece->kindCopy.keyTable[square].lock);
  }
  if (side < 0) total.key ^= 0x80000000u;
  return total;
}

}  // namespace testing_hash
