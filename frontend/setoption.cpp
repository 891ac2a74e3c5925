#include "frontend/setoption.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "engine/hash/hash.h"
#include "frontend/book.h"
#include "frontend/console.h"
#include "frontend/engine_link.h"
#include "frontend/options.h"
#include "frontend/search_control.h"
#include "frontend/search_output.h"
#include "frontend/worker.h"
#include "platform/memory.h"
#include "tablebases/block_cache.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

namespace frontend {

namespace {

constexpr uint64_t Megabyte = 1048576;
// Hash sizes in MB: the listed range. Below the least, a "setoption" is
// stored but changes nothing; above the most, the size is cut to it.
constexpr int32_t LeastHashMb = 4;
constexpr int32_t MostHashMb = 4095;
// The engine takes a 32-bit byte count: whole megabytes up to the most
// that fits.
constexpr uint64_t MostEngineBytes = uint64_t(MostHashMb) * Megabyte;
static_assert(MostEngineBytes <= UINT32_MAX);
// The front end's own table, used by the mirror's result check.
constexpr uint32_t FrontTableBytes = static_cast<uint32_t>(Megabyte);
// The threat margin percentage that weak ratings get.
constexpr int32_t WeakThreatMargin = 5000;
constexpr int32_t WeakRatingBelow = 2000;

// Rating bands: below `below`, the level word is `level`.
struct EloBand {
  int32_t below;
  int32_t level;
};
constexpr EloBand eloBands[] = {{1540, 3}, {1660, 4}, {1840, 5}, {2060, 6},  {2180, 7},
                                {2300, 8}, {2420, 9}, {2540, 10}, {2660, 11}};

// The threat margin of full strength: the engine's default, read back at
// engine start.
int32_t defaultThreatMargin = engine::defaultEngineParameters.words[engine::ParamThreatMargin];

// The tablebase cache memory the front end owns.
void* tbCacheMemory = nullptr;

int32_t clampNumber(int32_t value, int32_t least, int32_t most) {
  return value < least ? least : (value > most ? most : value);
}

// Opens the book named by "Book_file"; on failure prints the system's error
// text and switches "OwnBook" off, so the search runs without a book.
void openBookFromOptions() {
  // The whole name: its first few thousand characters may name another,
  // existing file.
  const std::string path = optionText("Book_file");
  int32_t error = openBook(&book, path.c_str());
  if (error == 0) return;
  // The message is followed by an empty line, as the system's text ends in
  // a newline of its own.
  printLine("%s\n", std::strerror(error));
  setOptionString("OwnBook", "false");
}

// Runs the tablebase set-up from the options and gives the cache fresh
// memory; returns the piece limit (0 without tablebases).
int32_t setUpTablebases() {
  if (!optionIsTrue("Use_tablebases")) return 0;
  // The whole path: cut short, its last directory would be dropped or
  // name another one.
  const std::string path = optionText("NalimovPath");
  int32_t pieces = tablebases::tbInitialize(path.c_str());
  // The set-up freed what the old cache pointed into: fresh memory first,
  // then the old block can go.
  size_t cacheBytes = static_cast<size_t>(optionSpinNumber("NalimovCache")) * static_cast<size_t>(Megabyte);
  void* fresh = std::malloc(cacheBytes);
  tablebases::tbSetCache(fresh, fresh != nullptr ? uint64_t(cacheBytes) : 0);
  std::free(tbCacheMemory);
  tbCacheMemory = fresh;
  return pieces;
}

// The engine's table and the front end's are re-sized together.
void resizeBothTables(uint64_t bytes, int32_t pieces) {
  engine::releaseHash();
  engineEntries.releaseEngineHash();
  setHashSize(bytes, pieces);
}

}  // namespace

engine::EngineParameters frontParameters = engine::defaultEngineParameters;
uint32_t hashSizeKb = 0;
int32_t tbPiecesGiven = 0;

void applyEngineParameters() {
  // Search threads in all, the master included (the engine starts one
  // helper fewer); bounded to the listed range, the processors counted at
  // start-up.
  frontParameters.words[engine::ParamThreads] = optionSpinNumber("Threads");
  // Bounded, so that neither the engine's scores nor the shown ones overflow.
  frontParameters.words[engine::ParamContempt] = optionSpinNumber("Contempt");
  frontParameters.words[engine::ParamClearHash] = optionIsTrue("Clear_hash") ? 1 : 0;
  // Both strength words are set afresh from the options every time, so a
  // setting gives what it gives a freshly started engine.
  frontParameters.words[engine::ParamThreatMargin] = defaultThreatMargin;
  if (optionIsTrue("UCI_LimitStrength"))
    eloToLevel(optionNumber("UCI_ELO"));
  else
    frontParameters.words[engine::ParamMaxDepth] = engine::FullStrengthDepth;
  engineEntries.setEngineParameters(&frontParameters);
}

void setContemptWord(int32_t contempt) {
  std::lock_guard<std::mutex> guard(searchOutputLock);
  frontParameters.words[engine::ParamContempt] = contempt;
}

void eloToLevel(int32_t rating) {
  if (rating < WeakRatingBelow) frontParameters.words[engine::ParamThreatMargin] = WeakThreatMargin;
  int32_t level = engine::FullStrengthDepth;
  for (const EloBand& band : eloBands)
    if (rating < band.below) {
      level = band.level;
      break;
    }
  frontParameters.words[engine::ParamMaxDepth] = level;
}

void setHashSize(uint64_t bytes, int32_t pieces) {
  // Bound the request: the engine takes a 32-bit byte count, and
  // no more than half the machine's memory (Linux grants more than it can
  // back, and zeroing the table would then end the process).
  uint64_t request = bytes < MostEngineBytes ? bytes : MostEngineBytes;
  uint64_t physical = platform::physicalMemoryBytes();
  if (physical != 0 && request > physical / 2) request = physical / 2;
  // Find in this process what the request and the front end's
  // own megabyte can really have. The block is only asked for and given
  // back: clearing and locking a table that is freed at once would only
  // delay "readyok".
  uint64_t got = engine::measureHash(request + Megabyte);
  // The front end's own table for the mirror's result check.
  engine::initHashAndKeys(FrontTableBytes);
  // The rest goes to the engine; never a size below zero.
  uint64_t engineBytes = got > Megabyte ? got - Megabyte : 0;
  if (engineBytes > request) engineBytes = request;
  uint32_t engineGot = engineEntries.initEngine(static_cast<uint32_t>(engineBytes), pieces);
  // Record what the engine really has, so asking again for the
  // same size re-sizes when the first request came short.
  tbPiecesGiven = pieces;
  hashSizeKb = engineGot / 1024;
  // Less than asked, for whatever reason (a bound above, or memory
  // refused): say so.
  if (engineGot < bytes) reportError("Hash size was reduced", "");
}

bool applyAllOptions() {
  // The book, when it is to be used.
  if (optionIsTrue("OwnBook")) openBookFromOptions();
  // The engine's built-in defaults.
  engineEntries.getEngineParameters(&frontParameters);
  defaultThreatMargin = frontParameters.words[engine::ParamThreatMargin];
  // Tablebases and their cache.
  int32_t pieces = setUpTablebases();
  tablebases::tbHits.store(0, std::memory_order_relaxed);
  // The hash size: a value below 1 MB would wrap, so it is raised.
  int32_t hashMb = clampNumber(optionNumber("Hash"), 1, MostHashMb);
  setHashSize(uint64_t(hashMb) * Megabyte, pieces);
  applyEngineParameters();
  return true;
}

bool handleSetOption(const char* /*line*/, char** tokens, int32_t count, const char* /*first*/) {
  // Exactly "setoption name N value V"; anything else does nothing.
  if (count < 5 || std::strcmp(tokens[1], "name") != 0 || std::strcmp(tokens[3], "value") != 0) return true;
  const char* name = tokens[2];
  const char* value = tokens[4];
  // Store the text; an unknown name stores nothing.
  setOptionString(name, value);
  // Wait for a running search before the engine's state changes.
  if (engineStarted) {
    endRunningSearch();
    if (sameTextNoCase(name, "Hash")) {
      int32_t megabytes = optionNumber("Hash");
      if (megabytes >= LeastHashMb) {
        megabytes = clampNumber(megabytes, LeastHashMb, MostHashMb);
        if (uint32_t(megabytes) * 1024u != hashSizeKb) resizeBothTables(uint64_t(megabytes) * Megabyte, tbPiecesGiven);
      }
    }
  }
  // A new book file takes effect at once when the book is in use.
  if (sameTextNoCase(name, "Book_file") && optionIsTrue("OwnBook")) openBookFromOptions();
  // Tablebase options: a changed piece limit re-sizes both tables.
  if (engineStarted &&
      (sameTextNoCase(name, "Use_tablebases") || sameTextNoCase(name, "NalimovPath") ||
       sameTextNoCase(name, "NalimovCache"))) {
    int32_t pieces = setUpTablebases();
    if (pieces != tbPiecesGiven) resizeBothTables(uint64_t(hashSizeKb) * 1024u, pieces);
  }
  // The engine parameters follow every change.
  tablebases::tbHits.store(0, std::memory_order_relaxed);
  applyEngineParameters();
  return true;
}

}  // namespace frontend
