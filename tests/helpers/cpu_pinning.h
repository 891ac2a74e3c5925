// Pins a program under test to some of the CPUs this process may use, for
// the tests of the "Threads" option, which counts the program's affinity
// mask. The CPUs are read from this process's own mask, as a CI machine or
// a container may allow any set of them (not necessarily CPU 0).
#pragma once
#include <string>
#include <vector>

namespace testing_uci {

// A prefix for startUci that runs the program on `count` CPUs of this
// process's affinity mask ({"taskset", "-c", "2,5,6"}); empty when the mask
// has fewer. Several CPUs are taken among those the engine counts
// (platform::CountedProcessorBits); a single one may be any.
std::vector<std::string> pinnedToCpus(int count);

}  // namespace testing_uci
