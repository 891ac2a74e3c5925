// The front end's mirror of the game: one Position, `gamePosition`, on a
// board record of the front end's own. It turns the controller's move texts
// into engine moves, keys the opening book, gives the piece letters of the
// search output and lets "bestmove" be checked against the legal moves.
//
// The main thread changes the mirror only while the worker is idle (the
// "position" command stops and waits for any search first); the worker and
// the engine's reporting threads only read it.
#pragma once
#include <cstdint>

#include "engine/board/board.h"
#include "engine/control/move.h"

namespace frontend {

extern engine::Position gamePosition;

// The standard start position's text.
constexpr const char* startPositionText = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// Prepares the mirror's board record (once, at engine start).
void initMirror();

// The side to move of the mirror (+1 White, -1 Black).
int32_t mirrorSideToMove();

// The letter of the piece on a square of the mirror ('P'/'p' for pawns),
// or 0 for an empty or off-board square.
char mirrorLetterAt(int32_t square);

// Whether the mirror's position has a legal move (kept up to date by every
// change of the mirror, so other threads need not generate moves).
bool mirrorHasLegalMove();

// Whether a move is legal in the mirror's position, and its first legal move
// (noMove when none).
bool isLegalMirrorMove(engine::Move move);
engine::Move firstLegalMirrorMove();

// Sets the mirror up from the text and hands it to the engine; false when
// either refuses it, and then neither changes: both keep the game they had.
bool setMirrorPosition(const char* text);

// Matches a move text, plays the move in engine and mirror and, after the
// last move, reports a finished game; false when the text matches no legal
// move or the mirrored game has ended.
bool applyMoveText(const char* text, bool isLast);

// Result codes of the game-result check.
enum GameResult : int32_t {
  ResultNone = 0,
  ResultCheckmate = 2,
  ResultStalemate = 3,
  ResultRepetition = 4,
  ResultNoMatingMaterial = 5,
  ResultFiftyMoves = 6,
  ResultMoveListFull = 7
};

// Plays a matched move on the mirror; the result of the check after the
// last move (ResultNone otherwise).
int32_t playMirrorMove(engine::Move move, bool isLast);

// Judges the game at a private copy of the mirror position.
int32_t checkGameResult(engine::Position* p);

// Writes the text of a variation (" e2e4 e7e5 ...", each move after a blank)
// played on a private copy of the mirror, at most `maxMoves` moves, ending
// at the first move that is not legal on the copy; returns the moves written.
int32_t writeVariationText(const engine::Move* pv, int32_t maxMoves, char* out, int32_t outBytes);

}  // namespace frontend
