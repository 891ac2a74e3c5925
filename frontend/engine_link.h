// The front end's binding to the engine module: the two function tables
// exchanged by EngineInit (the front end's callbacks, the engine's entries)
// and the flag of the lazy engine start. The tables are
// filled once on the main thread at start-up and only read afterwards.
#pragma once
#include <cstdint>

#include "engine/control/engine_interface.h"

namespace frontend {

// Build-dependent names: the module's file and the identity line.
#if defined(__i386__)
constexpr const char* engineModuleFileName = "qln12.w32.so";
constexpr const char* engineIdentityLine = "id name Quillon 12 (Win32) UCI";
constexpr bool denormalsAreZero = false;
#else
constexpr const char* engineModuleFileName = "qln12.x64.so";
constexpr const char* engineIdentityLine = "id name Quillon 12 UCI";
constexpr bool denormalsAreZero = true;
#endif

// The engine has been started (or its start has been tried).
extern bool engineStarted;
// The front end's callbacks handed to EngineInit, and the entries it fills.
extern engine::HostCallbacks hostCallbacks;
extern engine::EngineEntries engineEntries;

// The result of binding the module.
enum BindResult : int32_t { BindOk = 0, BindNoModule = 1, BindNoEntryPoint = 2 };

// Loads the module beside the executable, fills the callbacks and calls its
// EngineInit; on failure reports the error line and leaves the tables alone.
BindResult bindEngineModule();

// Fills the callback slots that the front end provides.
void fillHostCallbacks(engine::HostCallbacks* callbacks);

}  // namespace frontend
