// Loading a shared library by its full path, for tools and tests that do
// not live beside the module (the program itself uses module.h).
#pragma once

namespace platform {

// Loads the shared library at `path` with immediate, local binding; null
// when it is missing or cannot be loaded. `error` (when given) receives the
// loader's message or null.
void* loadModuleFromPath(const char* path, const char** error);

}  // namespace platform
