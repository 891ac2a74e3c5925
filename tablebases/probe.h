// The tablebase probe: material to endgame row, men to square lists, index
// to stored entry (through the block cache), entry to distance to mate.
//
// Board: 64 signed bytes, a1 = 0 .. h8 = 63; 6 empty, 6 + k a White man and
// 6 - k a Black one (k = 1 pawn, 2 knight, 3 bishop, 4 rook, 5 queen,
// 6 king). Called from the engine's search threads under its probe lock.
#pragma once
#include <atomic>
#include <cstdint>

#include "tablebases/index_functions.h"

namespace tablebases {

// Successful probes since the front end last cleared the count.
extern std::atomic<uint32_t> tbHits;

// 1 and the distance to mate from the side to move's view (positive: it
// wins; 0 a draw) when the position is in a table; 0 otherwise.
int32_t tbProbe(const int8_t* board, int32_t side, uint32_t enPassant, int32_t* score);

const TbIndexFunction& tbIndexFunction(int32_t id, int32_t side);
// The stored value code of an entry; 32767 when unknown.
int32_t tbReadValue(int32_t id, int32_t side, uint64_t index);

}  // namespace tablebases
