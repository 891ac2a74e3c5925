#include "helpers/cpu_pinning.h"

#include <sched.h>

#include "platform/processors.h"

namespace testing_uci {

std::vector<std::string> pinnedToCpus(int count) {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return {};
  // One CPU reads as one processor wherever it lies: the engine never
  // counts fewer than one.
  const int limit = count == 1 ? CPU_SETSIZE : platform::CountedProcessorBits;
  std::string list;
  int taken = 0;
  for (int cpu = 0; cpu < limit && cpu < CPU_SETSIZE && taken < count; ++cpu) {
    if (!CPU_ISSET(cpu, &set)) continue;
    list += (taken++ > 0 ? "," : "") + std::to_string(cpu);
  }
  if (taken < count) return {};
  return {"taskset", "-c", list};
}

}  // namespace testing_uci
