// The engine module's one export: the host binds the engine through it.
#include "engine/module/engine_entries.h"
#include "engine/control/engine_interface.h"

extern "C" void EngineInit(engine::HostCallbacks* in, engine::EngineEntries* out) { engine::bindEngine(in, out); }
