// What the controller sees of a search: the "info" lines, the current-move
// and iteration lines, and "bestmove". setNodeCount, reportPv and
// reportCurrMove are callbacks that the engine calls from its own threads
// (the worker running the root driver, and any helper thread that finds a
// new best root move or announces one); printBestMove runs on the worker.
//
// One lock, `searchOutputLock`, guards the shared state below (the node
// count is 64-bit, which the 32-bit build cannot read whole otherwise) and
// serialises reportPv and reportCurrMove with each other and with the worker.
#pragma once
#include <cstdint>
#include <mutex>

#include "engine/control/move.h"
#include "engine/control/engine_interface.h"

namespace frontend {

// Moves of a principal variation that are printed and kept.
constexpr int32_t MaxPvMoves = 19;
// Root moves remembered for the current-move count.
constexpr int32_t MaxCurrMoves = 256;

extern std::mutex searchOutputLock;
// The node count for the next information line.
extern uint64_t nodeCount;
// The first two moves of the latest first principal variation.
extern engine::Move bestMove;
extern engine::Move ponderMove;
extern engine::Move pvCopy[MaxPvMoves + 1];

void setNodeCount(uint64_t nodes);
void reportPv(const engine::SearchInfo* info);
void reportCurrMove(int32_t depth, engine::Move move, int32_t flags);
// Forgets the root moves counted so far: a new search counts from 1. The
// caller holds searchOutputLock.
void forgetCurrMoves();
void printBestMove(engine::Move best, engine::Move ponder);

// Coordinate text of a move (4 or 5 characters and a NUL); `letter` is the
// moving piece's letter ('P'/'p' for pawns) or 0.
void moveToText(char* out, engine::Move move, char letter);

// The score as shown: contempt taken off centipawn scores (not 0, not mate
// scores), with the sign of a mate distance.
int32_t shownScore(int32_t score, int32_t contempt);

}  // namespace frontend
