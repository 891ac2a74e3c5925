// The fixed linear congruential generator. Each user keeps its own state:
// the hash-key tables draw from a state seeded with 0 (so keys are the same
// in every run and build, which the opening book relies on), the book from a
// state seeded from the clock.
#pragma once
#include <cstdint>

namespace engine {

struct RandomState {
  uint32_t state = 0;
};

inline void seedRandom(RandomState& r, uint32_t seed) { r.state = seed; }

// One draw: 15 bits, 0..0x7FFF.
inline int32_t drawRandom(RandomState& r) {
  r.state = r.state * 214013u + 2531011u;
  return int32_t((r.state >> 16) & 0x7FFF);
}

}  // namespace engine
