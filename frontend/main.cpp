// quillon_uci: the console UCI front end. It prepares the process, binds the
// engine module and reads UCI commands until "quit" or the end of input.
#include <cstdio>
#include <cstdlib>

#include "frontend/console.h"
#include "frontend/engine_link.h"
#include "frontend/options.h"
#include "frontend/uci_loop.h"
#include "platform/float_control.h"
#include "platform/process.h"
#include "platform/processors.h"

namespace {
constexpr int ExitNoModule = -1;
constexpr int ExitNormal = 1;
}  // namespace

int main() {
  // Denormals never take the slow path in the evaluation's floats.
  platform::setFlushToZero(frontend::denormalsAreZero);
  // A controller that closes its end of the pipe ends nothing here.
  platform::ignoreBrokenPipe();
  // The engine is started lazily, by the first command that needs it.
  frontend::engineStarted = false;
  // The processor count is the Threads option's default and maximum.
  frontend::setThreadsOptionTexts(platform::processorCount());
  frontend::resetOptions();
  // Bind the engine module; without it there is nothing to run.
  if (frontend::bindEngineModule() != frontend::BindOk) return ExitNoModule;
  // The command loop runs on this thread until "quit" or end of input.
  frontend::uciLoop();
  // Nothing is torn down: the worker, the timer thread and the engine's
  // threads may still wait, so the process ends without running static
  // destructors under their feet.
  std::fflush(stdout);
  std::quick_exit(ExitNormal);
}
