// Internal consistency checks of the engine core. They stay live in release
// builds (unlike assert, which NDEBUG removes) and end the process with the
// condition, source file and line.
#pragma once

namespace engine {
[[noreturn]] void checkFailed(const char* condition, const char* file, int line);
}

#define QL_CHECK(condition) \
  ((condition) ? (void)0 : ::engine::checkFailed(#condition, __FILE__, __LINE__))
