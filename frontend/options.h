// The option table: the fourteen UCI options, their values kept as text.
//
// Rows are static; each value is a heap copy owned by its row, replaced at
// every change. The main thread writes values ("setoption", start-up); the
// command worker reads a few of them during a search request ("OwnBook",
// "Book_selectivity", "MultiPV"), so every read and write of a value goes
// through this file's accessors, which hold one lock for the moment of the
// copy (a value replaced while the worker read it would otherwise be freed
// under its feet).
#pragma once
#include <cstdint>
#include <string>

namespace frontend {

struct OptionEntry {
  const char* name;
  const char* defaultText;
  const char* type;   // "spin", "check" or "string"
  const char* range;  // "min A max B" for spin options, else empty
  char* value;        // null until resetOptions
};

// The table, ended by a row with a null name.
extern OptionEntry optionTable[];

// The Threads row's default ("%d") and range ("min 1 max %d") texts, written
// once at start-up from the processor count.
void setThreadsOptionTexts(int32_t processorCount);

// Equal texts without regard to case.
bool sameTextNoCase(const char* a, const char* b);

// The first row whose name equals `name` without regard to case, or null.
OptionEntry* findOption(const char* name);

// Every row's value := a copy of its default.
void resetOptions();

// Replaces the named option's value with a copy of `text`; false (nothing
// changed) when no option has that name.
bool setOptionString(const char* name, const char* text);

// The decimal conversion of option values: leading blanks, an optional
// sign, digits up to the first other character; no digits give 0. Values
// beyond the 32-bit range saturate.
int32_t textToNumber(const char* text);

// Readers of the named option's current value (0 / false / empty when the
// option is unknown or has no value yet).
int32_t optionNumber(const char* name);
bool optionIsTrue(const char* name);
// The number of a spin option bounded to its listed range ("min A max B"),
// for readers whose arithmetic needs the bound; the stored text is kept.
int32_t optionSpinNumber(const char* name);
// A copy of the whole value, however long: a file or directory name cut
// short would name another file.
std::string optionText(const char* name);

// Prints one "option name ..." line per row, with current values.
void listOptions();

}  // namespace frontend
