#include "tablebases/probe.h"

#include "tablebases/block_cache.h"
#include "tablebases/endgame_table.h"
#include "tablebases/registration.h"

namespace tablebases {

std::atomic<uint32_t> tbHits{0};

namespace {

constexpr int32_t unknownValue = 32767;
// No real table holds a distance to mate this long; a longer one is a
// broken entry, and the search would turn it into a score of the wrong sign.
constexpr int32_t longestDistance = 1000;
constexpr int32_t emptyCode = 6;
constexpr int32_t kingKind = 6;

// kppkp with Black to move: seven entries whose stored byte is replaced by
// a loss in 129 moves, longer than a byte can say.
constexpr int32_t longLossRow = 36;
constexpr int32_t longLossValue = -32639;
constexpr uint64_t longLossIndex[7] = {71071628, 67775659, 59592489, 56858640, 56849992, 56811076, 56802428};

// The value code of a stored byte.
int32_t byteValue(int32_t e) {
  if (e == 0) return 0;
  if (e == 127) return unknownValue;
  if (e == -128) return 32640;
  if (e == -127) return -32640;
  return e > 0 ? e + 32640 : e - 32640;
}

}  // namespace

const TbIndexFunction& tbIndexFunction(int32_t id, int32_t side) { return tbDesc[id].indexFunction[side]; }

int32_t tbReadValue(int32_t id, int32_t side, uint64_t index) {
  const TbDesc& row = tbDesc[id];
  // A symmetric row has only the White-to-move table.
  if (row.flags & tbSymmetric) side = 0;
  // Indices past the table (positions outside the scheme) are unknown.
  if (row.buckets[side] == nullptr || index >= row.positions[side]) return unknownValue;
  if (row.flags & tbSixteenBit) {
    uint32_t block = uint32_t(index >> 12), offset = uint32_t(index & 0xfff) * 2;
    int32_t low = tbCacheGetBlock(id, side, block, offset);
    if (low == tbCacheBlockMissing) return unknownValue;
    int32_t high = tbCacheGetBlock(id, side, block, offset + 1);
    if (high == tbCacheBlockMissing) return unknownValue;
    return int32_t(int16_t(uint16_t((low & 0xFF) | ((high & 0xFF) << 8))));
  }
  if (id == longLossRow && side == 1)
    for (uint64_t special : longLossIndex)
      if (index == special) return longLossValue;
  int32_t e = tbCacheGetBlock(id, side, uint32_t(index >> 13), uint32_t(index & 0x1fff));
  return e == tbCacheBlockMissing ? unknownValue : byteValue(e);
}

int32_t tbProbe(const int8_t* board, int32_t side, uint32_t enPassant, int32_t* score) {
  if (board == nullptr || score == nullptr) return 0;

  // Step 1. One pass over the board: check it (codes 0..12, one king a
  // side, no pawn on the first or last rank), count the men and fill the
  // square lists in ascending square order. No row has more than three men
  // of one kind on a side, which also bounds the lists.
  int32_t counts[tbCounterCount] = {};
  uint32_t lists[2][16] = {};
  int32_t kings[2] = {0, 0};
  for (uint32_t s = 0; s < 64; ++s) {
    int32_t code = board[s];
    if (code == emptyCode) continue;
    if (code < 0 || code > 2 * emptyCode) return 0;
    int32_t colour = code > emptyCode ? 0 : 1;
    int32_t kind = colour == 0 ? code - emptyCode : emptyCode - code;
    if (kind == kingKind) {
      kings[colour]++;
      lists[colour][15] = s;
      continue;
    }
    if (kind == 1 && (s < 8 || s >= 56)) return 0;
    int32_t placed = counts[5 * colour + kind - 1]++;
    if (placed >= 3) return 0;
    lists[colour][3 * (kind - 1) + placed] = s;
  }
  if (kings[0] != 1 || kings[1] != 1) return 0;
  int32_t id = tbFindEndgame(counts);
  if (id == 0) return 0;

  // Step 2. Colour-swapped material reads the row with the lists exchanged.
  bool whiteToMove = side > 0;
  const uint32_t* first = lists[0];
  const uint32_t* second = lists[1];
  int32_t sideIndex = whiteToMove ? 0 : 1, invert = 0;
  if (id < 0) {
    id = -id;
    first = lists[1];
    second = lists[0];
    sideIndex = whiteToMove ? 1 : 0;
    invert = 1;
  }
  if (!tbIsAvailable(id, sideIndex)) return 0;

  // Step 3. Index, entry, distance to mate.
  uint64_t index = tbIndexFunction(id, sideIndex)(first, second, enPassant == 0 ? tbNoEnPassant : enPassant, invert);
  if (index == tbOutsideScheme) return 0;
  int32_t v = tbReadValue(id, sideIndex, index);
  if (v == unknownValue) return 0;
  int32_t distance = v > 0 ? 32767 - v : v < 0 ? -v - 32768 : 0;
  if (distance > longestDistance || distance < -longestDistance) return 0;
  *score = distance;
  tbHits.fetch_add(1, std::memory_order_relaxed);
  return 1;
}

}  // namespace tablebases
