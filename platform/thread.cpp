#include "platform/thread.h"

#include <pthread.h>

namespace platform {

namespace {

// The search recurses deeply with its position records on the stack; every
// thread gets the same explicit stack, whatever the process limit says.
constexpr size_t ThreadStackBytes = size_t(8) << 20;

struct StartRecord {
  ThreadFunction function;
  void* argument;
};

void* threadEntry(void* raw) {
  StartRecord start = *static_cast<StartRecord*>(raw);
  delete static_cast<StartRecord*>(raw);
  start.function(start.argument);
  return nullptr;
}

}  // namespace

bool startThread(ThreadFunction function, void* argument) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attributes, ThreadStackBytes);
  StartRecord* start = new StartRecord{function, argument};
  pthread_t handle;
  const bool started = pthread_create(&handle, &attributes, threadEntry, start) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) delete start;
  return started;
}

}  // namespace platform
