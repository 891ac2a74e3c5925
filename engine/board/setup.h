// Position set-up and the game that follows from it.
//
// `parseFen` reads a position text (board, side, castling and en-passant
// fields) into the set-up record `gameSetup`; `setupPosition` builds the
// root Position and its board record from that record; `playGameMove`
// plays each later game move on `rootPosition` and records it with the
// mover's clock. The record, `gameState`, `moveNumber` and the game history
// belong to one copy of the engine core (the engine module and the front
// end's mirror each have their own) and are used only on the thread that
// sets up positions, never while a search runs.
#pragma once
#include <cstdint>

#include "engine/board/board.h"
#include "engine/board/game_history.h"
#include "engine/board/stopwatch.h"
#include "engine/control/hash_key.h"

namespace engine {

// Room for a position text with its terminating zero: the front end builds
// texts of up to 255 characters; a longer text is refused, never cut.
constexpr int32_t SetupTextSize = 256;
// Moves a game record holds; later moves are played but not recorded.
constexpr int32_t MaxGameMoves = 600;

// Move numbers: 1 for the built-in start position, 21 for any text the
// caller gives (the opening randomisation then stays small).
constexpr int32_t StartMoveNumber = 1;
constexpr int32_t GivenTextMoveNumber = 21;

// Values of gameState.
constexpr int32_t GameWhiteWon = 0;
constexpr int32_t GameDrawn = 1;
constexpr int32_t GameBlackWon = 2;
constexpr int32_t GameGoesOn = 3;

struct GameMove {
  int32_t time;  // the mover's accumulated clock in ms just after the move
  Move move;
};

struct GameSetup {
  char text[SetupTextSize];  // cut after the board field by parseFen
  int32_t startFlag;         // 1 when the built-in start text was used
  int32_t side;
  int32_t castling;  // state-flag bits 2, 4, 8, 0x10
  int32_t enPassantSquare;
  int32_t halfMoveClock;  // 0: the text's counters are not read
  int32_t moveNumber;
  int32_t played;  // moves of the list that lead to the root position
  int32_t count;   // moves stored in the list
  GameMove moves[MaxGameMoves];
};

// The parsed set-up record of this copy of the engine core.
extern GameSetup gameSetup;
// GameGoesOn in the engine; the front end's mirror records a finished game.
extern int32_t gameState;

// The game's move number (raised by each Black move); the time allocation
// and the opening randomisation read it.
extern int32_t moveNumber;

// The side the engine plays (+1 White, -1 Black): the side not to move
// after a set-up, the side to move at the root once a search begins. The
// evaluation and make read it on every search thread; it changes only
// while no search runs.
extern int32_t engineSide;
// Sets the engine's side from outside the game record: think at the start
// of a search, and the front end for its linked copy of the core (which has
// no think of its own).
void setEngineSide(int32_t side);

// Parses a position text (null = the start position) into `gameSetup`;
// 0 success, -1 failure. A refused text changes nothing; an accepted one
// starts a new game record (`startGameRecord`).
int32_t parseFen(const char* text);
// Parses a position text into `setup` alone; 0 success, -1 failure.
int32_t parseFenInto(const char* text, GameSetup* setup);
// Makes a parsed record the game's: `gameSetup` := it, both game clocks
// stopped at nothing, the game goes on.
void startGameRecord(const GameSetup* parsed);
// Sets up a whole new game from a text on `root`: 0 success; -1 when the
// text does not parse or gives no playable position, in which case the
// root, the game record, the clocks, the move number and the history all
// stay as they were.
int32_t setUpGame(Position* root, const char* text);
// Builds the root position and its board from the parsed record; 0 success,
// -1 failure, in which case root and board keep the position they had.
int32_t setupPosition(Position* root, GameSetup* setup);
// Plays a move on `rootPosition` and records it in the game; returns 0.
// The move must be playable (the callers match it against generated moves).
int32_t playGameMove(Move move);

// The kind of `board` a promoted piece of this letter (upper case) and
// colour takes: a knight, bishop, rook or queen; null for any other letter.
PieceKind* findPieceByLetter(ThreadBoard* board, char letter, int32_t colour);

// Everything a game of this copy of the core holds besides its root
// position: the record, the clocks, the state, the move number, the
// engine's side and the history. A caller that has to undo a set-up puts
// it back whole.
struct GameSnapshot {
  GameSetup record;
  Stopwatch whiteClock;
  Stopwatch blackClock;
  int32_t gameState;
  int32_t moveNumber;
  int32_t engineSide;
  int32_t historyCount;
  HashKey history[GameHistorySize];
};
void saveGame(GameSnapshot* snapshot);
void restoreGame(const GameSnapshot* snapshot);

}  // namespace engine
