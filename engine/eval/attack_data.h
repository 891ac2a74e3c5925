// The pool of saved evaluation data: a search that gives a child a fresh
// full evaluation first saves the board's evaluation data into a record of
// the pool and copies it back when the child's search is over. The records
// are shared by all search threads; a record is claimed by an atomic
// compare-exchange of its owner word (null = free) and released by a plain
// store of null. `evaluate` frees them all when it re-derives its weights.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/board/board.h"

namespace engine {

constexpr int32_t AttackDataRecords = 800;

struct AttackData {
  std::atomic<ThreadBoard*> owner;
  EvalBlock evalBlock;
  int32_t pieceValues[SlotCount];  // current value of every slot
  int32_t baseValues[KindCount];   // kinds' base values
  int16_t pawnTerms[2][128];       // side tables: White, Black
  uint8_t pawnMarks[2][128];
  EvalScalars evalScalars;
  int32_t fiftyMoveDrift;
};

extern AttackData attackDataPool[AttackDataRecords];

// Claims a free record and saves the board's evaluation data into it;
// null when every record is owned.
AttackData* claimAttackData(ThreadBoard* board);
// Copies the saved data back into the board and frees the record.
void restoreAttackData(AttackData* record, ThreadBoard* board);
// Frees every record (the weights were re-derived).
void freeAttackDataPool();

}  // namespace engine
