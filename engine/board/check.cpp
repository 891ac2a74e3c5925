#include "engine/board/check.h"

#include <cstdio>
#include <cstdlib>

namespace engine {

void checkFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", condition, file, line);
  std::fflush(stderr);
  std::abort();
}

}  // namespace engine
