#include "tablebases/endgame_table.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "tablebases/endgame_lengths.h"
#include "tablebases/endgame_rows.h"
#include "tablebases/index_tables.h"

namespace tablebases {

TbDesc tbDesc[tbRowCount];

namespace {

bool descriptorsBuilt = false;
TbCountNode* countTreeRoot = nullptr;

void clearNode(TbCountNode* node, int32_t levelsBelow) {
  for (int32_t c = 0; c <= node->max; ++c) {
    if (levelsBelow > 0) clearNode(node->child[c], levelsBelow - 1);
    else node->id[c] = 0;
  }
}

}  // namespace

void* checkedAlloc(int64_t bytes) {
  void* memory = bytes > 0 ? std::calloc(size_t(bytes), 1) : nullptr;
  if (memory == nullptr) {
    std::printf("*** Cannot allocate %" PRId64 " bytes of memory\n", bytes);
    std::fflush(stdout);
    std::exit(1);
  }
  return memory;
}

void tbBuildDescriptors() {
  if (descriptorsBuilt) return;
  descriptorsBuilt = true;
  tbBuildIndexTables();
  for (int32_t i = 0; i < tbRowCount; ++i) {
    TbDesc& row = tbDesc[i];
    row.id = i;
    row.flags = tbRowData[i].flags;
    std::strncpy(row.name, tbRowData[i].name, sizeof(row.name) - 1);
    row.positions[0] = tbRowLengths[i][0];
    row.positions[1] = tbRowLengths[i][1];
    if (i > 0)
      for (int32_t side = 0; side < 2; ++side)
        row.indexFunction[side] = tbMakeIndexFunction(row.name, i, row.flags, side);
  }
}

int32_t tbExtentCount(const TbDesc& row, int32_t side) {
  if ((row.flags & tbSplit) == 0) return 1;
  uint64_t bytes = row.positions[side] * ((row.flags & tbSixteenBit) ? 2u : 1u);
  return int32_t(bytes >> 31) + 1;
}

TbCountNode* tbNewCountNode(int32_t max, int32_t levelsBelow) {
  TbCountNode* node = static_cast<TbCountNode*>(checkedAlloc(sizeof(TbCountNode)));
  node->max = max;
  if (levelsBelow > 0) {
    node->child = static_cast<TbCountNode**>(checkedAlloc(int64_t(max + 1) * int64_t(sizeof(TbCountNode*))));
    for (int32_t c = 0; c <= max; ++c) node->child[c] = tbNewCountNode(max - c, levelsBelow - 1);
  } else {
    node->id = static_cast<int32_t*>(checkedAlloc(int64_t(max + 1) * int64_t(sizeof(int32_t))));
  }
  return node;
}

void tbBuildCountTree() {
  if (countTreeRoot != nullptr) return;
  // Ten levels: the root admits 0..4 men, each level below the rest.
  countTreeRoot = tbNewCountNode(tbMaxMen, tbCounterCount - 1);
}

void tbClearCountTree() {
  if (countTreeRoot != nullptr) clearNode(countTreeRoot, tbCounterCount - 1);
}

int32_t tbFindEndgame(const int32_t counts[tbCounterCount]) {
  if (countTreeRoot == nullptr) return 0;
  const TbCountNode* node = countTreeRoot;
  for (int32_t level = 0; level < tbCounterCount; ++level) {
    int32_t c = counts[level];
    if (c < 0 || c > node->max) return 0;
    if (level == tbCounterCount - 1) return node->id[c];
    node = node->child[c];
  }
  return 0;
}

const char* tbParseSide(const char* text, int32_t counts[5]) {
  for (int32_t k = 0; k < 5; ++k) counts[k] = 0;
  for (; *text != '\0' && *text != 'k'; ++text) {
    switch (*text) {
      case 'n': counts[1]++; break;
      case 'b': counts[2]++; break;
      case 'r': counts[3]++; break;
      case 'q': counts[4]++; break;
      default: counts[0]++; break;  // 'p' (the table holds no other letters)
    }
  }
  return text;
}

void tbParseName(const char* name, int32_t first[5], int32_t second[5]) {
  const char* rest = tbParseSide(name + 1, first);
  tbParseSide(*rest == 'k' ? rest + 1 : rest, second);
}

int32_t tbSetCountLeaf(int32_t id, const int32_t counts[tbCounterCount]) {
  if (countTreeRoot == nullptr) return 0;
  TbCountNode* node = countTreeRoot;
  for (int32_t level = 0; level < tbCounterCount; ++level) {
    int32_t c = counts[level];
    if (c < 0 || c > node->max) return 0;
    if (level == tbCounterCount - 1) {
      node->id[c] = id;
      return 1;
    }
    node = node->child[c];
  }
  return 0;
}

int32_t tbRegisterCounts(const TbDesc& row) {
  int32_t first[5], second[5], counts[tbCounterCount];
  tbParseName(row.name, first, second);
  for (int32_t k = 0; k < 5; ++k) {
    counts[k] = first[k];
    counts[5 + k] = second[k];
  }
  if (!tbSetCountLeaf(row.id, counts)) return 0;
  if (row.flags & tbSymmetric) return 1;
  for (int32_t k = 0; k < 5; ++k) {
    counts[k] = second[k];
    counts[5 + k] = first[k];
  }
  return tbSetCountLeaf(-row.id, counts);
}

}  // namespace tablebases
