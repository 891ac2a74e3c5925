// Search control on the main thread: the "go" and "ponderhit" commands, the
// stop logic that several commands share, and the search timer that the
// engine arms through its callback table.
//
// Every "stop" goes to the engine at once. The engine's root driver ends a
// stopped search with a move (its best so far, else the first legal one)
// and the worker puts a legal move in place of a missing or illegal one, so
// "bestmove" follows a stop promptly whatever kind of search it ended, and
// no command ever waits behind a search that only a stop could end.
#pragma once
#include <atomic>
#include <cstdint>

namespace frontend {

// "ponderhit" or "stop" arrived for the current request; a reply that the
// worker holds back in ponder or infinite mode (a book move, a position
// without moves) is released by it.
extern std::atomic<bool> searchReleased;
// A think command has been posted and its move is not yet known (cleared
// by the worker just before it prints "bestmove").
extern std::atomic<bool> searchRunning;

bool handleGo(const char* line, char** tokens, int32_t count, const char* first);
bool handlePonderHit(const char* line, char** tokens, int32_t count, const char* first);

// Resets the search-control state before a search is posted.
void prepareSearch();

// Tells the engine to stop the running search, and releases a reply held
// back in ponder or infinite mode.
void stopSearch();

// Stops a running search, if any, and waits until its "bestmove" is out.
void endRunningSearch();

// The engine's timer callback: ms > 0 arms the target timer, ms < 0 the
// extension timer for -ms, 0 cancels both (waiting for a running callback).
void setSearchTimer(int32_t ms);

// The timer thread's callback: forwards to the engine's timer entry.
void onSearchTimer(void* context, bool fired);

// The numbers of one think line, as "go" reads them. Clocks and
// increments are in milliseconds, a move time too; a fixed depth stands in
// both time fields. `depthLimit` caps the iterations of a search on a clock,
// a move time or in analysis (0: no cap).
struct ThinkRequest {
  int32_t mode;
  int32_t type;
  int32_t whiteTime;
  int32_t blackTime;
  int32_t movesToGo;
  int32_t whiteIncrement;
  int32_t blackIncrement;
  int32_t depthLimit;
  int32_t contempt;  // the "Contempt" value, or 0 in infinite analysis
};

// Reads the keywords of a "go" line (tokens after the first), reporting
// unsupported keywords and missing values as error lines.
ThinkRequest parseGoTokens(const char* line, char** tokens, int32_t count, int32_t contempt);

}  // namespace frontend
