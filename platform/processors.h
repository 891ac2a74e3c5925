// Processor count from the process affinity mask, as the engine's thread pool
// and the "Threads" option's range use it.
#pragma once

namespace platform {

// CPUs the process may run on, counting only the low 40 mask bits in the
// 64-bit build and the low 32 in the 32-bit one (the width of the original
// affinity mask); never less than 1.
int processorCount();

}  // namespace platform
