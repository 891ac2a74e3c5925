#include "platform/thread.h"

#include <system_error>
#include <thread>

namespace platform {

bool startThread(ThreadFunction function, void* argument) {
  try {
    std::thread(function, argument).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace platform
