// The processor's floating-point control: denormal results flushed to zero
// and denormal operands read as zero, so no evaluation arithmetic ever takes
// the slow denormal path.
#pragma once

namespace platform {

// Sets flush-to-zero, and denormals-are-zero where `denormalsAreZero` holds.
void setFlushToZero(bool denormalsAreZero);

}  // namespace platform
