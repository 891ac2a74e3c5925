// Search threads and split points.
//
// The thread that calls `think` is the master; a pool of helper threads
// waits beside it. The "Threads" word counts every search thread: the
// master and `nThreads` helpers, so with 1 the master searches alone and
// no move is ever handed over. A thread searching a node at depth 8 or more
// may hand its next move to an idle helper (`handOff`) and go on with the
// following moves itself; at the end of the node it waits for every helper
// it gave a move to (`waitForHelpers`). The node is then the thread's split
// point.
//
// Each helper has a `ThreadRecord`: two semaphores (`queueEmpty` signalled
// while it is free, `queueFull` when a move was handed to it), its own
// board record, its own Position and the hand-off fields the giver fills
// before releasing `queueFull`. Hand-off tokens bound the moves out with
// helpers at once to `nThreads`; re-split tokens bound the helpers that own
// split points of their own.
//
// A thread hands a move over only when a token and an idle helper are free
// at once; otherwise it searches the move itself, so no thread ever waits
// for a helper. The owner of a split node counts the helpers out on it
// (`SplitWait`); the last helper to fold its move wakes the owner, so the
// owner's wait ends with its own helpers' moves, whatever work the helpers
// take up next.
//
// A thread may hand moves of a node below its split node while helpers still
// work there: the board's split point is then the innermost such node, and
// each node keeps its own count of helpers out and its own generation, so
// that a bound change at one split node makes only that node's helpers
// start their moves again. A split node owned by a helper whose own split
// node (its giver's) is cut or stopped stops too: it recalls its helpers,
// hands out nothing more, waits for them and stores nothing.
//
// Locking: `searchLock` is the one lock of the search and is never nested;
// it guards the tablebase probe, every update of a split node's bounds and
// the split waits.
// A helper folds its move's count, bound type (a cut or an exact score),
// killers and best so far into the split node under the lock, so the owner
// updates those fields, and narrows the node's window, under the lock too
// while the node has helpers. A writer changes a split node's pair of
// bounds whole under the lock (a widened upper before the raised best), and
// a thread that decides to drop or repeat a move on that pair reads it under
// the lock, so no move is dropped on a pair half changed.
// The pool's single-writer word `active` is a relaxed atomic read by other
// threads without the lock.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/board/board.h"
#include "platform/critical_section.h"
#include "platform/semaphore.h"

