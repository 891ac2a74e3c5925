// Small tests and steps shared by the search routines (main node,
// frontier, quiescence): threat data, move classes, the moves pushed to be
// tried first, killers and principal variations.
#pragma once
#include <cstdint>

#include "engine/board/attacks.h"
#include "engine/board/board.h"
#include "engine/board/geometry.h"
#include "engine/search/search.h"

namespace engine {

// Deepest ply a search may reach: extensions, check sequences and the
// quiescence search stop here with the static value.
constexpr int32_t MaxSearchPly = 120;
// Moves taken from a node's own stack before the picker runs.
constexpr int32_t MaxStackedMoves = 64;
// Moves of a child's line copied behind a move.
constexpr int32_t PvCopyLength = 18;

// Threat grades: up to this a known threat forces the child's search on
// (the frontier rather than quiescence, no reduction); a threat that does
// not pay is graded above it.
constexpr int32_t ForcingThreatGrade = 2;
constexpr int32_t UnpaidThreatGrade = 4;

// A move value other than noMove (a to-byte of 12 means none).
inline bool isMove(Move m) { return moveToByte(m) != NoSquare; }

inline int32_t plyOf(const Position* node) { return node->matedScore + ScoreMated; }

inline bool threatKnown(const Position* node) { return (node->searchFlags & SearchThreatKnown) != 0; }
// A known threat against the king: the side to move is in check.
inline bool threatOnKing(const Position* node) {
  return threatKnown(node) && node->threatenedPiece->kindCopy.code == KingCode;
}
inline bool hasFirstReply(const Position* node) { return isMove(node->firstReply); }
inline bool hasForcingThreat(const Position* node) {
  return threatKnown(node) && node->threatGrade <= ForcingThreatGrade;
}

inline bool queenOnBoard(const ThreadBoard* board) {
  return board->kinds[WhiteQueen].count + board->kinds[BlackQueen].count > 0;
}

// The root's exclusion list is read backwards from its last entry to the
// noMove before the first; null below the root.
inline bool isExcluded(const Move* excluded, Move move) {
  if (excluded == nullptr) return false;
  for (const Move* m = excluded; *m != noMove; --m)
    if (*m == move) return true;
  return false;
}
inline bool exclusionEmpty(const Move* excluded) { return excluded == nullptr || *excluded == noMove; }

inline PieceRecord* pieceOn(Position* node, int32_t square) { return squareAt(node->board, square); }
inline const PieceRecord* pieceOn(const Position* node, int32_t square) { return squareAt(node->board, square); }

// Does the move take a piece (en passant included)?
bool isEnPassantCapture(const Position* node, Move move);
inline bool isCapture(const Position* node, Move move) {
  return pieceOn(node, moveTo(move))->colour == node->opponent || isEnPassantCapture(node, move);
}
// Piece-square change of the mover plus the value of what it takes.
int32_t moveGain(const Position* node, Move move);
// Does the move meet the known threat: move the threatened piece, take the
// threatening one (en passant too), or land between them?
bool answersThreat(const Position* node, Move move);
// A known threat and a move that does not answer it: in check the move is
// skipped (true), unless it takes the king; otherwise the threat is marked
// unanswered on the node for the move's search (the mark is cleared for
// every other move).
inline bool leavesCheckUnanswered(Position* node, Move move, bool inCheck) {
  node->unansweredThreatFrom = node->unansweredThreatTo = NoSquare;
  if (!threatKnown(node) || answersThreat(node, move)) return false;
  if (inCheck && pieceOn(node, moveTo(move))->kindCopy.code != KingCode) return true;
  node->unansweredThreatFrom = uint8_t(moveFrom(node->threatMove));
  node->unansweredThreatTo = uint8_t(moveTo(node->threatMove));
  return false;
}
// Is the child of this move one that the tactical-only rule skips? (The
// mover's code at least that of what stands on the target, unless the move
// recaptures on the last move's target or is the first reply.)
bool skippedInTacticalNode(const Position* node, Move move);

// Pushes, when plausible, the captures onto `target` by the first two
// pieces of the side to move that attack it (the second pushed first, so
// the first is tried first).
void pushCapturesOnto(Position* node, int32_t target);
// Pushes a move when it is plausible here.
inline void pushIfPlausible(Position* node, Move move) {
  if (isMove(move) && isPlausibleMove(node, move)) pushMove(node, move);
}

// Moves already taken from the node's own stack, for the duplicate test.
struct TakenMoves {
  Move moves[MaxStackedMoves];
  int32_t count;
  bool stackPhase;
  bool contains(Move m) const {
    for (int32_t i = 0; i < count; ++i)
      if (moves[i] == m) return true;
    return false;
  }
};
// The next move: the node's stacked moves first (recorded), then the
// picker's (captures only when `capturesOnly`). `fromStack` tells which.
Move takeNextMove(Position* node, TakenMoves* taken, bool capturesOnly, bool* fromStack);

// The set-up of a node's move loop: the child record on the node's board,
// with no killers yet for the ply below and its mated score one ply
// further, and nothing taken from the stack so far.
inline void startMoveLoop(const Position* node, Position* child, TakenMoves* taken) {
  initPosition(child, node->board);
  child->killers[0] = child->killers[1] = noMove;
  child->matedScore = node->matedScore + 1;
  taken->count = 0;
  taken->stackPhase = true;
}

// The threat mark of the child (searchMove's unanswered-threat test):
// clears or sets the node's unanswered-threat field for the move just made
// and gives it to the child as its first reply. `classBound` is the class
// bound of the threat-target walk that sets a new mark: ThreatClassByDepth
// (0) chooses it by the new depth, as the main search does; NoThreatRefresh
// sets no new mark (the frontier's children below depth one keep only a
// re-checked mark).
constexpr int32_t NoThreatRefresh = -1;
constexpr int32_t ThreatClassByDepth = 0;
void markChildThreat(Position* node, Position* child, Move move, int32_t newDepth, int32_t classBound);

// Killer shift and refutation-table entry after a move raised the bound.
void recordGoodMove(Position* node, Position* child, Move* killers, Move move, bool atRoot);

// pv := (move, line...) with up to PvCopyLength moves of the child's line.
void setPv(Move* pv, Move move, const Move* line);

// The search fields of a child just made: no threat, nothing searched,
// its mated score one ply further than the node's.
inline void startChild(const Position* node, Position* child) {
  child->matedScore = node->matedScore + 1;
  child->threatMove = noMove;
  child->threatenedPiece = boardPiece(child->board);
  child->threatGrade = 0;
  child->movesSearched = 0;
  child->unansweredThreatFrom = child->unansweredThreatTo = uint8_t(NoSquare);
}

// Is the king of the side to move attacked by a real piece?
bool kingAttacked(const Position* node);
// The square of the side's king (12 when none).
int32_t kingSquare(const Position* node, int32_t colour);

}  // namespace engine
