// The boundary between the front end and the engine module.
//
// The module exports one symbol, `EngineInit`. The front end hands it a
// HostCallbacks table (its timer, output and tablebase services) and gets
// back an EngineEntries table (the engine's operations). Nothing else crosses
// between the two: both tables are records of pointer-sized slots, filled
// once at start-up, and live as long as the process.
//
// EngineParameters is the record of 26 signed 32-bit words that the front end
// reads once from the engine (the built-in defaults) and then writes back.
// SearchInfo is what goes with each search-information line.
//
// Threads: `think` runs on the front end's worker thread and blocks it;
// `ponderHit`, `stopThinking` and `resetStopFlags` come from the front end's
// other threads, `onTimer` from its timer thread. The callbacks are called
// from every search thread.
#pragma once
#include <cstdint>

#include "engine/control/move.h"

namespace engine {

// Scores, from the side to move's point of view: bounds are -9999 and 9999
// (-9999 is also "no value yet"); a side mated at ply p scores -9998 + p;
// 9900 and beyond are mate scores.
constexpr int32_t ScoreBound = 9999;
constexpr int32_t ScoreMatedAtRoot = -9998;
constexpr int32_t ScoreMateThreshold = 9900;

// The engine parameters: 26 signed 32-bit words (threads, contempt, root
// window bound, clear-hash switch, threat detection, search and evaluation
// percentages, maximum depth).
constexpr int32_t EngineParameterWords = 26;
struct EngineParameters {
  int32_t words[EngineParameterWords];
};

// Word indices of EngineParameters, named for what the engine does with
// each word (0, 7 and 11 have no reader). The percentages scale the
// margins and weights they name: 100 keeps the built-in value.
enum EngineParameterWord : int32_t {
  ParamUnused0 = 0,
  ParamOpeningRandom = 1,        // nonzero: draw an opening offset at each search
  ParamDrawMarks = 2,            // nonzero: the searches score endings marked unwinnable as draws
  ParamThreads = 3,              // search threads, the master included; 0 or out of range = processor count
  ParamContempt = 4,
  ParamRootLowerBound = 5,       // lower bound of the root search window
  ParamClearHash = 6,            // nonzero: clear the table before each search
  ParamUnused7 = 7,
  ParamReductionExemptions = 8,  // nonzero: captures, improving and threat-bearing moves are not reduced
  ParamThreatDetection = 9,      // forced to 1 by setEngineParameters
  ParamLateReduction = 10,       // nonzero: moves after the third are reduced twice
  ParamUnused11 = 11,
  ParamDrawScaling = 12,         // zero: the evaluation's draw mark does not scale the score
  ParamThreatMargin = 13,        // percent: margin of the threat detection's bound
  ParamHangingMargin = 14,       // percent: margin of the hanging-move test
  ParamRootRescueMargin = 15,    // percent: root score drop that starts the rescue search
  ParamPawnValue = 16,           // percent: pawn values
  ParamPieceValues = 17,         // percent: knight, bishop, rook and queen values
  ParamKingSafety = 18,          // percent: king shelter, king zone and castling weights
  ParamFiftyMoveDrift = 19,      // percent: the pull toward zero as the half-move clock grows
  ParamPawnAdvance = 20,         // percent: pawn advancement
  ParamInfluence = 21,           // percent: the line and knight influence values
  ParamRookFiles = 22,           // percent: rook file tables and pawn-target bonus
  ParamKingPlacement = 23,       // percent: king centralisation and king-to-pawn distances
  ParamPassedPawns = 24,         // percent: passed-pawn rank tables and terms
  ParamMaxDepth = 25,            // maximum iteration depth
};

// The maximum iteration depth at full strength: the default of
// ParamMaxDepth, and the level of the highest ratings.
constexpr int32_t FullStrengthDepth = 60;

// The built-in defaults, word by word.
constexpr EngineParameters defaultEngineParameters = {
    {0, 0, 1, 0, 0, -9999, 0, 4, 1, 1, 1, 1, 1, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
     FullStrengthDepth}};

// Search modes of `think`.
constexpr int32_t ThinkNormal = 0;
constexpr int32_t ThinkPonder = 1;
constexpr int32_t ThinkInfinite = 2;

// Flags of a current-move report: bit 7 says "do not count this move",
// bits 8..15 carry the piece letter of a special move.
constexpr int32_t CurrMoveDoNotCount = 128;
constexpr int32_t CurrMoveLetterShift = 8;

// What goes with one search-information call. The principal variation ends
// with a move whose from-byte is 12.
struct SearchInfo {
  int32_t lineIndex;  // 0-based
  int32_t depth;
  int32_t score;      // side to move at the root
  int32_t time;       // ms since the search began
  int32_t hashFill;   // per mille
  const Move* pv;
  int32_t boundMark;  // not used by the front end
};

// The front end's callbacks: eight slots, three reserved (null). The engine
// tests every slot for null before it calls it.
struct HostCallbacks {
  void* reserved0;
  void* reserved1;
  // ms > 0 arms the first one-shot timer, ms < 0 the second for -ms, 0
  // cancels both.
  void (*setSearchTimer)(int32_t ms);
  void (*reportPv)(const SearchInfo* info);
  // move is noMove when a new depth begins.
  void (*reportCurrMove)(int32_t depth, Move move, int32_t flags);
  // The node count for the next information line.
  void (*setNodeCount)(uint64_t nodes);
  // board: 64 piece codes, a1 first; side > 0 White; epSquare 0..63, 0 for
  // none. Nonzero when found, with the signed distance to mate in *outScore.
  int32_t (*tbProbe)(const int8_t* board, int32_t side, int32_t epSquare, int32_t* outScore);
  void* reserved7;
};

// The engine's entries: fifteen slots, the ninth empty and never called.
struct EngineEntries {
  void (*setEngineParameters)(const EngineParameters* parameters);
  void (*getEngineParameters)(EngineParameters* out);
  void (*clearEngineHash)();
  // Returns the bytes actually allocated (may be less than asked).
  uint32_t (*initEngine)(uint32_t hashBytes, int32_t tbPieceLimit);
  void (*releaseEngineHash)();
  // FEN text, or null for the start position; 0 on success.
  int32_t (*setEnginePosition)(const char* fenText);
  // 'R', 'B' or 'N' turns a pawn's promotion into an under-promotion.
  int32_t (*playEngineMove)(Move move, int32_t promotionLetter);
  void (*setTimeControl)(int32_t type, int32_t time, int32_t moves, int32_t increment, int32_t extra);
  void* empty8;
  void (*setMoveNumber)(int32_t moveNumber);
  void (*resetStopFlags)();
  // lines: principal variations; mode: ThinkNormal, ThinkPonder, ThinkInfinite.
  void (*think)(int32_t lines, int32_t mode);
  void (*ponderHit)();
  void (*stopThinking)();
  // Both arguments are ignored (the shape of a timer callback).
  void (*onTimer)(void* context, bool fired);
};

static_assert(sizeof(HostCallbacks) == 8 * sizeof(void*), "HostCallbacks has eight slots");
static_assert(sizeof(EngineEntries) == 15 * sizeof(void*), "EngineEntries has fifteen slots");
static_assert(sizeof(EngineParameters) == EngineParameterWords * sizeof(int32_t), "26 words");

using EngineInitFunction = void (*)(HostCallbacks* in, EngineEntries* out);

}  // namespace engine

// The module's one export, the only symbol of default visibility in it.
extern "C" __attribute__((visibility("default"))) void EngineInit(engine::HostCallbacks* in,
                                                                  engine::EngineEntries* out);
