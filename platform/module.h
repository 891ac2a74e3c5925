// Loading the engine module. The module lies beside the program's own
// executable and is found by its file name there (the program's directory,
// not the current one, as a Windows loader would look first). It is loaded
// with local symbol binding, so its copy of the engine core never mixes
// with the front end's linked copy.
#pragma once

namespace platform {

// Loads the shared library `fileName` from the directory of the running
// executable; null when it is missing or cannot be loaded (wrong width,
// not a library).
void* loadModuleBesideExecutable(const char* fileName);

// The address of an exported symbol, or null when the module lacks it.
void* findModuleSymbol(void* module, const char* symbolName);

}  // namespace platform
