// Counting semaphore with a maximum, and a wait for any one of several.
// The search's thread pool hands moves over with them: a release beyond the
// maximum fails (and is reported by the caller's check), a wait-any returns
// the index of the semaphore it took a token from.
#pragma once
#include <cstdint>

namespace platform {

struct Semaphore;

// A semaphore holding `initial` tokens, never more than `maximum`.
// Null when the arguments are inconsistent (initial outside 0..maximum).
Semaphore* createSemaphore(int32_t initial, int32_t maximum);
void closeSemaphore(Semaphore* semaphore);

// Adds one token; false (and no change) when that would exceed the maximum.
bool releaseSemaphore(Semaphore* semaphore);

// Takes one token, waiting as long as needed.
void waitSemaphore(Semaphore* semaphore);

// Takes one token only when one is free now.
bool tryWaitSemaphore(Semaphore* semaphore);

// Waits until any of the `count` semaphores has a token, takes it and
// returns its index (the lowest free one when several are); -1 for an empty list.
int waitAnySemaphore(Semaphore* const* semaphores, int count);

}  // namespace platform
