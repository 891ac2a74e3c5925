#include "engine/eval/attack_data.h"

namespace engine {

AttackData attackDataPool[AttackDataRecords];

AttackData* claimAttackData(ThreadBoard* board) {
  // Scan from the first record; a lost race restarts the scan.
  for (int32_t i = 0; i < AttackDataRecords;) {
    AttackData* record = &attackDataPool[i];
    if (record->owner.load(std::memory_order_relaxed) != nullptr) {
      ++i;
      continue;
    }
    ThreadBoard* expected = nullptr;
    if (!record->owner.compare_exchange_strong(expected, board, std::memory_order_acquire)) {
      i = 0;
      continue;
    }
    record->evalBlock = board->evalBlock;
    for (int32_t s = 0; s < SlotCount; ++s) record->pieceValues[s] = board->slots[s].currentValue;
    for (int32_t k = 0; k < KindCount; ++k) record->baseValues[k] = board->kinds[k].baseValue;
    for (int32_t sq = 0; sq < 128; ++sq) {
      record->pawnTerms[0][sq] = board->white.pawnTerms[sq];
      record->pawnTerms[1][sq] = board->black.pawnTerms[sq];
      record->pawnMarks[0][sq] = board->white.pawnMarks[sq];
      record->pawnMarks[1][sq] = board->black.pawnMarks[sq];
    }
    record->evalScalars = board->evalScalars;
    record->fiftyMoveDrift = board->fiftyMoveDrift;
    return record;
  }
  return nullptr;
}

void restoreAttackData(AttackData* record, ThreadBoard* board) {
  board->evalBlock = record->evalBlock;
  for (int32_t s = 0; s < SlotCount; ++s) {
    board->slots[s].currentValue = record->pieceValues[s];
  }
  for (int32_t k = 0; k < KindCount; ++k) board->kinds[k].baseValue = record->baseValues[k];
  // Pieces keep copies of their kinds.
  for (int32_t s = 0; s < SlotCount; ++s)
    if (board->slots[s].kind != nullptr) board->slots[s].kindCopy.baseValue = board->slots[s].kind->baseValue;
  for (int32_t sq = 0; sq < 128; ++sq) {
    board->white.pawnTerms[sq] = record->pawnTerms[0][sq];
    board->black.pawnTerms[sq] = record->pawnTerms[1][sq];
    board->white.pawnMarks[sq] = record->pawnMarks[0][sq];
    board->black.pawnMarks[sq] = record->pawnMarks[1][sq];
  }
  board->evalScalars = record->evalScalars;
  board->fiftyMoveDrift = record->fiftyMoveDrift;
  record->owner.store(nullptr, std::memory_order_release);
}

void freeAttackDataPool() {
  for (AttackData& record : attackDataPool) record.owner.store(nullptr, std::memory_order_relaxed);
}

}  // namespace engine
