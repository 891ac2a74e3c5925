// The engine's entries as EngineInit hands them to the host, and the binding
// itself. They run on the host's threads: `think` on its worker, the stop
// and ponderhit entries on its other threads, `onTimer` on its timer thread.
#pragma once
#include <cstdint>

#include "engine/control/engine_interface.h"

namespace engine {

// The five steps of EngineInit: fills the entry table (slot 8 stays
// untouched), copies the callbacks and the default parameters and installs
// the hooks.
void bindEngine(HostCallbacks* in, EngineEntries* out);

void setEngineParameters(const EngineParameters* parameters);
void getEngineParameters(EngineParameters* out);
void clearEngineHash();
uint32_t initEngine(uint32_t hashBytes, int32_t tbLimit);
void releaseEngineHash();
int32_t setEnginePosition(const char* fenText);
int32_t playEngineMove(Move move, int32_t promotionLetter);
void setTimeControl(int32_t type, int32_t time, int32_t moves, int32_t increment, int32_t extra);
void setMoveNumber(int32_t number);
void resetStopFlags();
void thinkEntry(int32_t lines, int32_t mode);
// ponderhit and stop from the host's threads.
void ponderHit();
void stopThinking();
void onTimer(void* context, bool fired);

// The move with an under-promotion letter applied: only 'R', 'B' and 'N',
// and only for a pawn (pieceCode) moving to the first or last rank.
Move applyPromotionLetter(Move move, int32_t pieceCode, int32_t letter);

}  // namespace engine
