// Search control on the main thread: the "go" and "ponderhit" commands, the
// stop logic that several commands share, and the search timer that the
// engine arms through its callback table.
//
// A stop is never handed to the engine before the search has a move to
// play: while no principal variation has been reported (and the position
// has a legal move) the wish is recorded in `stopRequested`, and the next
// information line passes it on. The search-output lock (search_output.h)
// guards that flag together with the best and ponder moves, so a stop that
// arrives just as the first line is reported is never lost.
#pragma once
#include <atomic>
#include <cstdint>

namespace frontend {

// A stop arrived before any best move was known (guarded by the output lock).
extern bool stopRequested;
// "ponderhit" or "stop" arrived for the current request; a reply that the
// worker holds back in ponder or infinite mode (a book move, a position
// without moves) is released by it.
extern std::atomic<bool> searchReleased;
// A think command has been posted and its "bestmove" not yet printed.
extern std::atomic<bool> searchRunning;

bool handleGo(const char* line, char** tokens, int32_t count, const char* first);
bool handlePonderHit(const char* line, char** tokens, int32_t count, const char* first);

// Resets the search-control state before a search is posted.
void prepareSearch();

// Asks the running search to stop, or records the wish.
void stopSearch();

// Stops a running search and waits until its "bestmove" is out.
void endRunningSearch();

// The engine's timer callback: ms > 0 arms the target timer, ms < 0 the
// extension timer for -ms, 0 cancels both (waiting for a running callback).
void setSearchTimer(int32_t ms);

// The timer thread's callback: forwards to the engine's timer entry.
void onSearchTimer(void* context, bool fired);

// The numbers of one think line, as "go" reads them.
struct ThinkRequest {
  int32_t mode;
  int32_t type;
  int32_t whiteTime;
  int32_t blackTime;
  int32_t movesToGo;
  int32_t whiteIncrement;
  int32_t blackIncrement;
  int32_t extra;
  int32_t contempt;  // the "Contempt" value, or 0 in infinite analysis
};

// Reads the keywords of a "go" line (tokens after the first), reporting
// unsupported keywords and missing values as error lines.
ThinkRequest parseGoTokens(const char* line, char** tokens, int32_t count, int32_t contempt);

}  // namespace frontend
