// Process-wide settings of the console program.
#pragma once

namespace platform {

// A write to a standard output whose reader has gone must not end the
// process: it fails quietly (output errors are not detected).
void ignoreBrokenPipe();

}  // namespace platform
