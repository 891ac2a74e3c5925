#include "engine/module/hooks.h"

#include <algorithm>
#include <mutex>

#include "engine/hash/hash.h"
#include "engine/search/rootsearch.h"
#include "engine/control/shared_word.h"
#include "engine/search/threads.h"
#include "engine/search/timecontrol.h"

namespace engine {

// Reports come from every search thread; one at a time, so that the host's
// node count and line belong together and lines arrive in the order they
// were made.
static std::mutex reportLock;

constexpr int32_t PerMille = 1000;
// A table this small has no buckets.
constexpr uint64_t MinEntryCount = 4;

uint64_t searchNodeCount(const ThreadBoard* board) {
  uint64_t own = std::atomic_ref<uint64_t>(const_cast<uint64_t&>(board->nodeCount)).load(std::memory_order_relaxed);
  return own + helperNodeCount.load(std::memory_order_relaxed);
}

void reportSearchInfo(int32_t depth, int32_t score, const Move* pv, int32_t mark) {
  if (hostCallbacks.reportPv == nullptr) return;
  std::lock_guard<std::mutex> guard(reportLock);
  if (hostCallbacks.setNodeCount != nullptr) hostCallbacks.setNodeCount(searchNodeCount(rootPosition.board));
  if (moveFrom(pv[0]) == NoSquare) return;
  SearchInfo info;
  info.lineIndex = lineIndex;
  info.depth = depth;
  info.score = score;
  info.time = stopwatchElapsed(&searchStopwatch);
  info.hashFill = entryCount >= MinEntryCount ? int32_t(claimedCount() * PerMille / entryCount) : 0;
  info.pv = pv;
  info.boundMark = mark;
  linesReported.fetch_add(1, std::memory_order_relaxed);
  hostCallbacks.reportPv(&info);
}

int32_t currentMoveFlags(const Position* child, int32_t flag) {
  int32_t flags = std::max(child->board->threadId / 2 - 2, 0);
  if (flag != 0) flags += CurrMoveDoNotCount;
  if (child->searchFlags & SearchSpecialMove) {
    const PieceRecord* piece = squareAt(child->board, moveTo(child->lastMove));
    flags += piece->kind->letter << CurrMoveLetterShift;
  }
  return flags;
}

void announceCurrentMove(int32_t depth, Position* child, int32_t flag) {
  if (hostCallbacks.reportCurrMove == nullptr) return;
  std::lock_guard<std::mutex> guard(reportLock);
  if (child == nullptr) {
    hostCallbacks.reportCurrMove(depth, noMove, 0);
    return;
  }
  hostCallbacks.reportCurrMove(depth, child->lastMove, currentMoveFlags(child, flag));
}

void buildProbeBoard(const ThreadBoard* board, int8_t out[64]) {
  int32_t index = 0;
  for (int32_t square = 0; square < 128; ++square) {
    if (!isOnBoard(square)) continue;
    const PieceRecord* piece = squareAt(board, square);
    // Codes: 6 empty, 6 + k White, 6 - k Black (k = 1 pawn .. 6 king).
    int32_t code = EmptyCode;
    if (piece->colour > 0) code = piece->kind->code;
    if (piece->colour < 0) code = 2 * EmptyCode - piece->kind->code;
    out[index++] = int8_t(code);
  }
}

int32_t probeEndgameTable(ThreadBoard* board, int32_t side, int32_t epSquare, int32_t* outScore) {
  // Without the host's probe there are no tablebases.
  if (hostCallbacks.tbProbe == nullptr) return 0;
  int8_t probeBoard[64];
  buildProbeBoard(board, probeBoard);
  int32_t ep = epSquare == 0 || epSquare == NoSquare ? 0 : (epSquare >> 4) * 8 + (epSquare & 7);
  return hostCallbacks.tbProbe(probeBoard, side, ep, outScore);
}

}  // namespace engine
