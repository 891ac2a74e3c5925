// A test host for the engine module: loads the built module by path, binds
// it through EngineInit exactly as the front end does, supplies recording
// callbacks (search timer on real one-shot timers, information lines,
// current moves, node counts), and sets up the positions, searches and
// helper counts that the module's tests share.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/control/engine_interface.h"
#include "helpers/module_file.h"

namespace testing_host {

struct ReportedLine {
  int32_t lineIndex;
  int32_t depth;
  int32_t score;
  int32_t time;
  std::vector<engine::Move> pv;
  int32_t currMovesBefore;  // current-move calls made before this line came
};

// Loads and binds the module on the first call and sizes its hash table;
// false (with the loader's message) when the module cannot be loaded.
bool moduleLoaded(std::string* reason);

// The module's entries (after moduleLoaded succeeded).
engine::EngineEntries& moduleEntries();

// Fails the running test, with the loader's reason, when the module cannot
// be loaded: the build makes the module, so a missing or broken one is a
// fault, never a reason to skip.
#define REQUIRE_ENGINE_MODULE()                                               \
  do {                                                                        \
    std::string reason_;                                                      \
    if (!testing_host::moduleLoaded(&reason_)) FAIL() << reason_;             \
  } while (0)

// What the callbacks recorded since the last position was set.
std::vector<ReportedLine> reportedLines();
std::vector<int32_t> timerCalls();
int32_t nodeCountCalls();
int32_t currMoveCalls();
// How many threads announced root moves: above 1 when helpers searched some.
int32_t currMoveThreadCount();
// While set, the first root move announced stops the search (a stop that
// lands inside the first iteration, before any line).
void stopAtFirstCurrMove(bool on);

// The search's wall time in ms: resetStopFlags, setTimeControl and think.
int64_t runSearch(int32_t type, int32_t time, int32_t moves, int32_t lines, int32_t mode);

// Clears the records and gives the engine `fen` as its position.
void setPosition(const char* fen);
// A fixed-depth search of `fen` from a cleared table (so that no stored
// score of another search shortens or lengthens a mate distance): the last
// line reported. Every line must start with a legal move of the position.
ReportedLine searchToDepth(const char* fen, int32_t depth);
// The last line reported; a failure when there is none.
ReportedLine lastLine();
// Every line reported so far starts with a legal move of `fen`.
void expectLegalLines(const char* fen);
// Helper threads beside the master, through the "Threads" word, which
// counts the master too.
void setHelpers(int32_t helpers);

// A move from its coordinate text ("e2e4"; no promotion letter).
engine::Move moveOf(const char* text);

}  // namespace testing_host
