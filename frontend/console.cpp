#include "frontend/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace frontend {

void printLine(const char* format, ...) {
  // Format into the line buffer; vsnprintf cuts an overlong text.
  char line[OutputLineBytes];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof(line), format, arguments);
  va_end(arguments);
  // One write for the text and its newline keeps the line whole
  // under the stream's own lock.
  std::fprintf(stdout, "%s\n", line);
  // Flush at once: the controller waits for every line.
  std::fflush(stdout);
}

void reportError(const char* message, const char* context) {
  printLine("info string Error (%s): %s", message, context);
}

void assertFailed(const char* sourceFile, int32_t line) {
  // The format ends in a newline of its own, so an empty line follows.
  printLine("info string Assert Failed: %s+%d\n", sourceFile, static_cast<int>(line));
  // Other threads may still run: end without static destructors.
  std::quick_exit(1);
}

}  // namespace frontend
