// The tablebase services the front end calls: set-up from the configured
// directories, the block cache's memory and the probe that the engine
// reaches through its callback table.
//
// Until the tablebase code is built, tablebase_stubs.cpp provides versions
// that find no tables: tbInitialize reports 0 pieces and every probe misses.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tablebases {

// Registers the table files found in the directories of `paths`; returns
// the largest piece count covered (0, 3, 4, 5 or 6).
int32_t tbInitialize(const char* paths);

// Gives the block cache its memory (null or 0 bytes: no cache).
void tbSetCache(void* memory, size_t bytes);

// Probes a 64-square board of piece codes for the side to move (positive
// for White) and the en-passant square (0 for none); nonzero when found,
// with the signed distance to mate in *outScore.
int32_t tbProbe(const int8_t* board, int32_t side, int32_t epSquare, int32_t* outScore);

// Tablebase hits of the current search.
extern int32_t tbHits;

}  // namespace tablebases