namespace engine {

// Most helper records the pool creates, and the most search threads (the
// master and its helpers) the "Threads" word can ask for.
constexpr int32_t MaxThreadRecords = 64;
constexpr int32_t MaxThreadSetting = 40;
// Re-split token counts: up to 8 helpers 4, beyond that 16.
constexpr int32_t SmallPoolResplits = 4;
constexpr int32_t LargePoolResplits = 16;
constexpr int32_t SmallPoolLimit = 8;
// Moves are handed to helpers only at this depth or more.
constexpr int32_t MinSplitDepth = 8;

// 64-byte aligned, so that no two records share a cache line: the words
// that other threads read (semaphores, `active`) stay off the lines the
// helper writes while it searches.
struct alignas(64) ThreadRecord {
  platform::Semaphore* queueEmpty;
  platform::Semaphore* queueFull;
  std::atomic<Position*> active;
  ThreadBoard board;
  bool started;
  // The hand-off, filled by the giver before it releases queueFull (the
  // split node it serves is its board's `splitNode`).
  Position* position;      // the helper's own Position, on `board`
  Position childTemplate;  // the state of the giver's child record, copied at hand-off
  Position child;          // the helper's child record for the move
  int32_t depth;
  int32_t* upper;
  int32_t* best;
  Move* killers;
  Move* pv;
  Move move;
  // The token semaphore the helper holds while it works: a hand-off token,
  // or a re-split token once it owns a split node of its own.
  platform::Semaphore* token;
};

// Processors counted when the pool is created: the search threads when the
// threads word is 0 or out of range.
extern int32_t cpuCount;
// Helpers a hand-off may choose from: the search threads less the master.
extern std::atomic<int32_t> nThreads;
// Helper records created so far (the pool is created once).
extern int32_t threadsCreated;
extern ThreadRecord* thread;
extern std::atomic<platform::Semaphore*> handOffTokens;
extern std::atomic<platform::Semaphore*> resplitTokens;
// Per thread (master 0, helper i at i + 1): the signal its split node's
// last helper gives when the owner waits for it. A thread waits at one node
// at a time (its innermost split node); the count of the helpers out is the
// node's own (`Position::helpersOut`).
struct SplitWait {
  platform::Semaphore* helpersDone;
};
extern SplitWait splitWait[MaxThreadRecords + 1];
extern platform::CriticalSection searchLock;
extern std::atomic<int32_t> searchGeneration;
// Nodes the helpers searched, added in as each handed move ends.
extern std::atomic<uint64_t> helperNodeCount;

// Helpers for a "Threads" word: the search threads it asks for (1..limit,
// else the processor count) less the master.
int32_t helpersForThreads(int32_t threads, int32_t limit);
// Creates the pool on the first call (2 x processor count helpers, at most
// 64) and sets the helper count from the "Threads" word `requested`
// (1..processor count, else the processor count).
void createThreadPool(int32_t requested);
// Sets `nThreads` (never above the helpers created) and fresh token
// semaphores. Only while no search runs.
void setHelperCount(int32_t helpers);
// Gives `move` of `node` to an idle helper when a token and a helper are
// free at once; true when one took it.
bool handOff(Position* node, int32_t depth, int32_t* upper, int32_t* best, Move* killers, Move* pv, Move move,
             Position* child);
// Waits until every helper working for `node` is done.
void waitForHelpers(Position* node);
void enterSearchLock();
void leaveSearchLock();

// Holds `searchLock` for a scope when `take` is true (a node whose bounds
// other threads share) and leaves it on every way out of the scope;
// pause() and resume() let go of it for a call that must run outside it.
class SearchLockHold {
 public:
  explicit SearchLockHold(bool take) : taken_(take), held_(take) {
    if (held_) enterSearchLock();
  }
  ~SearchLockHold() {
    if (held_) leaveSearchLock();
  }
  SearchLockHold(const SearchLockHold&) = delete;
  SearchLockHold& operator=(const SearchLockHold&) = delete;
  bool held() const { return held_; }
  void pause() {
    if (held_) leaveSearchLock();
    held_ = false;
  }
  void resume() {
    if (taken_ && !held_) enterSearchLock();
    held_ = taken_;
  }

 private:
  const bool taken_;
  bool held_;
};

// A board's generation: the generation of its split node that its work
// stands on. Written only by the board's own thread.
inline int32_t boardGeneration(const ThreadBoard* board) {
  return std::atomic_ref<int32_t>(const_cast<int32_t&>(board->generation)).load(std::memory_order_relaxed);
}
inline void setBoardGeneration(ThreadBoard* board, int32_t value) {
  std::atomic_ref<int32_t>(board->generation).store(value, std::memory_order_relaxed);
}
// A split node's generation, read by its helpers at every node they search.
inline int32_t nodeGeneration(const Position* node) {
  return std::atomic_ref<int32_t>(const_cast<int32_t&>(node->splitGeneration)).load(std::memory_order_relaxed);
}
inline void setNodeGeneration(Position* node, int32_t value) {
  std::atomic_ref<int32_t>(node->splitGeneration).store(value, std::memory_order_relaxed);
}
// A new generation for a split node whose bounds changed: its helpers'
// work is stale from now on, the writer's own (when it is one of them) not.
int32_t bumpNodeGeneration(Position* node);
// True when the bounds of the board's split node moved since its work
// began: never on the master's board.
inline bool generationStale(const ThreadBoard* board) {
  return board->splitNode != nullptr && boardGeneration(board) < nodeGeneration(board->splitNode);
}
// Brings a board that went stale up to its split node's generation.
void resyncGeneration(ThreadBoard* board);
// Under `searchLock`: does the split node the board works for still want
// its work? Not when its bounds have met (a cut) or its owner stopped it;
// always on the master's board, which works for no split node.
bool splitNodeOpen(const ThreadBoard* board);
// Stops a split node whose own giver's node is cut or stopped: its helpers
// leave their moves, and the split nodes they own stop in turn.
void stopSplitNode(Position* node);

}  // namespace engine
