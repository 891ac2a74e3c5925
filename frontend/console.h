// The front end's single path to standard output. Every line, from any
// thread (main, command worker, timer thread, the engine's search threads),
// is formatted into one buffer and leaves in one write with its newline, so
// lines of different threads never mix; each is flushed at once so a
// controller reading a pipe sees it without delay.
#pragma once
#include <cstdint>

namespace frontend {

// Room for one formatted line: at most OutputLineBytes - 1 characters; a
// longer text is cut there.
constexpr int32_t OutputLineBytes = 2048;

// Formats a line printf-style, writes it with a newline and flushes.
void printLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "info string Error (message): context".
void reportError(const char* message, const char* context);

// The front end's fatal consistency failure: prints the source file's name
// and line, then ends the process with exit code 1.
[[noreturn]] void assertFailed(const char* sourceFile, int32_t line);

}  // namespace frontend

// The front end's own consistency check; live in every build.
#define FRONTEND_CHECK(condition) \
  ((condition) ? (void)0 : ::frontend::assertFailed("ucitodll", __LINE__))
