#include "platform/float_control.h"

#include <xmmintrin.h>

namespace platform {

namespace {
constexpr unsigned FlushToZeroBit = 0x8000;
constexpr unsigned DenormalsAreZeroBit = 0x0040;
}  // namespace

void setFlushToZero(bool denormalsAreZero) {
  unsigned bits = FlushToZeroBit | (denormalsAreZero ? DenormalsAreZeroBit : 0);
  _mm_setcsr(_mm_getcsr() | bits);
}

}  // namespace platform
