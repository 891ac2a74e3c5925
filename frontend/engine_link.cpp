#include "frontend/engine_link.h"

#include "frontend/console.h"
#include "frontend/search_control.h"
#include "frontend/search_output.h"
#include "platform/module.h"
#include "tablebases/block_cache.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

namespace frontend {

bool engineStarted = false;
engine::HostCallbacks hostCallbacks = {};
engine::EngineEntries engineEntries = {};

namespace {

// The probe slot passes the en-passant square as a signed word.
int32_t probeTablebases(const int8_t* board, int32_t side, int32_t epSquare, int32_t* outScore) {
  return tablebases::tbProbe(board, side, static_cast<uint32_t>(epSquare), outScore);
}

}  // namespace

void fillHostCallbacks(engine::HostCallbacks* callbacks) {
  callbacks->setSearchTimer = setSearchTimer;
  callbacks->reportPv = reportPv;
  callbacks->reportCurrMove = reportCurrMove;
  callbacks->setNodeCount = setNodeCount;
  callbacks->tbProbe = probeTablebases;
}

BindResult bindEngineModule() {
  void* module = platform::loadModuleBesideExecutable(engineModuleFileName);
  if (module == nullptr) {
    reportError("Cannot find engine module", "");
    return BindNoModule;
  }
  auto engineInit = reinterpret_cast<engine::EngineInitFunction>(platform::findModuleSymbol(module, "EngineInit"));
  if (engineInit == nullptr) {
    reportError("Engine entry point not found", "");
    return BindNoEntryPoint;
  }
  fillHostCallbacks(&hostCallbacks);
  engineInit(&hostCallbacks, &engineEntries);
  return BindOk;
}

}  // namespace frontend
