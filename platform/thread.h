// Starting a detached thread with an 8 MB stack. The engine's helper
// threads and the front end's command worker live until the process ends,
// so nobody joins them.
#pragma once

namespace platform {

using ThreadFunction = void (*)(void* argument);

// Starts function(argument) on a new thread; false when the system refuses.
bool startThread(ThreadFunction function, void* argument);

}  // namespace platform
