#include "platform/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>

namespace platform {

namespace {
constexpr size_t PathBytes = PATH_MAX;
}

void* loadModuleBesideExecutable(const char* fileName) {
  // The executable's real path; readlink does not terminate the text.
  char path[PathBytes];
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return nullptr;
  path[length] = '\0';
  char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return nullptr;
  slash[1] = '\0';
  // Directory + file name must fit, or nothing is loaded.
  size_t directoryLength = static_cast<size_t>(slash + 1 - path);
  size_t nameLength = std::strlen(fileName);
  if (directoryLength + nameLength + 1 > sizeof(path)) return nullptr;
  std::memcpy(slash + 1, fileName, nameLength + 1);
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* findModuleSymbol(void* module, const char* symbolName) {
  if (module == nullptr) return nullptr;
  return dlsym(module, symbolName);
}

}  // namespace platform
