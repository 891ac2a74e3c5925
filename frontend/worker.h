// The command worker and its one-slot channel. Every search runs on the
// worker thread, because the engine's think entry blocks its caller until
// the search is over; the main thread posts one internal command line at a
// time ("think" with eight numbers, or "waitforidle") and goes on reading
// the controller's commands.
//
// The channel is a text buffer and two auto-reset events: `commandPosted`
// (a command waits in the buffer) and `workerIdle` (the worker has finished
// its previous command). A poster first waits for `workerIdle`, so the
// buffer is written only while the worker does not read it and at most one
// command is ever pending.
#pragma once
#include <cstdint>

namespace frontend {

// The channel's buffer, and the size of the worker's copies of it (a posted
// command has at most WorkerCopyBytes - 1 characters).
constexpr int32_t CommandBufferBytes = 4096;
constexpr int32_t WorkerCopyBytes = 2048;

// Creates the channel, applies all options and starts the worker; false
// when the worker thread could not be created.
bool startEngine();

// True once the worker thread exists. Without it nothing may be posted:
// a post would wait for its idle signal forever.
bool workerAvailable();

// Hands one command line to the worker; returns once the command is in the
// buffer. False (nothing posted) when there is no worker.
bool postCommand(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Posts "waitforidle": returns once a running command (a search) has ended.
void waitForWorkerIdle();

// Runs one posted command (the worker's loop body).
void dispatchCommand();

// Worker handlers; their results are not used.
bool handleThink(const char* line, char** tokens, int32_t count, const char* first);
bool handleWaitForIdle(const char* line, char** tokens, int32_t count, const char* first);

// One search request of the worker: the side to move's clock and increment
// in milliseconds (type 6), and a depth limit for the iterations (0: none).
void runThink(int32_t mode, int32_t type, int32_t ownTime, int32_t movesToGo, int32_t ownIncrement,
              int32_t depthLimit);

// Search modes of the think line.
constexpr int32_t ModeNormal = 0;
constexpr int32_t ModePonder = 1;
constexpr int32_t ModeInfinite = 2;

// Time-control types of the think line.
constexpr int32_t TypeDepth = 0;
constexpr int32_t TypeAnalysis = 1;
constexpr int32_t TypeMoveTime = 4;
constexpr int32_t TypeClock = 6;

}  // namespace frontend
