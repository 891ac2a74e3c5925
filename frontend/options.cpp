#include "frontend/options.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "frontend/console.h"

namespace frontend {

namespace {

// Room for the processor count in the Threads row's texts.
constexpr int32_t ThreadsTextBytes = 32;
char threadsDefaultText[ThreadsTextBytes] = "1";
char threadsRangeText[ThreadsTextBytes] = "min 1 max 1";

// Guards every value pointer and the text it points at.
std::mutex optionLock;

char* copyText(const char* text) {
  size_t length = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  FRONTEND_CHECK(copy != nullptr);
  std::memcpy(copy, text, length + 1);
  return copy;
}

// Frees the old value and stores a copy of the text (caller holds the lock).
void replaceString(char** slot, const char* text) {
  char* fresh = copyText(text);
  std::free(*slot);
  *slot = fresh;
}

}  // namespace

OptionEntry optionTable[] = {
    {"Hash", "16", "spin", "min 4 max 4095", nullptr},
    {"Ponder", "false", "check", "", nullptr},
    {"OwnBook", "true", "check", "", nullptr},
    {"MultiPV", "1", "spin", "min 1 max 50", nullptr},
    {"Book_file", "ql12.bin", "string", "", nullptr},
    {"Book_selectivity", "5", "spin", "min 0 max 30", nullptr},
    {"Contempt", "0", "spin", "min -500 max 500", nullptr},
    {"Use_tablebases", "true", "check", "", nullptr},
    {"NalimovPath", "C:\\TBs", "string", "", nullptr},
    {"NalimovCache", "32", "spin", "min 1 max 256", nullptr},
    {"UCI_LimitStrength", "false", "check", "", nullptr},
    {"UCI_ELO", "3000", "spin", "min 1200 max 3000", nullptr},
    {"Clear_hash", "false", "check", "", nullptr},
    {"Threads", threadsDefaultText, "spin", threadsRangeText, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

void setThreadsOptionTexts(int32_t processorCount) {
  std::snprintf(threadsDefaultText, sizeof(threadsDefaultText), "%d", static_cast<int>(processorCount));
  std::snprintf(threadsRangeText, sizeof(threadsRangeText), "min 1 max %d", static_cast<int>(processorCount));
}

bool sameTextNoCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

OptionEntry* findOption(const char* name) {
  for (OptionEntry* row = optionTable; row->name != nullptr; ++row)
    if (sameTextNoCase(row->name, name)) return row;
  return nullptr;
}

void resetOptions() {
  std::lock_guard<std::mutex> guard(optionLock);
  for (OptionEntry* row = optionTable; row->name != nullptr; ++row) replaceString(&row->value, row->defaultText);
}

bool setOptionString(const char* name, const char* text) {
  OptionEntry* row = findOption(name);
  if (row == nullptr) return false;
  std::lock_guard<std::mutex> guard(optionLock);
  replaceString(&row->value, text);
  return true;
}

int32_t textToNumber(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' || *text == '\f') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  // Accumulate in 64 bits and stop growing at the bound, so any digit
  // string gives a defined result.
  const int64_t bound = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > bound) value = bound;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

int32_t optionNumber(const char* name) {
  OptionEntry* row = findOption(name);
  if (row == nullptr) return 0;
  std::lock_guard<std::mutex> guard(optionLock);
  return row->value != nullptr ? textToNumber(row->value) : 0;
}

int32_t optionSpinNumber(const char* name) {
  OptionEntry* row = findOption(name);
  if (row == nullptr) return 0;
  std::lock_guard<std::mutex> guard(optionLock);
  int32_t value = row->value != nullptr ? textToNumber(row->value) : 0;
  int least = 0;
  int most = 0;
  if (row->range == nullptr || std::sscanf(row->range, "min %d max %d", &least, &most) != 2) return value;
  return value < least ? least : (value > most ? most : value);
}

bool optionIsTrue(const char* name) {
  OptionEntry* row = findOption(name);
  if (row == nullptr) return false;
  std::lock_guard<std::mutex> guard(optionLock);
  return row->value != nullptr && sameTextNoCase(row->value, "true");
}

std::string optionText(const char* name) {
  OptionEntry* row = findOption(name);
  if (row == nullptr) return std::string();
  std::lock_guard<std::mutex> guard(optionLock);
  return row->value != nullptr ? std::string(row->value) : std::string();
}

void listOptions() {
  for (OptionEntry* row = optionTable; row->name != nullptr; ++row) {
    std::lock_guard<std::mutex> guard(optionLock);
    const char* value = row->value != nullptr ? row->value : "";
    if (row->range != nullptr && row->range[0] != '\0')
      printLine("option name %s type %s default %s %s", row->name, row->type, value, row->range);
    else
      printLine("option name %s type %s default %s", row->name, row->type, value);
  }
}

}  // namespace frontend
