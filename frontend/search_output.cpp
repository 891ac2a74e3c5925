#include "frontend/search_output.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "frontend/console.h"
#include "frontend/engine_link.h"
#include "frontend/game_position.h"
#include "frontend/search_control.h"
#include "frontend/setoption.h"
#include "tablebases/block_cache.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

namespace frontend {

std::mutex searchOutputLock;
uint64_t nodeCount = 0;
engine::Move bestMove = engine::noMove;
engine::Move ponderMove = engine::noMove;
engine::Move pvCopy[MaxPvMoves + 1] = {};

namespace {

// Scores from here outward are shown as mate distances.
constexpr int32_t MateShownFrom = 9000;
constexpr int32_t MateBase = 9999;
// Room for a variation's text: a blank and five characters per move.
constexpr int32_t PvTextBytes = MaxPvMoves * 6 + 1;
constexpr int32_t MoveTextBytes = 6;

engine::Move currMoveList[MaxCurrMoves];
int32_t currMoveCount = 0;

}  // namespace

void setNodeCount(uint64_t nodes) {
  std::lock_guard<std::mutex> guard(searchOutputLock);
  nodeCount = nodes;
}

void moveToText(char* out, engine::Move move, char letter) {
  // The from-square, and the to-byte as signed: negative for an
  // under-promotion, whose real square sits in its low bits.
  int32_t from = move & 0xFF;
  int32_t t = static_cast<int8_t>(move >> 8);
  out[0] = static_cast<char>('a' + (from & 7));
  out[1] = static_cast<char>('1' + ((from >> 4) & 7));
  int32_t to = t >= 0 ? t : (t < -64 ? (t & 15) + 112 : (t & 15));
  out[2] = static_cast<char>('a' + (to & 7));
  out[3] = static_cast<char>('1' + ((to >> 4) & 7));
  // The promotion letter, lower case for both colours as the
  // protocol writes it: GUIs and board libraries that pass the move on to
  // another engine or check it (chess.js) refuse an upper-case one.
  char promotion = 0;
  if (t >= 0) {
    if ((letter == 'P' && t >= 112) || (letter == 'p' && t < 16)) promotion = 'q';
  } else if (t >= -16) {
    promotion = 'r';
  } else if (t >= -32) {
    promotion = 'b';
  } else if (t >= -96) {
    promotion = 'n';
  } else if (t >= -112) {
    promotion = 'b';
  } else {
    promotion = 'r';
  }
  out[4] = promotion;
  out[5] = '\0';
}

int32_t shownScore(int32_t score, int32_t contempt) {
  if (score < -(MateShownFrom - 1) || score > MateShownFrom - 1 || score == 0) return score;
  // Taken in 64 bits and bounded, so no contempt can overflow the result.
  int64_t shown = int64_t(score) - int64_t(contempt);
  if (shown > INT32_MAX) return INT32_MAX;
  if (shown < INT32_MIN) return INT32_MIN;
  return int32_t(shown);
}

void reportPv(const engine::SearchInfo* info) {
  if (info == nullptr || info->pv == nullptr) return;
  std::lock_guard<std::mutex> guard(searchOutputLock);
  // The variation's text, played on a private copy of the
  // game position; it ends at the first move the copy does not have.
  char text[PvTextBytes];
  int32_t played = writeVariationText(info->pv, MaxPvMoves, text, sizeof(text));
  int32_t contempt = frontParameters.words[engine::ParamContempt];
  int32_t shown = shownScore(info->score, contempt);
  // Only the first line names the move to play: in multi-line
  // analysis the later, weaker lines must not overwrite it.
  if (info->lineIndex == 0 && played > 0) {
    for (int32_t i = 0; i < MaxPvMoves; ++i) pvCopy[i] = i < played ? info->pv[i] : engine::noMove;
    pvCopy[MaxPvMoves] = engine::noMove;
    bestMove = info->pv[0];
    ponderMove = played > 1 ? info->pv[1] : engine::noMove;
  }
  // Speed from the search's own time.
  int32_t nps = info->time > 0 ? static_cast<int32_t>(nodeCount * 1000 / uint64_t(info->time)) : 0;
  int32_t hits = static_cast<int32_t>(tablebases::tbHits.load(std::memory_order_relaxed));
  // Mate distances from the raw score, truncated toward zero.
  int32_t score = info->score;
  if (score >= MateShownFrom || score <= -MateShownFrom) {
    int32_t mate = int32_t(score >= MateShownFrom ? (MateBase - int64_t(score)) / 2 : (-int64_t(score) - MateBase) / 2);
    printLine("info depth %d score mate %d nodes %lld nps %d tbhits %d time %d hashfull %d multipv %d pv %s",
              info->depth, mate, static_cast<long long>(nodeCount), nps, hits, info->time,
              info->hashFill, info->lineIndex + 1, text);
  } else {
    printLine("info depth %d score cp %d nodes %lld nps %d tbhits %d time %d hashfull %d multipv %d pv %s",
              info->depth, shown, static_cast<long long>(nodeCount), nps, hits, info->time,
              info->hashFill, info->lineIndex + 1, text);
  }
}

void reportCurrMove(int32_t depth, engine::Move move, int32_t flags) {
  std::lock_guard<std::mutex> guard(searchOutputLock);
  // No move: a new iteration begins.
  if ((move >> 8) == engine::NoSquare) {
    printLine("info depth %d nodes %lld", depth, static_cast<long long>(nodeCount));
    currMoveCount = 0;
    return;
  }
  // A move seen before in this pass starts a new pass over the root
  // moves; beyond the list's room the count stays where it is.
  if ((flags & 128) == 0) {
    bool seen = false;
    for (int32_t i = 0; i < currMoveCount; ++i)
      if (currMoveList[i] == move) seen = true;
    if (seen) {
      currMoveList[0] = move;
      currMoveCount = 1;
    } else if (currMoveCount < MaxCurrMoves) {
      currMoveList[currMoveCount++] = move;
    }
  }
  // A queen promotion is a plain move: the pawn letter gives its "q".
  char letter = static_cast<char>((flags >> 8) & 0xFF);
  if (letter == 'Q') letter = 'P';
  if (letter == 'q') letter = 'p';
  char text[MoveTextBytes];
  moveToText(text, move, letter);
  printLine("info currmove %s currmovenumber %d", text, currMoveCount);
}

void forgetCurrMoves() { currMoveCount = 0; }

void printBestMove(engine::Move best, engine::Move ponder) {
  // No move at all (a position without legal moves) is "0000", never a
  // move from square 12.
  if ((best & 0xFF) == engine::NoSquare) {
    printLine("bestmove 0000");
    return;
  }
  char bestText[MoveTextBytes];
  moveToText(bestText, best, mirrorLetterAt(best & 0xFF));
  if ((ponder & 0xFF) == engine::NoSquare) {
    printLine("bestmove %s", bestText);
    return;
  }
  char ponderText[MoveTextBytes];
  moveToText(ponderText, ponder, mirrorLetterAt(ponder & 0xFF));
  printLine("bestmove %s ponder %s", bestText, ponderText);
}

}  // namespace frontend
