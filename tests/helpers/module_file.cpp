#include "helpers/module_file.h"

#include <dlfcn.h>

namespace testing_host {

std::string modulePath() {
  return std::string(QUILLON_BINARY_DIR) + (sizeof(void*) == 8 ? "/qln12.x64.so" : "/qln12.w32.so");
}

void* loadModuleFromPath(const char* path, const char** error) {
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (error != nullptr) *error = module == nullptr ? dlerror() : nullptr;
  return module;
}

}  // namespace testing_host
