// The endgame descriptor table and the piece-count registry.
//
// Every endgame the tablebases know has one row in `tbDesc`: its id (the
// row's place), storage flags, name, the two index functions (White to move,
// Black to move) and the number of entries of each side's table. The static
// part is fixed at build time; registration (file names, compressed-file
// indexes) and the block cache (open files, chain heads) fill the rest.
// Beside it stands the piece-count tree, which turns the ten counts of
// non-king men on a board into a signed row id (+i: White holds the first
// side of row i's name, -i: the colours are swapped).
//
// Written only while the tablebases are initialised (no search probing);
// read by the probe under the engine's lock.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "tablebases/index_functions.h"

namespace tablebases {

struct CompressedFileIndex;
struct TbCacheBlock;

constexpr int32_t tbRowCount = 441;
constexpr int32_t tbMaxExtents = 18;
constexpr int32_t tbChainsPerSide = 32;
constexpr int32_t tbCounterCount = 10;
constexpr int32_t tbMaxMen = 4;  // non-king men in the largest endgames

// Row flags.
constexpr uint32_t tbSymmetric = 1;
constexpr uint32_t tbSixteenBit = 2;
constexpr uint32_t tbSplit = 4;

struct TbDesc {
  int32_t id;
  uint32_t flags;
  TbIndexFunction indexFunction[2];  // White to move, Black to move
  char name[8];
  uint64_t positions[2];
  std::string fileName[2][tbMaxExtents];
  std::FILE* file[2][tbMaxExtents];
  CompressedFileIndex* compressed[2][tbMaxExtents];
  TbCacheBlock** buckets[2];  // tbChainsPerSide chain heads, or null
};

extern TbDesc tbDesc[tbRowCount];

// Fills the static part of every row (ids, flags, names, lengths, index
// functions); later calls do nothing.
void tbBuildDescriptors();

// Extents of a side of a split row: each file holds at most 2^31 bytes.
int32_t tbExtentCount(const TbDesc& row, int32_t side);

// The registry.
struct TbCountNode {
  int32_t max;
  TbCountNode** child;  // max + 1 children, below the last level
  int32_t* id;          // max + 1 row ids, at the last level
};

void tbBuildCountTree();
TbCountNode* tbNewCountNode(int32_t max, int32_t levelsBelow);
// Counter order: White pawns, knights, bishops, rooks, queens, then Black's.
int32_t tbFindEndgame(const int32_t counts[tbCounterCount]);
// Parses "k..." up to the next 'k' or the end: pawns, knights, bishops,
// rooks, queens; returns where it stopped.
const char* tbParseSide(const char* text, int32_t counts[5]);
void tbParseName(const char* name, int32_t first[5], int32_t second[5]);
int32_t tbSetCountLeaf(int32_t id, const int32_t counts[tbCounterCount]);
int32_t tbRegisterCounts(const TbDesc& row);
// Forgets every registered endgame (all leaves back to 0).
void tbClearCountTree();

// The subsystem's allocation: zeroed memory, and on failure the process
// ends with "*** Cannot allocate ..." (exit code 1).
void* checkedAlloc(int64_t bytes);

}  // namespace tablebases
