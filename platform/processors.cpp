#include "platform/processors.h"

#include <sched.h>

namespace platform {

int processorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  int count = 0;
  for (int cpu = 0; cpu < CountedProcessorBits && cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &set)) ++count;
  return count > 0 ? count : 1;
}

}  // namespace platform
