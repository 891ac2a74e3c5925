// The UCI command loop: reads the controller's lines on the main thread,
// splits each into tokens and dispatches it through a table of commands
// that also fixes how many tokens each may have. The command worker's
// internal lines use the same record and splitter.
#pragma once
#include <cstdint>

namespace frontend {

// A line holds at most LineBytes - 1 characters; longer lines are refused.
// Room for the "position" line of the longest game the 75-move rule allows
// (under 17,700 plies of at most five characters and a blank each).
constexpr int32_t LineBytes = 131072;
// Tokens one line may hold: as many as its length allows, so a line that
// fits is never refused for its token count.
constexpr int32_t MaxTokens = LineBytes / 2;

// A handler gets the whole line, the tokens, their count and the first
// token; false ends the loop.
using CommandHandler = bool (*)(const char* line, char** tokens, int32_t count, const char* first);

// One row of a command table; a null name ends the table, a null handler
// means "accepted and ignored", maxTokens -1 means no maximum.
struct CommandEntry {
  const char* name;
  int32_t minTokens;
  int32_t maxTokens;
  CommandHandler handler;
};

extern const CommandEntry uciCommandTable[];

// Cuts the text in place into blank-separated tokens, stores at most
// `maxTokens` of them and returns how many there are (also beyond the
// maximum, so the caller can refuse the line).
int32_t splitTokens(char* text, char** tokens, int32_t maxTokens);

// Cuts the text at its first newline.
void stripNewline(char* text);

// Runs one line through the command table; false when it ends the loop.
bool dispatchUciLine(const char* line);

// Reads and runs lines until "quit" or the end of standard input.
void uciLoop();

bool handleUci(const char* line, char** tokens, int32_t count, const char* first);
bool handleIsReady(const char* line, char** tokens, int32_t count, const char* first);
bool handleStop(const char* line, char** tokens, int32_t count, const char* first);
bool handleQuit(const char* line, char** tokens, int32_t count, const char* first);

// Starts the engine on the first command that needs it, reporting a failed
// start once with the command's line; the engine counts as started either way.
void ensureEngineStarted(const char* line);

}  // namespace frontend
