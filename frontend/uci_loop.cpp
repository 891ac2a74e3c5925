#include "frontend/uci_loop.h"

#include <cstdio>
#include <cstring>

#include "frontend/console.h"
#include "frontend/engine_link.h"
#include "frontend/position_command.h"
#include "frontend/options.h"
#include "frontend/search_control.h"
#include "frontend/setoption.h"
#include "frontend/worker.h"

namespace frontend {

namespace {

// How much of an overlong line's start the error line quotes.
constexpr int32_t OverlongQuoteChars = 40;

// Cuts the newline and, for controllers that end lines with CR LF, one
// carriage return before it.
char* trimLine(char* line) {
  stripNewline(line);
  size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\r') line[length - 1] = '\0';
  return line;
}

}  // namespace

const CommandEntry uciCommandTable[] = {
    {"uci", 1, 1, handleUci},
    {"debug", 1, 2, nullptr},
    {"isready", 1, 1, handleIsReady},
    {"setoption", 3, 5, handleSetOption},
    {"ucinewgame", 1, 1, handleUciNewGame},
    {"position", 2, -1, handlePosition},
    {"quit", 1, 1, handleQuit},
    {"go", 1, -1, handleGo},
    {"stop", 1, 1, handleStop},
    {"ponderhit", 1, 1, handlePonderHit},
    {nullptr, 0, 0, nullptr},
};

int32_t splitTokens(char* text, char** tokens, int32_t maxTokens) {
  int32_t count = 0;
  char* cursor = text;
  for (;;) {
    // Only the blank separates; a tab belongs to its token.
    while (*cursor == ' ') ++cursor;
    if (*cursor == '\0') break;
    if (count < maxTokens) tokens[count] = cursor;
    ++count;
    while (*cursor != ' ' && *cursor != '\0') ++cursor;
    if (*cursor == '\0') break;
    *cursor++ = '\0';
  }
  return count;
}

void stripNewline(char* text) {
  char* newline = std::strchr(text, '\n');
  if (newline != nullptr) *newline = '\0';
}

bool dispatchUciLine(const char* line) {
  static char copy[LineBytes];
  static char* tokens[MaxTokens];
  std::snprintf(copy, sizeof(copy), "%s", line);
  int32_t count = splitTokens(copy, tokens, MaxTokens);
  if (count == 0) return true;
  const CommandEntry* row = uciCommandTable;
  while (row->name != nullptr && std::strcmp(row->name, tokens[0]) != 0) ++row;
  if (row->name == nullptr) {
    reportError("Unknown command", tokens[0]);
    return true;
  }
  if (row->handler == nullptr) return true;
  if (count < row->minTokens) {
    reportError("too few parameters", line);
    return true;
  }
  // The token array's bound counts as a maximum for every command.
  if ((row->maxTokens != -1 && count > row->maxTokens) || count > MaxTokens) {
    reportError("too many parameters", line);
    return true;
  }
  return row->handler(line, tokens, count, tokens[0]);
}

void uciLoop() {
  static char line[LineBytes];
  while (std::fgets(line, sizeof(line), stdin) != nullptr) {
    size_t length = std::strlen(line);
    // A line that filled the buffer without its newline is overlong (unless
    // the input simply ends there): refuse it whole and skip its rest, so
    // no tail of it runs as a command of its own.
    if (length == sizeof(line) - 1 && line[length - 1] != '\n') {
      // Exactly a full line: its newline (or the end of input) comes next.
      int next = std::fgetc(stdin);
      if (next == '\n' || next == EOF) {
        if (!dispatchUciLine(trimLine(line))) return;
        continue;
      }
      char quote[OverlongQuoteChars + 1];
      std::memcpy(quote, line, OverlongQuoteChars);
      quote[OverlongQuoteChars] = '\0';
      int c = next;
      while (c != EOF && c != '\n') c = std::fgetc(stdin);
      reportError("line too long", quote);
      if (c == EOF) break;
      continue;
    }
    if (!dispatchUciLine(trimLine(line))) return;
  }
}

bool handleUci(const char* /*line*/, char** /*tokens*/, int32_t count, const char* /*first*/) {
  FRONTEND_CHECK(count == 1);
  printLine("%s", engineIdentityLine);
  printLine("id author Ravel Osk / Idris Marsh");
  printLine("id copyright Copyright (C) Ravel Osk and Idris Marsh");
  listOptions();
  printLine("uciok");
  return true;
}

void ensureEngineStarted(const char* line) {
  if (engineStarted) return;
  if (!startEngine()) reportError("Engine initialization failed", line);
  engineStarted = true;
}

bool handleIsReady(const char* line, char** /*tokens*/, int32_t count, const char* /*first*/) {
  FRONTEND_CHECK(count == 1);
  ensureEngineStarted(line);
  printLine("readyok");
  return true;
}

bool handleStop(const char* line, char** /*tokens*/, int32_t count, const char* /*first*/) {
  FRONTEND_CHECK(count == 1);
  ensureEngineStarted(line);
  stopSearch();
  return true;
}

bool handleQuit(const char* /*line*/, char** /*tokens*/, int32_t count, const char* /*first*/) {
  FRONTEND_CHECK(count == 1);
  return false;
}

}  // namespace frontend
