#include "platform/module_path.h"

#include <dlfcn.h>

namespace platform {

void* loadModuleFromPath(const char* path, const char** error) {
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (error != nullptr) *error = module == nullptr ? dlerror() : nullptr;
  return module;
}

}  // namespace platform
