#include "helpers/perft.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include "engine/board/legality.h"
#include "engine/board/makemove.h"
#include "engine/board/movegen.h"
#include "engine/board/setup.h"
#include "engine/board/pawn_files.h"
#include "engine/hash/hash.h"
#include "engine/control/control.h"
#include "helpers/board_builder.h"
#include "helpers/scratch_key.h"

using namespace engine;

namespace perft {

namespace {

// The table the key initialisation allocates; perft does not use it.
constexpr uint32_t PerftTableBytes = 1 << 20;

// Plays a move from `parent` into `child` with the key update; true when
// the mover's king is not attacked afterwards (the engine's own test, which
// the search, the root's fallback move and the front end's mirror use).
bool playLegal(Position* parent, Move move, Position* child) {
  makeMove(parent, move, child);
  updateHashKey(child);
  return !moverKingAttacked(child);
}

void preparePlies(Position* root, PerftPlies* work) {
  for (Position& ply : work->plies) initPosition(&ply, root->board);
}

uint64_t walk(Position* pos, int32_t depth, Position* childPly) {
  resetMoveStack(pos);
  uint64_t total = 0;
  for (Move move = nextMove(pos); moveFrom(move) != NoSquare; move = nextMove(pos)) {
    if (playLegal(pos, move, childPly)) total += depth <= 1 ? 1 : walk(childPly, depth - 1, childPly + 1);
    unmakeMove(childPly);
  }
  return total;
}

// The position's state, from the state flags to the end of the record.
constexpr size_t StateStart = offsetof(Position, stateFlags);
bool sameState(const Position* a, const Position* b) {
  return std::memcmp(reinterpret_cast<const char*>(a) + StateStart, reinterpret_cast<const char*>(b) + StateStart,
                     sizeof(Position) - StateStart) == 0;
}

// Fields that make may change for good and unmake need not restore: the
// node counter, and the count inside each piece's kind copy (a snapshot of
// its kind's count taken whenever the copy is refreshed, read by nobody).
void clearUnrestoredFields(ThreadBoard* board) {
  board->nodeCount = 0;
  for (PieceRecord& piece : board->slots) piece.kindCopy.count = 0;
}

// Gives the piece-square entries and the open-file bonus non-zero values
// and revalues the pieces on them: with
// every weight zero a current value that unmake fails to restore (a rook on
// a file that opens or closes, the mover's old square) would go unseen.
void giveWeights(ThreadBoard* board) {
  EvalBlock& block = board->evalBlock;
  for (int32_t table = 0; table < PieceSquareBlockCount; ++table)
    for (int32_t square = 0; square < PieceSquareEntries; ++square)
      block.pieceSquare[table][square] = int16_t((square * 7 + table * 13) % 41 - 20);
  block.openFileBonus = 9;
  for (PieceRecord& piece : board->slots) {
    if (piece.colour == 0) continue;
    piece.currentValue = piece.kind->pieceSquareTable[piece.square] + piece.kind->baseValue;
    if (piece.kindCopy.code == RookCode) rookValue(&piece);
  }
}

struct CheckedWalker {
  CheckReport report;
  std::unique_ptr<ThreadBoard> after = std::make_unique<ThreadBoard>();
  std::unique_ptr<ThreadBoard> snapshots[MaxPerftDepth + 1];
  std::unique_ptr<Position> parentCopies[MaxPerftDepth + 1];
  std::string path[MaxPerftDepth + 1];

  void fail(uint64_t* counter, int32_t ply) {
    ++*counter;
    if (!report.firstFailure.empty()) return;
    for (int32_t i = 0; i <= ply; ++i) report.firstFailure += path[i] + " ";
  }

  void walk(Position* pos, int32_t depth, Position* childPly, int32_t ply) {
    ThreadBoard* board = pos->board;
    if (!snapshots[ply]) snapshots[ply] = std::make_unique<ThreadBoard>();
    if (!parentCopies[ply]) parentCopies[ply] = std::make_unique<Position>();
    resetMoveStack(pos);
    for (Move move = nextMove(pos); moveFrom(move) != NoSquare; move = nextMove(pos)) {
      path[ply] = testing_board::moveText(move);
      std::memcpy(static_cast<void*>(snapshots[ply].get()), board, sizeof(ThreadBoard));
      std::memcpy(static_cast<void*>(parentCopies[ply].get()), pos, sizeof(Position));

      const bool legal = playLegal(pos, move, childPly);
      const HashKey scratch = testing_hash::scratchKey(childPly);
      if (scratch.key != childPly->key || scratch.lock != childPly->lock) fail(&report.keyMismatches, ply);
      if (legal) {
        if (depth <= 1)
          ++report.leaves;
        else
          walk(childPly, depth - 1, childPly + 1, ply + 1);
      }
      unmakeMove(childPly);

      std::memcpy(static_cast<void*>(after.get()), board, sizeof(ThreadBoard));
      clearUnrestoredFields(snapshots[ply].get());
      clearUnrestoredFields(after.get());
      if (std::memcmp(snapshots[ply].get(), after.get(), sizeof(ThreadBoard)) != 0) fail(&report.boardMismatches, ply);
      if (!sameState(parentCopies[ply].get(), pos)) fail(&report.positionMismatches, ply);
    }
  }
};

}  // namespace

bool setUp(const char* fen) {
  static bool keysBuilt = false;
  if (!keysBuilt) {
    initHashAndKeys(PerftTableBytes);
    initPosition(&rootPosition, &masterBoard);
    keysBuilt = true;
  }
  if (parseFen(fen) != 0) return false;
  return setupPosition(&rootPosition, &gameSetup) == 0;
}

uint64_t countLeaves(Position* root, int32_t depth, PerftPlies* work) {
  if (depth <= 0) return 1;
  if (depth > MaxPerftDepth) return 0;
  preparePlies(root, work);
  return walk(root, depth, &work->plies[0]);
}

std::vector<DivideEntry> divide(Position* root, int32_t depth, PerftPlies* work) {
  std::vector<DivideEntry> entries;
  if (depth <= 0 || depth > MaxPerftDepth) return entries;
  preparePlies(root, work);
  Position* child = &work->plies[0];
  resetMoveStack(root);
  for (Move move = nextMove(root); moveFrom(move) != NoSquare; move = nextMove(root)) {
    if (playLegal(root, move, child)) entries.push_back({move, depth == 1 ? 1 : walk(child, depth - 1, child + 1)});
    unmakeMove(child);
  }
  return entries;
}

CheckReport checkedWalk(Position* root, int32_t depth, PerftPlies* work) {
  auto walker = std::make_unique<CheckedWalker>();
  if (depth <= 0 || depth > MaxPerftDepth) return walker->report;
  preparePlies(root, work);
  giveWeights(root->board);
  walker->walk(root, depth, &work->plies[0], 0);
  return walker->report;
}

}  // namespace perft
