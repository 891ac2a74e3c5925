#include "platform/process.h"

#include <csignal>

namespace platform {

void ignoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace platform
