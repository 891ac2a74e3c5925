// Processor count from the process affinity mask, as the engine's thread pool
// and the "Threads" option's range use it.
#pragma once

namespace platform {

// The low bits of the affinity mask that count: 40 in the 64-bit build and
// 32 in the 32-bit one (the width of the original affinity mask).
constexpr int CountedProcessorBits = sizeof(void*) == 8 ? 40 : 32;

// CPUs the process may run on among the first CountedProcessorBits; never
// less than 1.
int processorCount();

}  // namespace platform
