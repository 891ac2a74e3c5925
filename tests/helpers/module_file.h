// The engine module file this build makes, and a loader for it by path:
// the module host loads it to search in-process, and the pipe helpers copy
// it beside a copy of quillon_uci (and load it themselves to say why a
// program could not start).
#pragma once
#include <string>

namespace testing_host {

// The module's file path in this build.
std::string modulePath();

// Loads the shared library at `path` with immediate, local binding; null
// when it is missing or cannot be loaded. `error` (when given) receives the
// loader's message or null. (The program itself loads the module beside it
// through platform/module.h.)
void* loadModuleFromPath(const char* path, const char** error);

}  // namespace testing_host
