// Turning option values into effects: the engine parameters the front end
// sends, the hash size of both tables, the opening book and the tablebases.
// All of it runs on the main thread; a change that the engine reads waits
// for any running search to end first.
#pragma once
#include <cstdint>

#include "engine/control/engine_interface.h"

namespace frontend {

// The front end's engine-parameter record. It writes only the words named
// below; "go" writes the contempt word too, and the search output reads it.
extern engine::EngineParameters frontParameters;
constexpr int32_t ThreadsWord = 3;
constexpr int32_t ContemptWord = 4;
constexpr int32_t ClearHashWord = 6;
constexpr int32_t ThreatMarginWord = 13;
constexpr int32_t MaxDepthWord = 25;

// The hash size last given to the engine, in KB, and the tablebase piece
// limit given with it.
extern uint32_t hashSizeKb;
extern int32_t tbPiecesGiven;

// The option words of frontParameters, then the record to the engine.
void applyEngineParameters();

// Words 25 and (for weak ratings) 13 from a rating.
void eloToLevel(int32_t rating);

// Sizes the engine's table and the front end's own 1 MB table.
void setHashSize(uint64_t bytes, int32_t pieces);

// Applies every option at engine start.
bool applyAllOptions();

// The "setoption" command.
bool handleSetOption(const char* line, char** tokens, int32_t count, const char* first);

}  // namespace frontend
