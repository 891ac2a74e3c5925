// Turning option values into effects: the engine parameters the front end
// sends, the hash size of both tables, the opening book and the tablebases.
// All of it runs on the main thread; a change that the engine reads waits
// for any running search to end first.
#pragma once
#include <cstdint>

#include "engine/control/engine_interface.h"

namespace frontend {

// The front end's engine-parameter record. It writes only the threads,
// contempt, clear-hash, threat-margin and maximum-depth words; the search
// output reads the contempt word under its lock.
extern engine::EngineParameters frontParameters;

// Sets the contempt word of frontParameters, under the search output's lock
// (the contempt that "go" shows with the scores).
void setContemptWord(int32_t contempt);

// The hash size last given to the engine, in KB, and the tablebase piece
// limit given with it.
extern uint32_t hashSizeKb;
extern int32_t tbPiecesGiven;

// The option words of frontParameters, then the record to the engine.
void applyEngineParameters();

// The maximum depth and (for weak ratings) the threat margin from a rating.
void eloToLevel(int32_t rating);

// Sizes the engine's table and the front end's own 1 MB table.
void setHashSize(uint64_t bytes, int32_t pieces);

// Applies every option at engine start.
bool applyAllOptions();

// The "setoption" command.
bool handleSetOption(const char* line, char** tokens, int32_t count, const char* first);

}  // namespace frontend
